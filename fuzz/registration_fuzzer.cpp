// The registration configuration reader: any bytes as the XML file, installed and then
// uninstalled against the key tree of this build, which lives in a scratch folder of its own
// (see the fuzz preset). Each input starts from an empty tree; no key may land outside it.

#include <filesystem>
#include <system_error>

#include "fuzz_support.h"
#include "register/registration.h"

namespace {

const std::filesystem::path kRoot = TRANSMITTER_REGISTRY_DIR;

// Only the tree's own root may exist beside it: a key name never leaves the tree.
void checkNothingOutsideTheTree() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kRoot.parent_path(), error)) {
        FUZZ_CHECK(entry.path().filename() == kRoot.filename());
    }
}

}  // namespace

void FuzzTargetSetUp() {
    std::error_code error;
    std::filesystem::create_directories(kRoot.parent_path(), error);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::error_code error;
    std::filesystem::remove_all(kRoot, error);
    const std::string config = WriteScratchFile("config.xml", InputBytes(data, size));
    registerFileTypes(config, "/opt/orvane/transmitter.exe", true);
    checkNothingOutsideTheTree();
    registerFileTypes(config, "/opt/orvane/transmitter.exe", false);
    checkNothingOutsideTheTree();
    return 0;
}
