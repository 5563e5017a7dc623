#include "register/registration.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstdio>

#include "common/strings.h"
#include "files/folders.h"
#include "files/raw_file.h"
#include "register/registry.h"
#include "register/xml_depth.h"

namespace {

const char kDefaultDescription[] = "Tessaly Dudiradaroz File";
const char kCryptVerb[] = "Tessaly File Crypt";

struct FileTypeEntry {
    std::string type;
    std::string description;
    std::string icon;
    bool crypt = false;
};

// Whether a step of this registration failed: the run then ends with a non-zero status.
bool g_stepFailed = false;

// One line on standard error with the cause; registration writes nothing to the log.
void reportFailure(const std::string& message) {
    std::perror(message.c_str());
    g_stepFailed = true;
}

// A configuration that gives nothing to register is a mistake, said in one line.
void reportConfiguration(const std::string& configPath, const std::string& problem) {
    std::fprintf(stderr, "%s: %s\n", configPath.c_str(), problem.c_str());
}

bool created(const RegistryKey& parent, const std::string& name, RegistryKey& key,
             const std::string& message) {
    if (CreateRegistryKey(parent, name, key) == RegistryResult::Done) {
        return true;
    }
    reportFailure(message);
    return false;
}

bool opened(const RegistryKey& parent, const std::string& name, RegistryKey& key,
            const std::string& message) {
    if (OpenRegistryKey(parent, name, key) == RegistryResult::Done) {
        return true;
    }
    reportFailure(message);
    return false;
}

bool written(const RegistryKey& key, const std::string& value, const std::string& message) {
    if (SetRegistryDefault(key, value) == RegistryResult::Done) {
        return true;
    }
    reportFailure(message);
    return false;
}

bool deleted(const RegistryKey& parent, const std::string& name) {
    if (DeleteRegistryKey(parent, name) == RegistryResult::Done) {
        return true;
    }
    reportFailure("Delete registry Key " + name);
    return false;
}

// The folder that holds the program; the current folder when the path names none.
std::string programFolder(const std::string& programPath) {
    const auto separator = programPath.rfind(kPathSeparator);
    if (separator == std::string::npos) {
        return CurrentFolder();
    }
    return programPath.substr(0, separator);
}

std::string quotedCommand(const std::string& programPath, const std::string& arguments) {
    return "\"" + programPath + "\"" + arguments;
}

bool installOpenVerb(const RegistryKey& shell, const std::string& programPath) {
    RegistryKey open;
    RegistryKey command;
    return created(shell, "open", open, "Create registry Key open") &&
           created(open, "command", command, "Create registry Key command") &&
           written(command, quotedCommand(programPath, " \"%1\""), "Write registry Key command");
}

bool installCryptVerb(const RegistryKey& shell, const std::string& programPath) {
    RegistryKey verb;
    RegistryKey command;
    return created(shell, kCryptVerb, verb, "Create registry Key File Crypt") &&
           created(verb, "command", command, "Create registry Key command") &&
           written(command, quotedCommand(programPath, " -c \"%1\""), "Write registry Key command");
}

bool installIcon(const RegistryKey& classKey, const std::string& programPath,
                 const std::string& icon) {
    RegistryKey defaultIcon;
    const std::string value =
        programFolder(programPath) + kPathSeparator + "qvtrxResources.dll," + icon;
    return created(classKey, "DefaultIcon", defaultIcon, "Create registry Key DefaultIcon") &&
           written(defaultIcon, value, "Write registry Key DefaultIcon");
}

bool installExtensionKey(const RegistryKey& root, const std::string& type,
                         const std::string& className) {
    RegistryKey extension;
    return created(root, "." + type, extension, "Create registry Key ." + type) &&
           written(extension, className, "Write registry Key ." + type);
}

// Deletes "command" below the verb, then the verb itself.
bool uninstallVerb(const RegistryKey& shell, const std::string& verb,
                   const std::string& openMessage) {
    {
        RegistryKey verbKey;
        if (!opened(shell, verb, verbKey, openMessage) || !deleted(verbKey, "command")) {
            return false;
        }
    }
    return deleted(shell, verb);
}

// The class key's subtree; the class key itself is deleted by the caller.
bool uninstallClassContents(const RegistryKey& classKey, bool crypt) {
    // A type installed without an icon has no DefaultIcon: nothing to delete there.
    if (DeleteRegistryKey(classKey, "DefaultIcon") == RegistryResult::Failed) {
        reportFailure("Delete registry Key DefaultIcon");
        return false;
    }
    {
        RegistryKey shell;
        if (!opened(classKey, "shell", shell, "Create registry Key shell") ||
            !uninstallVerb(shell, "open", "Create registry Key open")) {
            return false;
        }
        if (crypt && !uninstallVerb(shell, kCryptVerb, "Create registry Key File Crypt")) {
            return false;
        }
    }
    return deleted(classKey, "shell");
}

void installFileType(const std::string& programPath, const std::string& type,
                     const std::string& description, const std::string& icon, bool crypt) {
    const RegistryKey root = OpenClassesRoot();
    if (!root.isOpen()) {
        reportFailure("Create registry Key ." + type);
        return;
    }
    const std::string className = type + "file";
    if (!installExtensionKey(root, type, className)) {
        return;
    }
    RegistryKey classKey;
    if (!created(root, className, classKey, "Create registry Key " + className) ||
        !written(classKey, description.empty() ? kDefaultDescription : description,
                 "Write registry Key " + className)) {
        return;
    }
    if (!icon.empty() && !installIcon(classKey, programPath, icon)) {
        return;
    }
    RegistryKey shell;
    if (!created(classKey, "shell", shell, "Create registry Key shell") ||
        !installOpenVerb(shell, programPath)) {
        return;
    }
    if (crypt) {
        installCryptVerb(shell, programPath);
    }
}

void uninstallFileType(const std::string& type, bool crypt) {
    const RegistryKey root = OpenClassesRoot();
    if (!root.isOpen()) {
        reportFailure("Delete registry Key ." + type);
        return;
    }
    const std::string className = type + "file";
    if (!deleted(root, "." + type)) {
        return;
    }
    {
        RegistryKey classKey;
        if (!opened(root, className, classKey, "Create registry Key " + className) ||
            !uninstallClassContents(classKey, crypt)) {
            return;
        }
    }
    deleted(root, className);
}

void applyAttribute(const std::string& name, const std::string& value, FileTypeEntry& entry) {
    if (name == "type") {
        entry.type = value;
    } else if (name == "description") {
        entry.description = value;
    } else if (name == "icon") {
        entry.icon = value;
    } else if (name == "crypt") {
        entry.crypt = ReadDecimal(value) == 1;
    }
}

FileTypeEntry readEntry(const TiXmlElement& element) {
    FileTypeEntry entry;
    for (const TiXmlAttribute* attribute = element.FirstAttribute(); attribute != nullptr;
         attribute = attribute->Next()) {
        applyAttribute(attribute->Name(), attribute->Value(), entry);
    }
    return entry;
}

void registerEntries(TiXmlElement& config, const std::string& programPath, bool install) {
    for (TiXmlNode* child = config.IterateChildren(nullptr); child != nullptr;
         child = config.IterateChildren(child)) {
        const TiXmlElement* element = child->ToElement();
        if (element == nullptr || std::string(element->Value()) != "extension") {
            continue;
        }
        const FileTypeEntry entry = readEntry(*element);
        if (entry.type.empty()) {
            continue;
        }
        if (install) {
            installFileType(programPath, entry.type, entry.description, entry.icon, entry.crypt);
        } else {
            uninstallFileType(entry.type, entry.crypt);
        }
    }
}

// A configuration lists file types a few levels deep; one nested deeper than this is not a
// configuration, and the XML parser would exhaust the stack on it.
constexpr std::size_t kDeepestConfiguration = 64;
constexpr std::uint64_t kLargestConfigurationBytes = 64u << 20;

// The text the XML parser reads, as its own file reader would hand it over: cut at the first
// NUL, line ends made "\n". A tail of NULs follows, because the parser steps over a whole
// UTF-8 sequence at once: a file that ends in the lead byte of one would otherwise send it
// past the end of the text.
std::string parserText(const std::string& bytes) {
    constexpr std::size_t kLongestSequence = 8;
    std::string text;
    text.reserve(bytes.size() + kLongestSequence);
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
        if (bytes[i] != '\r') {
            text += bytes[i];
            continue;
        }
        text += '\n';
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            ++i;
        }
    }
    text.append(kLongestSequence, '\0');
    return text;
}

// The value of the encoding pseudo-attribute of the XML declaration, if the text opens with
// one; "" otherwise.
std::string declaredEncoding(const std::string& bytes) {
    constexpr std::size_t kLongestDeclaration = 256;
    const std::size_t declarationEnd = bytes.find("?>");
    if (bytes.compare(0, 5, "<?xml") != 0 || declarationEnd > kLongestDeclaration) {
        return std::string();
    }
    const std::string declaration = bytes.substr(0, declarationEnd);
    const std::size_t name = declaration.find("encoding");
    const std::size_t open = declaration.find_first_of("\"'", name);
    if (name == std::string::npos || open == std::string::npos) {
        return std::string();
    }
    const std::size_t close = declaration.find(declaration[open], open + 1);
    return close == std::string::npos ? std::string()
                                      : declaration.substr(open + 1, close - open - 1);
}

// False for a configuration that cannot be read, is refused before the XML parser sees it, or
// is not well-formed XML.
bool loadConfiguration(const std::string& configPath, TiXmlDocument& document) {
    std::string bytes;
    const RawRead read = ReadRawFile(configPath, bytes, kLargestConfigurationBytes);
    if (read != RawRead::Done) {
        reportConfiguration(configPath, read == RawRead::TooLarge
                                            ? "too large to be a configuration"
                                            : "cannot be read (is the name right?)");
        return false;
    }
    if (XmlNestingDepth(bytes) > kDeepestConfiguration) {
        reportConfiguration(configPath, "nested too deeply to be a configuration");
        return false;
    }
    std::string text;
    std::string problem;
    if (!TextForKeys(bytes, declaredEncoding(bytes), text, problem)) {
        reportConfiguration(configPath, problem);
        return false;
    }
    document.Parse(parserText(text).c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (document.Error()) {
        reportConfiguration(configPath, "line " + std::to_string(document.ErrorRow()) +
                                            ": not well-formed XML: " + document.ErrorDesc());
        return false;
    }
    return true;
}

}  // namespace

bool registerFileTypes(const std::string& configPath, const std::string& programPath,
                       bool install) {
    g_stepFailed = false;
    TiXmlDocument document;
    bool configured = loadConfiguration(configPath, document);
    if (configured) {
        TiXmlHandle handle(&document);
        TiXmlElement* config = handle.FirstChildElement("config").ToElement();
        configured = config != nullptr;
        if (configured) {
            registerEntries(*config, programPath, install);
        } else {
            reportConfiguration(configPath, "no <config> element at its top");
        }
    }
    const bool announced = AnnounceAssociationsChanged();
    return configured && !g_stepFailed && announced;
}
