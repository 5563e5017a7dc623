#include "recorder.h"

#include <mutex>

namespace {

std::mutex g_outputMutex;

// Connections open at once: the most there have been goes to <folder>/most-at-once.
std::mutex g_countMutex;
int g_open = 0;
int g_most = 0;

void countOpened(const std::string& folder) {
    const std::lock_guard<std::mutex> lock(g_countMutex);
    if (++g_open <= g_most) {
        return;
    }
    g_most = g_open;
    if (std::FILE* file = std::fopen((folder + "/most-at-once").c_str(), "w")) {
        std::fprintf(file, "%d\n", g_most);
        std::fclose(file);
    }
}

void countClosed() {
    const std::lock_guard<std::mutex> lock(g_countMutex);
    --g_open;
}

}  // namespace

void PrintLine(const std::string& line) {
    std::lock_guard<std::mutex> lock(g_outputMutex);
    const std::string whole = line + "\n";
    std::fwrite(whole.data(), 1, whole.size(), stdout);
    std::fflush(stdout);
}

Recorder::Recorder(const std::string& folder, int connection)
    : connection_(connection), enabled_(!folder.empty()) {
    if (enabled_) {
        const std::string path = folder + "/conn-" + std::to_string(connection) + ".bin";
        file_ = std::fopen(path.c_str(), "wb");
        countOpened(folder);
    }
}

Recorder::~Recorder() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (enabled_) {
        countClosed();
        PrintLine("closed " + std::to_string(connection_));
    }
}

void Recorder::received(const char* data, std::size_t size) {
    if (file_ != nullptr) {
        std::fwrite(data, 1, size, file_);
        std::fflush(file_);
    }
}
