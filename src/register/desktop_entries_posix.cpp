#include "register/desktop_entries_posix.h"

#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/strings.h"
#include "files/folder_tree_posix.h"
#include "files/raw_file.h"
#include "register/key_tree_posix.h"

extern char** environ;

namespace {

// Off in builds that must never touch a desktop (the fuzzers register file types by the
// million).
constexpr bool kPublishToDesktop = TRANSMITTER_DESKTOP_INTEGRATION != 0;

// Every file this program writes into a desktop data folder starts with this name, so that
// a later publication can find and withdraw them.
const char kOwnName[] = "orvane-transmitter";
const char kCryptVerb[] = "Tessaly File Crypt";

struct PublishedType {
    std::string type;  // extension without its dot
    std::string description;
    std::string openCommand;   // as the key tree holds it: "program" "%1"
    std::string cryptCommand;  // empty: no encipher verb
    std::string iconFile;      // drawing to publish; empty: none
};

// Whether a step of this publication failed.
bool g_publicationFailed = false;

void reportFailure(const std::string& message) {
    std::perror(message.c_str());
    g_publicationFailed = true;
}

// Types whose name can be a glob and part of a MIME type name as it stands.
bool isPublishableType(const std::string& type) {
    if (type.empty()) {
        return false;
    }
    for (const char c : type) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '+';
        if (!allowed) {
            return false;
        }
    }
    return true;
}

std::string mimeType(const std::string& type) {
    return "application/x-" + ToLowerAscii(type);
}

std::string iconName(const std::string& type) {
    return std::string(kOwnName) + "-" + mimeType(type).substr(std::string("application/").size());
}

bool readValue(const RegistryKey& parent, const std::string& name, std::string& value) {
    RegistryKey key;
    return OpenRegistryKey(parent, name, key) == RegistryResult::Done &&
           ReadRegistryDefault(key, value);
}

// "folder/qvtrxResources.dll,3" names drawing 3, kept in the data folder beside the program.
std::string iconDrawing(const std::string& defaultIcon) {
    const std::size_t comma = defaultIcon.rfind(',');
    const std::size_t slash = defaultIcon.rfind('/', comma);
    if (comma == std::string::npos || slash == std::string::npos) {
        return "";
    }
    const std::string index = defaultIcon.substr(comma + 1);
    if (index.empty() || index.find_first_not_of("0123456789") != std::string::npos) {
        return "";
    }
    return defaultIcon.substr(0, slash) + "/../share/transmitter/icons/file-type-" + index + ".svg";
}

// The types of the tree that open with a program: ".type" names its class, whose
// shell\open\command holds the open command.
std::vector<PublishedType> registeredTypes(const RegistryKey& root) {
    std::vector<PublishedType> types;
    std::vector<std::string> names = RegistrySubkeys(root);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        PublishedType entry;
        entry.type = name.substr(1);
        std::string className;
        if (name.empty() || name[0] != '.' || !isPublishableType(entry.type) ||
            !readValue(root, name, className) || className.empty() ||
            className.find('\\') != std::string::npos) {
            continue;
        }
        RegistryKey classKey;
        if (OpenRegistryKey(root, className, classKey) != RegistryResult::Done ||
            !readValue(classKey, "shell\\open\\command", entry.openCommand)) {
            continue;
        }
        ReadRegistryDefault(classKey, entry.description);
        readValue(classKey, std::string("shell\\") + kCryptVerb + "\\command", entry.cryptCommand);
        std::string defaultIcon;
        if (readValue(classKey, "DefaultIcon", defaultIcon)) {
            entry.iconFile = iconDrawing(defaultIcon);
        }
        types.push_back(entry);
    }
    return types;
}

// The words of a command as the Windows shell splits it: blanks separate, double quotes
// group.
std::vector<std::string> commandWords(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (const char c : command) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// One word of an Exec key: %1 is the file; other words are quoted when they hold a reserved
// character, and a literal % is doubled.
std::string execWord(const std::string& word) {
    if (word == "%1") {
        return "%f";
    }
    const std::string reserved = " \t\n\"'\\><~|&;$*?#()`=";
    std::string text;
    bool needsQuotes = word.empty();
    for (const char c : word) {
        if (c == '%') {
            text += "%%";
            continue;
        }
        if (reserved.find(c) != std::string::npos) {
            needsQuotes = true;
        }
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            text += '\\';
        }
        text += c;
    }
    return needsQuotes ? "\"" + text + "\"" : text;
}

// An Exec value as a desktop-entry string: backslashes and control characters escaped.
std::string execValue(const std::string& command) {
    std::string exec;
    for (const std::string& word : commandWords(command)) {
        exec += exec.empty() ? "" : " ";
        exec += execWord(word);
    }
    std::string value;
    for (const char c : exec) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\t':
                value += "\\t";
                break;
            case '\r':
                value += "\\r";
                break;
            default:
                value += c;
        }
    }
    return value;
}

std::string xmlText(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20) {
                    escaped += c;
                }
        }
    }
    return escaped;
}

std::string mimePackage(const std::vector<PublishedType>& types) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const PublishedType& entry : types) {
        xml += "  <mime-type type=\"" + mimeType(entry.type) + "\">\n";
        xml += "    <comment>" + xmlText(entry.description) + "</comment>\n";
        xml += "    <sub-class-of type=\"text/plain\"/>\n";
        if (!entry.iconFile.empty()) {
            xml += "    <icon name=\"" + iconName(entry.type) + "\"/>\n";
        }
        xml += "    <glob pattern=\"*." + entry.type + "\"/>\n";
        xml += "  </mime-type>\n";
    }
    return xml + "</mime-info>\n";
}

std::string desktopEntry(const std::string& openCommand, const std::string& cryptCommand,
                         const std::vector<std::string>& mimeTypes) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Tessaly transmitter\n"
        "Comment=Sends a Tessaly script to its Orvane servers\n"
        "Exec=" +
        execValue(openCommand) +
        "\n"
        "NoDisplay=true\n"
        "Terminal=false\n"
        "MimeType=";
    for (const std::string& type : mimeTypes) {
        text += type + ";";
    }
    text += "\n";
    if (!cryptCommand.empty()) {
        text += "Actions=crypt;\n\n[Desktop Action crypt]\nName=" + std::string(kCryptVerb) +
                "\nExec=" + execValue(cryptCommand) + "\n";
    }
    return text;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    if (WriteRawFile(path, bytes) == RawWrite::Done) {
        return true;
    }
    reportFailure("Write desktop file " + path);
    return false;
}

// Removes the files of `folder` that an earlier publication wrote.
void removeOwnFiles(const std::string& folder) {
    std::vector<std::string> names;
    FolderEntries(folder, names);
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        if (StartsWith(name, kOwnName) && ::unlink(path.c_str()) != 0) {
            reportFailure("Delete desktop file " + path);
        }
    }
}

bool isEmptyFolder(const std::string& folder) {
    std::vector<std::string> names;
    return FolderEntries(folder, names) && names.empty();
}

int removeEntry(const char* path, const struct stat*, int, FTW*) {
    ::remove(path);
    return 0;
}

// The MIME database of a folder whose packages are all gone is derived from nothing: it
// goes, so that a withdrawal leaves no trace of the publication.
void removeEmptyMimeDatabase(const std::string& mime) {
    if (isEmptyFolder(mime + "/packages")) {
        ::nftw(mime.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
}

// The cache of a folder without desktop entries lists nothing; both go.
void removeEmptyApplications(const std::string& applications) {
    std::vector<std::string> names;
    if (FolderEntries(applications, names) &&
        (names.empty() || names == std::vector<std::string>{"mimeinfo.cache"})) {
        ::unlink((applications + "/mimeinfo.cache").c_str());
        ::rmdir(applications.c_str());
    }
}

// Runs a cache updater quietly; a desktop without it has no cache to update. One that rejects
// what was written says so on standard error.
void runUpdater(const char* program, const std::string& folder) {
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string programName = program;
    std::string folderArgument = folder;
    char* argv[] = {programName.data(), folderArgument.data(), nullptr};
    pid_t child = 0;
    if (::posix_spawnp(&child, program, &actions, nullptr, argv, environ) == 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "%s %s: rejected what was written (status %d)\n", program,
                         folder.c_str(), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            g_publicationFailed = true;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

std::string environmentFolder(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

// True when only root can change what `folder` names: the folder and every folder above it
// that is there belong to root, and none can be written by others unless, like /tmp, it keeps each
// user's entries to their owner (the folder itself not even so).
bool onlyRootChanges(const std::string& folder) {
    for (std::string path = folder; !path.empty(); path = path.substr(0, path.rfind('/'))) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            if (errno == ENOENT) {
                continue;  // made by root when published to, below folders only root changes
            }
            return false;
        }
        if (!S_ISDIR(info.st_mode) || info.st_uid != 0) {
            return false;
        }
        const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        if (othersWrite && (path == folder || (info.st_mode & S_ISVTX) == 0)) {
            return false;
        }
    }
    return true;
}

// Machine-wide for root (the first folder of XDG_DATA_DIRS when only root can change it, else
// /usr/local/share, the place for what no package manages): an environment left by su or a
// desktop's profile must not make root write where a user chose. The user's own data folder
// otherwise.
std::string desktopDataFolder() {
    if (::geteuid() == 0) {
        std::string dirs = environmentFolder("XDG_DATA_DIRS");
        dirs = dirs.substr(0, dirs.find(':'));
        while (dirs.size() > 1 && dirs.back() == '/') {
            dirs.pop_back();
        }
        return dirs.empty() || !onlyRootChanges(dirs) ? "/usr/local/share" : dirs;
    }
    return UserDataFolder();
}

void publishMimeTypes(const std::string& data, const std::vector<PublishedType>& types) {
    const std::string packages = data + "/mime/packages";
    removeOwnFiles(packages);
    if (!types.empty() && MakeFolderPath(packages, 0755)) {
        writeFile(packages + "/" + kOwnName + ".xml", mimePackage(types));
    }
    runUpdater("update-mime-database", data + "/mime");
    removeEmptyMimeDatabase(data + "/mime");
}

void publishIcons(const std::string& data, const std::vector<PublishedType>& types) {
    const std::string icons = data + "/icons/hicolor/scalable/mimetypes";
    removeOwnFiles(icons);
    for (const PublishedType& entry : types) {
        std::string drawing;
        if (!entry.iconFile.empty() &&
            ReadRawFile(entry.iconFile, drawing, 1 << 20) == RawRead::Done &&
            MakeFolderPath(icons, 0755)) {
            writeFile(icons + "/" + iconName(entry.type) + ".svg", drawing);
        }
    }
    // Folders left empty by a withdrawal go, from the deepest up.
    for (std::string folder = icons; folder.size() > data.size();
         folder = folder.substr(0, folder.rfind('/'))) {
        if (!isEmptyFolder(folder) || ::rmdir(folder.c_str()) != 0) {
            break;
        }
    }
}

// One desktop entry per pair of open and encipher commands: the enciphered twins share the
// open command but have no encipher action.
void publishDesktopEntries(const std::string& data, const std::vector<PublishedType>& types) {
    const std::string applications = data + "/applications";
    removeOwnFiles(applications);
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> entries;
    for (const PublishedType& entry : types) {
        entries[{entry.openCommand, entry.cryptCommand}].push_back(mimeType(entry.type));
    }
    int number = 0;
    for (const auto& [commands, mimeTypes] : entries) {
        if (MakeFolderPath(applications, 0755)) {
            const std::string path =
                applications + "/" + kOwnName + "-" + std::to_string(++number) + ".desktop";
            writeFile(path, desktopEntry(commands.first, commands.second, mimeTypes));
        }
    }
    runUpdater("update-desktop-database", applications);
    removeEmptyApplications(applications);
}

}  // namespace

std::string UserDataFolder() {
    const std::string dataHome = environmentFolder("XDG_DATA_HOME");
    if (!dataHome.empty()) {
        return dataHome;
    }
    const std::string home = environmentFolder("HOME");
    return home.empty() ? "" : home + "/.local/share";
}

bool PublishFileTypesToDesktop(const RegistryKey& root) {
    const std::string data = kPublishToDesktop ? desktopDataFolder() : "";
    if (data.empty() || !root.isOpen()) {
        return true;
    }
    g_publicationFailed = false;
    const std::vector<PublishedType> types = registeredTypes(root);
    publishMimeTypes(data, types);
    publishIcons(data, types);
    publishDesktopEntries(data, types);
    return !g_publicationFailed;
}
