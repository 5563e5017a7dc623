#include "script/model.h"

SharedTable<CEventShared> g_events;
SharedTable<CRendezVousShared> g_rendezVous;
SharedTable<CBufferShared> g_buffers;

void ClearSharedTables() {
    g_buffers.clear();
    g_events.clear();
    g_rendezVous.clear();
}
