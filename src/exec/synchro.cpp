#include "exec/synchro.h"

// Placeholder bodies; the shared objects are built with the script language.
CMonitorLock::CMonitorLock(CMonitor& monitor) : monitor_(monitor), lock_(monitor.mutex_) {}
void CMonitorLock::Wait() {}
void CMonitorLock::Broadcast() {}
void CEventShared::Raise() {}
void CEventShared::Wait() {}
void CEventShared::Release() {}
void CRendezVousShared::AddParticipant() {}
void CRendezVousShared::Arrive() {}
void CRendezVousShared::Release() {}
int CRendezVousShared::Participants() {
    return participants_;
}
void CBufferShared::Raise() {}
void CBufferShared::Wait() {}
void CBufferShared::Release() {}
void CBufferShared::SetValue(const std::string& value) {
    value_ = value;
}
std::string CBufferShared::GetValue() {
    return value_;
}
