#pragma once
// Helpers shared by the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <string>

// Every target starts in a folder of its own under the system's temporary folder, made the
// current folder so that relative names in the input stay inside it (removed at exit), with
// "fuzz.qvtrx" as the script's name in messages. A target that needs more defines this; it
// runs once, after that.
void FuzzTargetSetUp();
const std::string& FuzzScratchFolder();

// Writes bytes to a file in the scratch folder and returns its path.
std::string WriteScratchFile(const std::string& name, const std::string& bytes);

// The input as a byte string.
inline std::string InputBytes(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// Stops the run with a report the fuzzer records as a crash: a property of the code broke.
[[noreturn]] void FuzzCheckFailed(const char* what);
#define FUZZ_CHECK(condition)            \
    do {                                 \
        if (!(condition)) {              \
            FuzzCheckFailed(#condition); \
        }                                \
    } while (false)
