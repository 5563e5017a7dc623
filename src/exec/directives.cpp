#include "exec/directives.h"

#include <chrono>
#include <thread>

#include "common/strings.h"
#include "files/log.h"
#include "script/directive.h"
#include "script/model.h"

namespace {

// The object of a table named by a directive's value; null for an empty or unknown name.
template <class T>
T* findNamed(SharedTable<T>& table, const std::string& name) {
    if (name.empty()) {
        return nullptr;
    }
    const auto found = table.find(name);
    return found == table.end() ? nullptr : found->second.get();
}

const char* nameOf(const DirectiveSite& attempt) {
    return attempt.settings().scriptName.c_str();
}

void logProcessingError(const DirectiveSite& attempt, const std::string& line) {
    LogMessage("%s: Error while processing command %s", nameOf(attempt), line.c_str());
}

void logNotSupported(const DirectiveSite& attempt, const std::string& line) {
    LogMessage("%s: Command %s is not supported", nameOf(attempt), line.c_str());
}

// `act` told to the run's observer as a wait of that kind.
template <class Act>
void toldAsWait(const DirectiveSite& attempt, WaitKind kind, const std::string& what, Act act) {
    RunObserver& observer = attempt.settings().tell();
    observer.waitBegins(attempt.target(), attempt.line(), kind, what);
    act();
    observer.waitEnds(attempt.target(), kind, what);
}

// Waits for, raises or arrives at a named object once the answers due so far are good.
template <class T, class Action>
AttemptResult actOnNamed(DirectiveSite& attempt, SharedTable<T>& table, const std::string& line,
                         const std::string& name, WaitKind kind, Action action) {
    T* object = findNamed(table, name);
    if (object == nullptr) {
        logProcessingError(attempt, line);
        return AttemptResult::Done;
    }
    const AttemptResult checked = attempt.checkpoint();
    if (checked == AttemptResult::Done) {
        toldAsWait(attempt, kind, name, [&] { action(*object); });
    }
    return checked;
}

AttemptResult pause(DirectiveSite& attempt, const std::string& line,
                    const BodyDirective& directive) {
    if (directive.value.empty()) {
        logNotSupported(attempt, line);
        return AttemptResult::Done;
    }
    if (!directive.readable) {
        LogMessage("%s: Command %s syntax error", nameOf(attempt), line.c_str());
        return AttemptResult::Done;
    }
    const AttemptResult checked = attempt.checkpoint();
    if (checked == AttemptResult::Done) {
        const long long milliseconds = directive.pauseMs;
        toldAsWait(attempt, WaitKind::Pause, directive.value, [milliseconds] {
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        });
    }
    return checked;
}

AttemptResult saveNext(DirectiveSite& attempt, const std::string& line, const std::string& name) {
    CBufferShared* buffer = findNamed(g_buffers, name);
    if (buffer == nullptr) {
        logProcessingError(attempt, line);
        return AttemptResult::Done;
    }
    if (attempt.checking()) {
        const AttemptResult checked = attempt.checkpoint();
        if (checked != AttemptResult::Done) {
            return checked;
        }
    } else {
        // Nobody will read the answer: waiting templates go on with "has no value set".
        buffer->Release();
    }
    attempt.setPendingBuffer(buffer);
    return AttemptResult::Done;
}

// The value was checked before the run: one that does not read is passed over as unknown.
AttemptResult repeatUntil(DirectiveSite& attempt, const std::string& line,
                          const BodyDirective& directive) {
    if (!directive.readable) {
        logNotSupported(attempt, line);
        return AttemptResult::Done;
    }
    const UntilValue& until = directive.until;
    attempt.setAnswerCheck({true, until.pattern, until.withinMs, until.everyMs, directive.pattern});
    return AttemptResult::Done;
}

}  // namespace

AttemptResult RunDirective(DirectiveSite& attempt, const BodyDirective& directive,
                           const std::string& line) {
    const std::string& value = directive.value;
    switch (directive.entry->kind) {
        case DirectiveKind::Set:
            return AttemptResult::Done;  // the value was stored when the script was analysed
        case DirectiveKind::WaitFor:
            return actOnNamed(attempt, g_events, line, value, WaitKind::Event,
                              [](CEventShared& e) { e.Wait(); });
        case DirectiveKind::Event:
            return actOnNamed(attempt, g_events, line, value, WaitKind::RaiseEvent,
                              [](CEventShared& e) { e.Raise(); });
        case DirectiveKind::RendezVous:
            return actOnNamed(attempt, g_rendezVous, line, value, WaitKind::RendezVous,
                              [](CRendezVousShared& point) { point.Arrive(); });
        case DirectiveKind::Wait:
            return pause(attempt, line, directive);
        case DirectiveKind::SaveNext:
            return saveNext(attempt, line, value);
        case DirectiveKind::Expect:
            attempt.setAnswerCheck({false, value, 0, 0, directive.pattern});
            return AttemptResult::Done;
        case DirectiveKind::Until:
            return repeatUntil(attempt, line, directive);
        default:
            logNotSupported(attempt, line);
            return AttemptResult::Done;
    }
}
