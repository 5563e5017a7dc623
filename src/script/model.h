#pragma once
// The script model: one self-contained script per target host and the three tables of named
// shared objects through which the workers of one run meet.

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "script/synchro.h"

struct CHostScript {
    // "*host=<host>\n*port=<port>\n" then the body lines, each ended by one LF.
    std::string text;
    // The head read once, where the script is built: the target, and where the body starts.
    std::string host;
    std::string port;
    std::size_t bodyStart = 0;
    // Objects this host signals or fills, one entry per line that names one; released when its
    // run fails for good. Every target of a multihost segment lists that segment's objects.
    // Not owned.
    std::vector<CBaseSynchro*> syncObjects;
};

using ScriptList = std::vector<std::unique_ptr<CHostScript>>;

// Tables own their objects; names compare byte by byte.
template <class T>
using SharedTable = std::map<std::string, std::unique_ptr<T>>;

extern SharedTable<CEventShared> g_events;
extern SharedTable<CRendezVousShared> g_rendezVous;
extern SharedTable<CBufferShared> g_buffers;

// The object of that name, entered in the table on first use.
template <class T>
T& findOrCreate(SharedTable<T>& table, const std::string& name) {
    auto& slot = table[name];
    if (!slot) {
        slot = std::make_unique<T>();
    }
    return *slot;
}

// Deletes every object of g_buffers, g_events and g_rendezVous, in that order.
void ClearSharedTables();
