#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "files/folder_tree_posix.h"
#include "files/folders.h"

const char kPathSeparator = '/';

namespace {

constexpr std::size_t kMaxPath = 260;
constexpr mode_t kOpenFolderMode = 0755;
constexpr mode_t kSharedFolderMode = 01777;

// An existing folder is fine and failures are silent (the log then stays closed). Levels made
// here are open to every user of the machine whatever the umask, and the last one is shared
// as /tmp is: anyone may add an entry, no one may delete or replace another's.
void createFolders(const std::string& path) {
    MakeFolderPath(path, 0700, [](const std::string& level, bool last) {
        ::chmod(level.c_str(), last ? kSharedFolderMode : kOpenFolderMode);
    });
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

bool IsOwnTemporaryFile(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    // mkstemps's six letters and digits between the pattern's ends.
    constexpr std::size_t kNameBytes = sizeof "kqtXXXXXX.TMP" - 1;
    if (name.size() != kNameBytes || name.compare(0, 3, "kqt") != 0 ||
        name.compare(9, 4, ".TMP") != 0) {
        return false;
    }
    for (std::size_t i = 3; i < 9; ++i) {
        if (std::isalnum(static_cast<unsigned char>(name[i])) == 0) {
            return false;
        }
    }
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_uid == ::geteuid() && SameFile(folder, temporaryFolder());
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

// Only a plain file, or a link standing where the file was named: a device, a pipe or a folder
// given as the script stays where it is, even when root runs the program.
bool RemoveFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !(S_ISREG(info.st_mode) || S_ISLNK(info.st_mode))) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

bool MakeFolderPath(const std::string& path, mode_t mode,
                    const std::function<void(const std::string& level, bool last)>& made) {
    const std::size_t end = !path.empty() && path.back() == '/' ? path.size() - 1 : path.size();
    for (std::size_t pos = 1; pos <= end; ++pos) {
        if (pos == end || path[pos] == '/') {
            const std::string level = path.substr(0, pos);
            if (::mkdir(level.c_str(), mode) == 0 && made) {
                made(level, pos == end);
            }
        }
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FolderEntries(const std::string& folder, std::vector<std::string>& names) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return true;
}

std::string PathFromScriptName(const std::string& name, bool) {
    return name;
}

bool OthersMayRead(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 &&
           (status.st_mode & (S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) != 0;
}

bool FolderExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool FileExists(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

bool SameFile(const std::string& first, const std::string& second) {
    struct stat one {};
    struct stat other {};
    return ::stat(first.c_str(), &one) == 0 && ::stat(second.c_str(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

bool OwnedByAnotherUser(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && status.st_uid != ::geteuid();
}
