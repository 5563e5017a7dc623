#include "frontend/background.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "common/globals.h"
#include "common/strings.h"
#include "files/folders.h"
#include "files/log.h"
#include "frontend/spawn.h"

namespace {

const char kCallbackOption[] = "--check-internal-callback";
const char kCheckPrefix[] = "--check-";

// An argument with a blank is shown between double quotes; quotes inside are left as they are.
void appendShown(std::string& line, const std::string& argument) {
    line += ' ';
    if (contains(argument, " ")) {
        line += '"';
        line += argument;
        line += '"';
    } else {
        line += argument;
    }
}

// Writes the command text to the temporary copy; false when it cannot be opened or written
// whole, so that the copy never runs a shortened command list.
bool writeTemporaryCopy(const std::string& path, const std::string& text) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

std::string userName() {
    const char* name = std::getenv("USERNAME");
    return name == nullptr ? std::string() : std::string(name);
}

}  // namespace

ChildLaunch BuildChildLaunch(const std::vector<std::string>& arguments,
                             const std::string& scriptArgument, const std::string& tempPath,
                             const std::string& scriptName) {
    ChildLaunch child;
    const std::string program = arguments.empty() ? std::string() : arguments[0];
    child.argv = {program, kCallbackOption};
    child.commandLine = program + " " + kCallbackOption;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (!scriptArgument.empty() && argument == scriptArgument) {
            argument = tempPath;
            child.replaced = true;
        } else if (startsWith(argument, kCheckPrefix)) {
            continue;
        }
        appendShown(child.commandLine, argument);
        child.argv.push_back(argument);
    }
    if (child.replaced) {
        child.argv.push_back("--removefile");
        child.argv.push_back("--originalfile=" + scriptName);
        child.commandLine += " --removefile --originalfile=\"" + scriptName + "\"";
    }
    return child;
}

std::string BuildLaunchRecord(const std::string& userName, const std::string& scriptArgument) {
    std::string record = "Background launch: User: " + userName;
    if (!scriptArgument.empty()) {
        record += " File: " + scriptArgument;
    }
    return record;
}

int LaunchBackground(const RunOptions& options, const std::vector<std::string>& arguments) {
    std::string tempPath;
    if (!options.scriptFile.empty()) {
        tempPath = GetTempScriptFile();
        if (!writeTemporaryCopy(tempPath, options.commandText)) {
            const int error = LastSystemError();
            LogMessage("%s: Open tmp file failed ! (%s) %d", g_scriptName.c_str(), tempPath.c_str(),
                       error);
            if (!tempPath.empty()) {
                RemoveFile(tempPath);
            }
            return 1;
        }
    }
    const ChildLaunch child =
        BuildChildLaunch(arguments, options.scriptFile, tempPath, g_scriptName);
    if (!child.replaced) {
        LogMessage("%s: Internal Error: can not replace file with temp file", g_scriptName.c_str());
    }
    LogText(BuildLaunchRecord(userName(), options.scriptFile));
    if (!StartDetachedCopy(child.argv)) {
        LogMessage("%s: Execute failed (%s)", g_scriptName.c_str(), child.commandLine.c_str());
        if (!tempPath.empty()) {
            // Nobody would read or delete it: it may hold deciphered script text.
            RemoveFile(tempPath);
        }
        return 1;
    }
    return 0;
}
