#include "recorder.h"

#include <mutex>

namespace {

std::mutex g_outputMutex;

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
    }
}

Recorder::~Recorder() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    if (enabled_) {
        PrintLine("closed " + std::to_string(connection_));
    }
}

void Recorder::received(const char* data, std::size_t size) {
    if (file_ != nullptr) {
        std::fwrite(data, 1, size, file_);
        std::fflush(file_);
    }
}
