#include "support/sim_server.h"

#include <chrono>

namespace {

std::vector<std::string> simCommand(const std::string& record,
                                    const std::vector<std::string>& options) {
    std::vector<std::string> argv{ORVANE_SIM_EXE, "--port=0", "--record=" + record};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

}  // namespace

SimServer::SimServer(const std::vector<std::string>& options)
    : process_(simCommand(folder_.path(), options)) {
    const std::string first = process_.readLine(10);
    if (!first.empty() && first.find_first_not_of("0123456789") == std::string::npos) {
        port_ = first;
    }
}

bool SimServer::waitClosed(int number, double deadlineSeconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(deadlineSeconds * 1000));
    while (closed_.count(number) == 0 && std::chrono::steady_clock::now() < deadline) {
        const std::string line = process_.readLine(0.2);
        if (line.rfind("closed ", 0) == 0) {
            closed_.insert(std::stoi(line.substr(7)));
        }
    }
    return closed_.count(number) != 0;
}

std::string SimServer::received(int number, double deadlineSeconds) {
    if (!waitClosed(number, deadlineSeconds)) {
        return "<not closed>";
    }
    return ReadWholeFile(folder_.file("conn-" + std::to_string(number) + ".bin"));
}

int SimServer::connections() const {
    int count = 0;
    while (FileExists(folder_.file("conn-" + std::to_string(count + 1) + ".bin"))) {
        ++count;
    }
    return count;
}

std::vector<std::string> LoggedMessages(const std::string& err) {
    std::vector<std::string> messages;
    std::size_t start = 0;
    for (auto end = err.find('\n'); end != std::string::npos; end = err.find('\n', start)) {
        const std::string line = err.substr(start, end - start);
        const auto separator = line.find(" : ");
        messages.push_back(separator == std::string::npos ? line : line.substr(separator + 3));
        start = end + 1;
    }
    return messages;
}
