#include <iconv.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/strings.h"
#include "files/folder_tree_posix.h"
#include "files/raw_file.h"
#include "register/desktop_entries_posix.h"
#include "register/key_tree_posix.h"
#include "register/registry.h"

// A key is a folder below TRANSMITTER_REGISTRY_DIR; its default value is the file
// "@default" inside it. Key names never leave the tree: "/", "%" and "@" are written as
// %2F, %25 and %40, and the names "." and ".." with %2E for each dot. A backslash separates
// subkeys, as in the registry.
struct RegistryKeyState {
    std::string folder;  // without a final '/'
};

namespace {

const char kDefaultValueFile[] = "@default";

std::string escaped(char c) {
    char text[4];
    std::snprintf(text, sizeof text, "%%%02X", static_cast<unsigned char>(c));
    return text;
}

// The key name a folder name stands for (the reverse of folderName).
std::string keyName(const std::string& folder) {
    std::string name;
    for (std::size_t i = 0; i < folder.size(); ++i) {
        if (folder[i] == '%' && i + 2 < folder.size() && HexDigitValue(folder[i + 1]) >= 0 &&
            HexDigitValue(folder[i + 2]) >= 0) {
            name +=
                static_cast<char>(HexDigitValue(folder[i + 1]) * 16 + HexDigitValue(folder[i + 2]));
            i += 2;
        } else {
            name += folder[i];
        }
    }
    return name;
}

std::string folderName(const std::string& component) {
    std::string name;
    const bool dotsOnly = component == "." || component == "..";
    for (const char c : component) {
        if (c == '/' || c == '%' || c == '@' || (dotsOnly && c == '.')) {
            name += escaped(c);
        } else {
            name += c;
        }
    }
    return name;
}

// The folders from the first subkey down to the key itself; false (EINVAL) for an empty
// name or an empty part between backslashes.
bool keyFolders(const RegistryKey& parent, const std::string& name,
                std::vector<std::string>& folders) {
    if (!parent.isOpen()) {
        errno = EBADF;
        return false;
    }
    std::string folder = parent.state().folder;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = name.find('\\', start);
        const std::string component = name.substr(start, end - start);
        if (component.empty()) {
            errno = EINVAL;
            return false;
        }
        folder += '/';
        folder += folderName(component);
        folders.push_back(folder);
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
}

bool isFolder(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

bool makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0) {
        return true;
    }
    return errno == EEXIST && isFolder(path);
}

RegistryKey keyAt(const std::string& folder) {
    return RegistryKey(std::make_unique<RegistryKeyState>(RegistryKeyState{folder}));
}

// True when the folder holds anything besides its default value: a subkey.
bool hasSubkeys(const std::string& folder) {
    std::vector<std::string> names;
    FolderEntries(folder, names);
    return std::any_of(names.begin(), names.end(),
                       [](const std::string& name) { return name != kDefaultValueFile; });
}

// The machine's key tree for root, and for a user who may change it; any other user keeps a
// tree of their own beside their desktop data, whose types are published for them alone.
std::string keyTreeRoot() {
    const std::string machine = TRANSMITTER_REGISTRY_DIR;
    if (machine.empty() || ::geteuid() == 0) {
        return machine;
    }
    MakeFolderPath(machine, 0755);
    if (::access(machine.c_str(), W_OK) == 0) {
        return machine;
    }
    const std::string data = UserDataFolder();
    return data.empty() ? machine : data + "/orvane-transmitter/registry";
}

}  // namespace

RegistryKey OpenClassesRoot() {
    const std::string root = keyTreeRoot();
    if (root.empty()) {
        errno = ENOENT;
        return RegistryKey();
    }
    MakeFolderPath(root, 0755);
    if (!isFolder(root)) {
        return RegistryKey();
    }
    return keyAt(root.back() == '/' ? root.substr(0, root.size() - 1) : root);
}

RegistryResult CreateRegistryKey(const RegistryKey& parent, const std::string& name,
                                 RegistryKey& key) {
    std::vector<std::string> folders;
    if (!keyFolders(parent, name, folders)) {
        return RegistryResult::Failed;
    }
    for (const auto& folder : folders) {
        if (!makeFolder(folder)) {
            return errno == ENOENT ? RegistryResult::NotFound : RegistryResult::Failed;
        }
    }
    key = keyAt(folders.back());
    return RegistryResult::Done;
}

RegistryResult OpenRegistryKey(const RegistryKey& parent, const std::string& name,
                               RegistryKey& key) {
    std::vector<std::string> folders;
    if (!keyFolders(parent, name, folders)) {
        return RegistryResult::Failed;
    }
    if (!isFolder(folders.back())) {
        return errno == ENOENT ? RegistryResult::NotFound : RegistryResult::Failed;
    }
    key = keyAt(folders.back());
    return RegistryResult::Done;
}

RegistryResult SetRegistryDefault(const RegistryKey& key, const std::string& value) {
    if (!key.isOpen()) {
        errno = EBADF;
        return RegistryResult::Failed;
    }
    const std::string path = key.state().folder + "/" + kDefaultValueFile;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return errno == ENOENT ? RegistryResult::NotFound : RegistryResult::Failed;
    }
    const bool written = std::fwrite(value.data(), 1, value.size(), file) == value.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? RegistryResult::Done : RegistryResult::Failed;
}

RegistryResult DeleteRegistryKey(const RegistryKey& parent, const std::string& name) {
    std::vector<std::string> folders;
    if (!keyFolders(parent, name, folders)) {
        return RegistryResult::Failed;
    }
    const std::string& folder = folders.back();
    if (!isFolder(folder)) {
        return errno == ENOENT ? RegistryResult::NotFound : RegistryResult::Failed;
    }
    if (hasSubkeys(folder)) {
        errno = ENOTEMPTY;
        return RegistryResult::Failed;
    }
    const std::string valueFile = folder + "/" + kDefaultValueFile;
    if (std::remove(valueFile.c_str()) != 0 && errno != ENOENT) {
        return RegistryResult::Failed;
    }
    return ::rmdir(folder.c_str()) == 0 ? RegistryResult::Done : RegistryResult::Failed;
}

bool AnnounceAssociationsChanged() {
    return PublishFileTypesToDesktop(OpenClassesRoot());
}

bool ReadRegistryDefault(const RegistryKey& key, std::string& value) {
    // A default value is a text of a few hundred bytes; a larger one was not written by us.
    const std::uint64_t kLargestValue = 64 * 1024;
    return key.isOpen() && ReadRawFile(key.state().folder + "/" + kDefaultValueFile, value,
                                       kLargestValue) == RawRead::Done;
}

std::vector<std::string> RegistrySubkeys(const RegistryKey& key) {
    std::vector<std::string> entries;
    std::vector<std::string> names;
    if (key.isOpen()) {
        FolderEntries(key.state().folder, entries);
    }
    for (const std::string& entry : entries) {
        if (entry != kDefaultValueFile && isFolder(key.state().folder + "/" + entry)) {
            names.push_back(keyName(entry));
        }
    }
    return names;
}

bool TextForKeys(const std::string& bytes, const std::string& encoding, std::string& text,
                 std::string& problem) {
    const std::string name = ToLowerAscii(encoding);
    if (name.empty() || name == "utf-8" || name == "utf8" || name == "us-ascii") {
        text = bytes;
        return true;
    }
    const iconv_t converter = ::iconv_open("UTF-8", encoding.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        problem = "the encoding " + encoding + " is not known";
        return false;
    }
    // Four bytes of UTF-8 at most for each byte of the widest single-byte encodings; the
    // multi-byte ones shrink.
    std::string converted(bytes.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* out = converted.data();
    std::size_t outLeft = converted.size();
    const bool done = ::iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
    ::iconv_close(converter);
    if (!done) {
        problem = "it is not " + encoding + " text";
        return false;
    }
    converted.resize(converted.size() - outLeft);
    text.swap(converted);
    return true;
}
