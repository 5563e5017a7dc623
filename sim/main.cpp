// orvane-sim: a small TCP server that keeps the answer protocol of an Orvane server, for the
// tests, the demo and the benchmarks of the transmitter.

#include <atomic>
#include <cstdio>
#include <memory>
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

// Every connection gets a thread of its own; a server-wide store is shared by all of them. The
// misbehaviours asked for apply to the first --faults-on connections (all, without it).
void serve(SocketHandle listener, const SimOptions& options) {
    ValueStore sharedValues(options.presetValues);
    static std::atomic<int> accepted{0};
    for (int number = 1;; ++number) {
        const SocketHandle client = SocketAccept(listener);
        if (client == kNoSocket) {
            continue;
        }
        accepted.store(number);
        SocketSetBuffers(client, options.socketBufferBytes);
        const bool faulty = options.faultsOn == 0 || number <= options.faultsOn;
        // Small stacks: a fan-out of thousands of targets must not wait for the simulator.
        const bool started =
            StartDetachedWorkerThread([client, &options, &sharedValues, number, faulty] {
                if (faulty && IsHostile(options)) {
                    Recorder recorder(options.recordFolder, number, client);
                    RunHostileSession(client, options, recorder, accepted);
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
    serve(listener, options);
    return 0;
}
