#include "support/scratch.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
    static std::atomic<unsigned> counter{0};
    std::random_device device;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        const fs::path candidate =
            fs::path(TEST_BUILD_DIR) /
            ("scratch-" + std::to_string(device()) + "-" + std::to_string(counter++));
        std::error_code error;
        if (fs::create_directories(candidate, error)) {
            path_ = candidate.generic_string();
        }
    }
}

ScratchFolder::~ScratchFolder() {
    if (!path_.empty()) {
        std::error_code error;
        fs::remove_all(path_, error);
    }
}

std::string ScratchFolder::write(const std::string& name, const std::string& bytes) const {
    const std::string path = file(name);
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}
