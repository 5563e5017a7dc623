#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/globals.h"

namespace {

std::string makeScratchFolder() {
    std::error_code error;
    const auto base = std::filesystem::temp_directory_path(error);
    std::string pattern =
        (error ? std::filesystem::path("/tmp") : base).string() + "/transmitter-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    std::filesystem::current_path(pattern);
    return pattern;
}

// Removed with its contents when the process ends normally.
struct ScratchFolder {
    std::string path;
    ~ScratchFolder() {
        std::error_code error;
        std::filesystem::current_path("/", error);
        std::filesystem::remove_all(path, error);
    }
};

}  // namespace

const std::string& FuzzScratchFolder() {
    static const ScratchFolder folder{makeScratchFolder()};
    return folder.path;
}

std::string WriteScratchFile(const std::string& name, const std::string& bytes) {
    const std::string path = FuzzScratchFolder() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(file);
    return path;
}

void FuzzCheckFailed(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

__attribute__((weak)) void FuzzTargetSetUp() {}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_scriptName = "fuzz.qvtrx";
    FuzzScratchFolder();
    FuzzTargetSetUp();
    return 0;
}
