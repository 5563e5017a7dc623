#include "recorder.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex g_outputMutex;

// Connections open at once: the most there have been goes to <folder>/most-at-once. A
// connection the client has closed counts as closed, though its session may not have noticed
// yet: a client that closes one connection and then opens another never had both open.
std::mutex g_countMutex;
std::vector<SocketHandle> g_open;
int g_most = 0;

void countOpened(const std::string& folder, SocketHandle socket) {
    const std::lock_guard<std::mutex> lock(g_countMutex);
    const auto open = 1 + std::count_if(g_open.begin(), g_open.end(),
                                        [](SocketHandle other) { return !SocketPeerGone(other); });
    g_open.push_back(socket);
    if (open <= g_most) {
        return;
    }
    g_most = static_cast<int>(open);
    if (std::FILE* file = std::fopen((folder + "/most-at-once").c_str(), "w")) {
        std::fprintf(file, "%d\n", g_most);
        std::fclose(file);
    }
}

void countClosed(SocketHandle socket) {
    const std::lock_guard<std::mutex> lock(g_countMutex);
    const auto found = std::find(g_open.begin(), g_open.end(), socket);
    if (found != g_open.end()) {
        g_open.erase(found);
    }
}

}  // namespace

void PrintLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_outputMutex);
    const std::string whole = line + "\n";
    std::fwrite(whole.data(), 1, whole.size(), stdout);
    std::fflush(stdout);
}

Recorder::Recorder(const std::string& folder, int connection, SocketHandle socket)
    : connection_(connection), socket_(socket), enabled_(!folder.empty()) {
    if (enabled_) {
        const std::string path = folder + "/conn-" + std::to_string(connection) + ".bin";
        file_ = std::fopen(path.c_str(), "wb");
        countOpened(folder, socket);
    }
}

Recorder::~Recorder() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (enabled_) {
        closing();
        PrintLine("closed " + std::to_string(connection_));
    }
}

void Recorder::closing() {
    if (enabled_ && socket_ != kNoSocket) {
        countClosed(socket_);
        socket_ = kNoSocket;
    }
}

void Recorder::received(const char* data, std::size_t size) {
    if (file_ != nullptr) {
        std::fwrite(data, 1, size, file_);
        std::fflush(file_);
    }
}
