#pragma once
// The script model: one self-contained script per target host and the three tables of named
// shared objects through which the workers of one run meet.

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/directive.h"
#include "script/synchro.h"
#include "script/target_limits.h"

// The analysed line of each line of a host script's body, kept as runs: a script's lines mostly
// come one to one from consecutive analysed lines, so a whole segment costs one entry.
class BodyLineOrigins {
  public:
    // `count` body lines from `analysedLine`: one to one (`step` 1) or all from it (`step` 0,
    // a line that "^" cut into several).
    void add(int analysedLine, std::size_t count, int step = 1) {
        if (count == 1 && !runs_.empty() && runs_.back().step == 1 &&
            runs_.back().analysedLine + static_cast<int>(size_ - runs_.back().firstBodyLine) ==
                analysedLine) {
            ++size_;
        } else {
            addRun(analysedLine, count, step);
        }
    }
    void addAll(const BodyLineOrigins& other);
    // 0 for a line beyond the body.
    int at(std::size_t bodyLine) const;

  private:
    struct Run {
        std::size_t firstBodyLine;
        int analysedLine;
        int step;
    };
    void addRun(int analysedLine, std::size_t count, int step);
    std::vector<Run> runs_;
    std::size_t size_ = 0;
};

// What a compare found of one setting: the processor has another value than the show sets, or
// an *until's query has not the answer the show waits for.
struct SettingDifference {
    std::string name;
    std::string has;        // the value read back
    std::string sets;       // the show's value; empty for an *until
    std::string waitsFor;   // the *until's pattern; empty for a setting
    int line = 0;           // the analysed line
    bool repaired = false;  // --repair sent the show's value, and it read back so
};

// A command a compare could not judge: an action (not sent), or a setting whose read-back was
// refused or did not name it.
struct NotCompared {
    int line = 0;  // the analysed line
    std::string command;
    std::string answer;  // empty for an action
};

struct CHostScript {
    CHostScript() = default;
    // A copy's `text` would still view the original's held text.
    CHostScript(const CHostScript&) = delete;
    CHostScript& operator=(const CHostScript&) = delete;

    // The body lines, each ended by one LF; line 1 is the first. A view of `heldText`, or of
    // the analysed text where the body stands in it as it is, which `sharedText` keeps.
    std::string_view text;
    std::string heldText;
    std::shared_ptr<const std::string> sharedText;
    // The target, read once where the script is built.
    std::string host;
    std::string port;
    // Of the *group line in force where the target starts, and the limits the script set there.
    std::vector<std::string> groups;
    TargetLimits ownLimits;
    std::size_t place = 0;  // in the script's order of targets, from 1
    int segment = 0;        // the part of the script it runs; a multihost segment has several
    // Objects this host signals or fills, one entry per line that names one; released when its
    // run fails for good. Every target of a multihost segment lists that segment's objects.
    // Not owned.
    std::vector<CBaseSynchro*> syncObjects;
    // The body's directives, in the order of their lines, as the analyser read them.
    std::vector<BodyDirective> directives;
    // The analysed line each body line came from (0 for a LOGIN line a multihost target adds),
    // so that a failure names the line of the script.
    BodyLineOrigins lineOrigins;
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
T& FindOrCreate(SharedTable<T>& table, const std::string& name) {
    auto& slot = table[name];
    if (!slot) {
        slot = std::make_unique<T>();
    }
    return *slot;
}

// Deletes every object of g_buffers, g_events and g_rendezVous, in that order.
void ClearSharedTables();
