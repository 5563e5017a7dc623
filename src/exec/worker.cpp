#include "exec/worker.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>

#include "common/strings.h"
#include "exec/attempt.h"
#include "exec/limits.h"
#include "files/log.h"
#include "script/host_script.h"

std::vector<WorkerThread> g_workerThreads;

namespace {

using Clock = std::chrono::steady_clock;

// When the first worker started: the report's times count from there.
Clock::time_point runStart() {
    static const Clock::time_point start = Clock::now();
    return start;
}

// The same moment on the calendar, taken beside it.
std::chrono::system_clock::time_point runStartedAt() {
    static const std::chrono::system_clock::time_point start =
        (runStart(), std::chrono::system_clock::now());
    return start;
}

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

void pauseFor(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Hosts waiting on this one go on instead of waiting for ever.
void releaseObjects(CHostScript& script) {
    for (CBaseSynchro* object : script.syncObjects) {
        object->Release();
    }
}

// One attempt, told to the run's observer. `endIfFinal`: how the target ends when no attempt
// follows this one.
AttemptResult toldAttempt(CHostScript& script, const RunSettings& settings, int attempt,
                          TargetEnd& endIfFinal) {
    AttemptReport report;
    settings.tell().attemptBegins(script, attempt);
    const AttemptResult result = RunHostScript(script, settings, report);
    settings.tell().attemptEnds(script, attempt, result, report);
    if (result == AttemptResult::Done) {
        const auto& found = report.differences;
        const bool differs =
            std::any_of(found.begin(), found.end(),
                        [](const SettingDifference& difference) { return !difference.repaired; });
        endIfFinal = differs ? TargetEnd::Differs : TargetEnd::Succeeded;
    } else {
        endIfFinal = result == AttemptResult::GiveUp ? report.finalEnd : TargetEnd::GaveUp;
    }
    return result;
}

AttemptResult runTarget(CHostScript& script, const RunSettings& settings, TargetEnd& end) {
    int delay = kFirstRetryPauseMs;
    for (int attempts = 1;; ++attempts) {
        const AttemptResult result = toldAttempt(script, settings, attempts, end);
        const bool last = result != AttemptResult::Retry ||
                          attempts >= LimitsFor(script.ownLimits, settings.limits).attempts;
        if (result == AttemptResult::Done || last) {
            settings.tell().targetEnds(script, end);
            if (result != AttemptResult::Done) {
                releaseObjects(script);
            }
            return result;
        }
        pauseFor(delay);
        delay = std::min(delay * 2, kRetryPauseCapMs);
    }
}

int runGuarded(CHostScript& script, const RunSettings& settings) {
    try {
        TargetEnd end = TargetEnd::GaveUp;
        const AttemptResult result = runTarget(script, settings, end);
        return result == AttemptResult::Done && end == TargetEnd::Differs ? kDiffersStatus
                                                                          : ExitStatusOf(result);
    } catch (const std::exception&) {
        return ExitStatusOf(AttemptResult::Retry);  // as for a worker whose result is unknown
    }
}

// Workers that have ended, told by each as its last act, so that the run can join them.
struct Ended {
    std::mutex mutex;
    std::condition_variable told;
    std::vector<std::size_t> scripts;

    void tell(std::size_t script) {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            scripts.push_back(script);
        }
        told.notify_one();
    }
    std::vector<std::size_t> wait() {
        std::unique_lock<std::mutex> lock(mutex);
        told.wait(lock, [this] { return !scripts.empty(); });
        std::vector<std::size_t> taken;
        taken.swap(scripts);
        return taken;
    }
    // Those told since the last look, without waiting.
    std::vector<std::size_t> take() {
        std::vector<std::size_t> taken;
        const std::lock_guard<std::mutex> lock(mutex);
        taken.swap(scripts);
        return taken;
    }
};

// The workers of g_workerThreads that have ended and are not joined yet.
Ended& endedWorkers() {
    static Ended ended;
    return ended;
}

// Joins the workers that have ended, so that the next ones start on their stacks.
void joinEndedWorkers() {
    for (const std::size_t i : endedWorkers().take()) {
        JoinWorkerThread(g_workerThreads[i].thread);
    }
}

}  // namespace

AttemptResult HostWorkerThread(CHostScript& script, const RunSettings& settings) {
    TargetEnd end = TargetEnd::GaveUp;
    return runTarget(script, settings, end);
}

int RunHostWorkerHere(CHostScript& script, const RunSettings& settings) {
    runStartedAt();
    return runGuarded(script, settings);
}

void StartHostWorker(CHostScript& script, const RunSettings& settings) {
    runStartedAt();
    joinEndedWorkers();
    // Room first, so that a started thread always finds its place in the list.
    if (g_workerThreads.size() == g_workerThreads.capacity()) {
        g_workerThreads.reserve(std::max<std::size_t>(16, 2 * g_workerThreads.capacity()));
    }
    WorkerThread worker;
    worker.result = std::make_unique<int>(ExitStatusOf(AttemptResult::Retry));
    int* result = worker.result.get();
    const std::size_t index = g_workerThreads.size();
    const bool started = StartWorkerThread(
        [&script, &settings, result, index] {
            *result = runGuarded(script, settings);
            endedWorkers().tell(index);
        },
        worker.thread);
    if (!started) {
        LogMessage("%s: Can not start a worker for %s:%s !", settings.scriptName.c_str(),
                   script.host.c_str(), script.port.c_str());
        settings.tell().targetEnds(script, TargetEnd::NotStarted);
        releaseObjects(script);
    }
    g_workerThreads.push_back(std::move(worker));
}

namespace {

// The scripts of each set of linked targets, the sets in the order of their first script.
std::vector<std::vector<std::size_t>> linkSetsInOrder(const std::vector<int>& links) {
    std::vector<std::vector<std::size_t>> ordered;
    std::map<int, std::size_t> place;
    for (std::size_t i = 0; i < links.size(); ++i) {
        const auto found = place.emplace(links[i], ordered.size()).first;
        if (found->second == ordered.size()) {
            ordered.emplace_back();
        }
        ordered[found->second].push_back(i);
    }
    return ordered;
}

}  // namespace

int RunAtMost(ScriptList& scripts, const std::vector<int>& links, std::size_t cap,
              const RunSettings& settings) {
    runStartedAt();
    Ended ended;
    std::vector<WorkerThread> workers(scripts.size());
    std::vector<std::size_t> started;
    std::size_t running = 0;
    const std::vector<std::vector<std::size_t>> ordered = linkSetsInOrder(links);
    for (std::size_t next = 0; next < ordered.size() || running > 0;) {
        if (next < ordered.size() && running + ordered[next].size() <= cap) {
            for (const std::size_t i : ordered[next]) {
                CHostScript& script = *scripts[i];
                workers[i].result = std::make_unique<int>(ExitStatusOf(AttemptResult::Retry));
                int* result = workers[i].result.get();
                started.push_back(i);
                ++running;
                if (!StartWorkerThread(
                        [&script, &settings, &ended, result, i] {
                            *result = runGuarded(script, settings);
                            ended.tell(i);
                        },
                        workers[i].thread)) {
                    LogMessage("%s: Can not start a worker for %s:%s !",
                               settings.scriptName.c_str(), script.host.c_str(),
                               script.port.c_str());
                    settings.tell().targetEnds(script, TargetEnd::NotStarted);
                    releaseObjects(script);
                    ended.tell(i);
                }
            }
            ++next;
            continue;
        }
        for (const std::size_t i : ended.wait()) {
            JoinWorkerThread(workers[i].thread);
            --running;
        }
    }
    int status = 0;
    for (const std::size_t i : started) {
        status = WorseStatus(status, *workers[i].result);
    }
    return status;
}

std::chrono::system_clock::time_point RunStartedAt() {
    return runStartedAt();
}

double SecondsSinceRunStart() {
    return secondsBetween(runStart(), Clock::now());
}

int WaitForWorkers() {
    int status = 0;
    for (WorkerThread& worker : g_workerThreads) {
        JoinWorkerThread(worker.thread);
        status = WorseStatus(status,
                             worker.result ? *worker.result : ExitStatusOf(AttemptResult::Retry));
    }
    g_workerThreads.clear();
    endedWorkers().take();  // every one of them is joined now
    return status;
}
