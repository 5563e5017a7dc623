#include "process/background.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "common/globals.h"
#include "common/shown_command.h"
#include "common/strings.h"
#include "files/folders.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "files/system_log.h"
#include "plan/outside_values.h"
#include "process/interrupts.h"
#include "process/spawn.h"
#include "process/system.h"

namespace {

const char kCallbackOption[] = "--check-internal-callback";

// Written in pieces, so that an interrupt is seen between two of them.
constexpr std::size_t kCopyChunkBytes = 1024 * 1024;

// Writes the prepared text to the temporary copy as raw bytes (no line-end translation): the
// copy sends exactly these bytes. False when it cannot be opened or written whole, so that the
// copy never runs a shortened command list.
bool writeTemporaryCopy(const std::string& path, const std::string& text, const std::string& tail) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    // Never written through a link, a pipe or a device put in its place since it was created.
    std::FILE* file = CreateRegularFile(path);
    if (file == nullptr) {
        return false;
    }
    bool written = true;
    for (const std::string* part : {&text, &tail}) {
        for (std::size_t at = 0; written && at < part->size(); at += kCopyChunkBytes) {
            const std::size_t size = std::min(kCopyChunkBytes, part->size() - at);
            written = !InterruptArrived() && std::fwrite(part->data() + at, 1, size, file) == size;
        }
    }
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

// As the caller names itself, where it does; else the account the program runs as.
std::string userName() {
    const char* name = std::getenv("USERNAME");
    return name == nullptr || *name == '\0' ? AccountName() : std::string(name);
}

// The background copy's command line, built from the launching copy's arguments.
struct ChildLaunch {
    std::vector<std::string> argv;  // what the copy receives, argv[0] included
    bool replaced = false;          // the script argument was replaced by the temporary copy
};

// `arguments` is the launching copy's argv; every argument equal to `scriptArgument` (when
// one was given) becomes `tempPath`, and the options the copy does not get are dropped.
// `scriptName` is the user's file name the copy is to show in its messages.
ChildLaunch buildChildLaunch(const std::vector<std::string>& arguments,
                             const std::string& scriptArgument, const std::string& tempPath,
                             const std::string& scriptName) {
    ChildLaunch child;
    const std::string program = arguments.empty() ? std::string() : arguments[0];
    child.argv = {program, kCallbackOption};
    const bool hasScript = !scriptArgument.empty();
    const bool handedOver = !tempPath.empty();
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (hasScript && argument == scriptArgument) {
            argument = tempPath;
            child.replaced = true;
        } else if (argument == kEndOfOptions || CopyGets(argument) == ToCopy::Never ||
                   (handedOver && CopyGets(argument) == ToCopy::UnlessHandedOver)) {
            continue;
        }
        child.argv.push_back(argument);
    }
    // A command list alone goes over as the script does: the copy's command line is there for
    // every user of the machine to read, and a LOGIN carries a password.
    if (handedOver && !hasScript) {
        child.argv.push_back(tempPath);
        child.replaced = true;
    }
    if (child.replaced) {
        child.argv.push_back("--removefile");
        child.argv.push_back("--originalfile=" + scriptName);
    }
    return child;
}

// "Background launch: User: <user>[ File: <script>]".
std::string buildLaunchRecord(const std::string& userName, const std::string& scriptArgument) {
    std::string record = "Background launch: User: " + userName;
    if (!scriptArgument.empty()) {
        record += " File: " + scriptArgument;
    }
    return record;
}

// The temporary copy holds plain script text with its LOGIN lines: every road that does not
// hand it to a started copy deletes it.
bool makeTemporaryCopy(const std::string& text, const std::string& tail, std::string& tempPath) {
    HoldInterrupts();
    tempPath = GetTempScriptFile();
    RemoveOnInterrupt(tempPath);
    if (writeTemporaryCopy(tempPath, text, tail)) {
        return true;
    }
    const int error = LastSystemError();
    LogMessage("%s: Open tmp file failed ! (%s) %d", g_scriptName.c_str(), tempPath.c_str(), error);
    if (!tempPath.empty()) {
        RemoveFile(tempPath);
    }
    KeepOnInterrupt();
    return false;
}

}  // namespace

int LaunchBackground(const RunOptions& options, const RunPlan& plan, const std::string& openPath,
                     const std::vector<std::string>& arguments) {
    std::string tempPath;
    // Values from outside go with the text, never on the copy's command line.
    // The copy works in the temporary folder: it is told the script's path in full.
    const std::string origin = openPath.empty() || IsAbsolutePath(openPath)
                                   ? openPath
                                   : CurrentFolder() + kPathSeparator + openPath;
    const CopyTail tail{options.outsideValues,
                        true,
                        origin,
                        plan.commandLines,
                        openPath.empty() ? ScriptOrigins() : TraceScriptOrigins(openPath, ""),
                        plan.userArguments};
    if (!options.commandText.empty() &&
        !makeTemporaryCopy(options.commandText, EncodeCopyTail(tail), tempPath)) {
        return 1;
    }
    // The copy starts in the script's folder: a report goes where the caller named it.
    std::vector<std::string> passedOn = arguments;
    for (std::string& argument : passedOn) {
        if (argument == kEndOfOptions) {
            break;
        }
        if (CopyGets(argument) == ToCopy::PathInFull) {
            argument = OptionName(argument) + "=" + InCallerFolder(options, OptionValue(argument));
        }
    }
    const ChildLaunch child =
        buildChildLaunch(passedOn, options.scriptFile, tempPath, g_scriptName);
    if (!child.replaced) {
        LogMessage("%s: Internal Error: can not replace file with temp file", g_scriptName.c_str());
    }
    LogText(buildLaunchRecord(userName(), options.scriptFile));
    const std::string what = options.scriptFile.empty() ? "a command list" : options.scriptFile;
    SystemLog(SystemLogLevel::Notice, "background run of " + what + " by " + AccountName());
    HoldInterrupts();
    const bool started = !InterruptArrived() && StartDetachedCopy(child.argv);
    if (!started) {
        LogMessage("%s: Execute failed (%s)", g_scriptName.c_str(),
                   ShownCommandLine(child.argv).c_str());
        SystemLog(SystemLogLevel::Error,
                  "background run of " + what + " by " + AccountName() + " could not be started");
        if (!tempPath.empty()) {
            RemoveFile(tempPath);
        }
    }
    KeepOnInterrupt();
    return started ? 0 : 1;
}
