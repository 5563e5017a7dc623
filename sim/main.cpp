// orvane-sim: a small TCP server that keeps the answer protocol of an Orvane server, for the
// tests, the demo and the benchmarks of the transmitter.

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/worker_thread.h"
#include "hostile.h"
#include "net/socket.h"
#include "options.h"
#include "recorder.h"
#include "session.h"
#include "values.h"

namespace {

struct Accepted {
    SocketHandle socket;
    int number;  // from 1, in the order of arrival
};

// Connections taken off the listening socket, waiting for their threads. Starting a thread takes
// far longer than taking a connection: a listener that started each thread before taking the
// next let the system's queue of new connections fill when thousands of targets connected at
// once, and the system then drops a target's connection, which its client sends again only a
// second later (or gives up on).
class AcceptedConnections {
  public:
    void push(Accepted accepted) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            waiting_.push_back(accepted);
        }
        arrived_.notify_one();
    }
    Accepted pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait(lock, [this] { return !waiting_.empty(); });
        const Accepted accepted = waiting_.front();
        waiting_.pop_front();
        return accepted;
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Accepted> waiting_;
};

// Every connection gets a thread of its own; a server-wide store is shared by all of them. The
// misbehaviours asked for apply to the first --faults-on connections (all, without it).
void startSessions(AcceptedConnections& connections, const SimOptions& options,
                   const std::atomic<int>& accepted) {
    ValueStore sharedValues(options.presetValues);
    for (;;) {
        const Accepted next = connections.pop();
        const SocketHandle client = next.socket;
        const int number = next.number;
        const bool faulty = options.faultsOn == 0 || number <= options.faultsOn;
        // Small stacks: a fan-out of thousands of targets must not wait for the simulator.
        const bool started =
            StartDetachedWorkerThread([client, &options, &sharedValues, &accepted, number, faulty] {
                if (faulty && IsHostile(options)) {
                    Recorder recorder(options.recordFolder, number, client);
                    RunHostileSession(client, options, recorder, accepted, number);
                    return;
                }
                ValueStore ownValues(options.presetValues);
                Session session(client, options, options.sharedValues ? sharedValues : ownValues,
                                number, faulty);
                session.run();
            });
        if (!started) {
            SocketClose(client);
        }
    }
}

// Takes each connection as it comes and hands it to the thread that starts the sessions. False
// when that thread cannot start.
bool serve(SocketHandle listener, const SimOptions& options) {
    static std::atomic<int> accepted{0};
    static AcceptedConnections connections;
    if (!StartDetachedWorkerThread([&options] { startSessions(connections, options, accepted); })) {
        return false;
    }
    for (int number = 1;; ++number) {
        const SocketHandle client = SocketAccept(listener);
        if (client == kNoSocket) {
            continue;
        }
        accepted.store(number);
        SocketSetBuffers(client, options.socketBufferBytes);
        connections.push({client, number});
    }
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    bool help = false;
    std::string error;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, help, error)) {
        std::fprintf(stderr, "orvane-sim: %s\n%s", error.c_str(), SimUsage().c_str());
        return 2;
    }
    if (help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (!StartSocketLibrary()) {
        std::fprintf(stderr, "orvane-sim: the socket library did not start\n");
        return 1;
    }
    const SocketHandle listener =
        SocketListen(options.listenAddress, options.port, options.socketBufferBytes, error);
    if (listener == kNoSocket) {
        std::fprintf(stderr, "orvane-sim: %s\n", error.c_str());
        return 1;
    }
    PrintLine(std::to_string(SocketBoundPort(listener)));
    if (!serve(listener, options)) {
        std::fprintf(stderr, "orvane-sim: no thread to start the sessions\n");
        return 1;
    }
    return 0;
}
