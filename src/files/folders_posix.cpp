#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "files/folders.h"

const char kPathSeparator = '/';

namespace {

constexpr std::size_t kMaxPath = 260;

// mkdir -p; an existing folder is fine and failures are silent (the log then stays closed).
void createFolders(const std::string& path) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            ::mkdir(path.substr(0, pos).c_str(), 0777);
        }
    }
}

std::string temporaryFolder() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    std::string folder =
        (fromEnvironment != nullptr && *fromEnvironment != '\0') ? fromEnvironment : "/tmp";
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

}  // namespace

std::string GetAppDataFolder() {
    const std::string base = TRANSMITTER_STATE_DIR;
    if (base.empty()) {
        return std::string();
    }
    std::string folder = base;
    if (folder.back() != '/') {
        folder += '/';
    }
    folder += "Orvane/Tessaly/Dudiradaroz/";
    createFolders(folder);
    return folder;
}

std::string GetTempScriptFile() {
    const std::string folder = temporaryFolder();
    if (folder.size() >= kMaxPath) {
        std::printf("GetTempPath failed (%d)\n", ENAMETOOLONG);
        return std::string();
    }
    std::string pattern = folder + "kqtXXXXXX.TMP";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    // mkstemps creates the file atomically with mode 0600: it carries deciphered script text.
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0) {
        std::printf("GetTempFileName failed (%d)\n", errno);
        return std::string();
    }
    ::close(fd);
    return std::string(name.data());
}

std::string CurrentFolder() {
    std::vector<char> buffer(4096);
    if (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        return std::string();
    }
    return std::string(buffer.data());
}

bool ChangeFolder(const std::string& folder) {
    return ::chdir(folder.c_str()) == 0;
}

bool IsAbsolutePath(const std::string& path) {
    return !path.empty() && path[0] == '/';
}
