#include "frontend/run.h"

#include <chrono>
#include <cstdint>
#include <limits>

#include "cli/help.h"
#include "cli/options.h"
#include "common/globals.h"
#include "common/script_encoding.h"
#include "common/strings.h"
#include "exec/worker.h"
#include "files/folders.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "files/script_file.h"
#include "frontend/run_watch.h"
#include "net/socket.h"
#include "plan/outside_values.h"
#include "plan/preflight.h"
#include "plan/rerun.h"
#include "plan/target_choice.h"
#include "process/background.h"
#include "process/interrupts.h"
#include "process/spawn.h"
#include "process/system.h"
#include "register/registration.h"
#include "script/analyser.h"
#include "script/preprocessor.h"
#include "script/script_check.h"
#include "telling/outcome.h"
#include "telling/undo_file.h"

namespace {

// Makes the script's folder the current one, since relative includes and loaded files are taken
// from there, and returns the path to open the script by: a relative one is made absolute
// first, so that its folder part is not applied twice.
std::string enterScriptFolder(const std::string& scriptFile) {
    if (scriptFile.empty()) {
        return scriptFile;
    }
    const std::string slashed = ReplaceAll(scriptFile, "\\", "/");
    const auto lastSeparator = slashed.rfind('/');
    if (lastSeparator == std::string::npos) {
        return scriptFile;
    }
    std::string openPath = scriptFile;
    if (!IsAbsolutePath(scriptFile)) {
        const std::string here = CurrentFolder();
        if (!here.empty()) {
            openPath = here + kPathSeparator + scriptFile;
        }
    }
    ChangeFolder(slashed.substr(0, lastSeparator + 1));
    return openPath;
}

// The temporary copy a launch made for this background copy: whole, with its tail, in the
// temporary folder, this user's. Anything else named with --removefile (a user's own script
// pasted into a background copy's command line) is neither run nor deleted.
bool readPreparedCopy(const std::string& path, RunOptions& options, RunPlan& plan) {
    std::string text;
    CopyTail tail;
    if (!IsPreparedCopy(options) || !IsOwnTemporaryFile(path) ||
        ReadRawFile(path, text, std::numeric_limits<std::uint64_t>::max()) != RawRead::Done ||
        !DecodeCopyTail(text, tail)) {
        LogMessage(
            "--removefile: %s is not a copy this program made for its background run: nothing "
            "is run or deleted",
            path.c_str());
        return false;
    }
    RemoveFile(path);
    options.outsideValues.insert(options.outsideValues.end(), tail.values.begin(),
                                 tail.values.end());
    plan.originKnown = tail.originKnown;
    plan.originPath = tail.originPath;
    plan.commandLines = tail.commandLines;
    if (tail.origins.lines.size() > 0) {
        RecordScriptOrigins(tail.originPath, std::move(tail.origins));
    }
    if (!tail.arguments.empty()) {
        plan.userArguments = tail.arguments;
    }
    std::string& commandText = options.commandText;
    // A prepared copy is the whole text of the run, of any size: taken over, not copied.
    if (commandText.empty()) {
        commandText.swap(text);
    } else {
        commandText += text;
    }
    return true;
}

// What the workers run with, from the command line.
RunSettings runSettings(const RunOptions& options, RunObserver& observer) {
    RunSettings settings;
    settings.checkAnswers = g_checkAnswers;
    // A report keeps the answers to queries.
    settings.keepAnswers = !options.reportPath.empty();
    settings.readBack = options.readBack;
    settings.stepwise = options.stepwise;
    settings.limits = options.limits;
    settings.scriptName = g_scriptName;
    settings.observer = &observer;
    return settings;
}

int runForeground(RunOptions& options, const RunPlan& plan, const std::string& openPath,
                  ScriptList& scripts) {
    g_checkAnswers = options.checkMode != CheckMode::None;
    if (options.commandText.empty()) {
        PrintHelp(g_programPath);
        return 0;
    }
    RunWatch watch(options, plan, openPath);
    if (!watch.begin(scripts)) {
        return 1;
    }
    RunSettings settings = runSettings(options, watch.observer());
    UndoFile undo;
    if (!options.undoDir.empty()) {
        if (!undo.open(options, plan, std::chrono::system_clock::to_time_t(RunStartedAt()))) {
            return 1;
        }
        settings.undo = &undo;
    }
    const auto undoLines = [&options, &undo] {
        return options.undoDir.empty() ? std::vector<std::string>() : undo.summaryLines();
    };
    WatchForStop(
        [&options, &plan, &openPath, &scripts, &watch, &undoLines](int stopStatus) {
            watch.hideProgress();
            watch.outcomes().stop();
            TellOutcome(options, plan, openPath, scripts, watch.outcomes(), stopStatus,
                        undoLines());
            std::fflush(stdout);
            watch.end(stopStatus, scripts);
        },
        PrepareOutcomeLines);
    watch.runStarts();
    int status = 0;
    if (options.maxParallel > 0) {
        status = RunAtMost(scripts, plan.linkedTargets,
                           static_cast<std::size_t>(options.maxParallel), settings);
    } else if (scripts.size() == 1) {
        status = RunHostWorkerHere(*scripts.front(), settings);
    } else {
        for (auto& script : scripts) {
            StartHostWorker(*script, settings);
        }
        status = WaitForWorkers();
    }
    EndStopWatch();
    status = status < 0 ? 256 + status : status;
    const bool watched = watch.end(status, scripts);
    status = WorseStatus(status, watched ? 0 : 1);
    const bool told =
        TellOutcome(options, plan, openPath, scripts, watch.outcomes(), status, undoLines());
    return WorseStatus(status, told ? 0 : 1);
}

// The show's digest, for a report or a rerun, then the targets the run takes and the sets of
// linked targets they start in; false after saying why not.
bool chooseTargets(const RunOptions& options, RunPlan& plan, const std::string& openPath,
                   ScriptList& scripts, const ScriptCheck& check) {
    // Only a report keeps the digest, and only a rerun compares it.
    if (!options.reportPath.empty() || !options.rerunPath.empty()) {
        plan.showDigest = ShowDigest(scripts, options);
    }
    return ReadRerunReport(options, scripts, plan) &&
           KeepChosenTargets(options, plan, openPath, scripts, check) &&
           LinkTargets(options, plan, openPath, scripts, check);
}

// The shell starts the program by the path registered here: it must be the full path of the
// executable, not argv[0] as typed (a bare name, or relative to the current folder).
int registerShell(const RunOptions& options) {
    const std::string program = RunningExecutable();
    return registerFileTypes(options.registrationConfig, program.empty() ? g_programPath : program,
                             options.install)
               ? 0
               : 1;
}

// A target or a limit the command line gets wrong, said; nothing is read or sent then.
bool refusesTargetOrLimit(const RunOptions& options) {
    const std::string badHost = HostProblem(options.host);
    const std::string badPort = PortProblem(options.port);
    if (!badHost.empty() || !badPort.empty()) {
        // Empty: the one message the run has for it, as the connection would say it.
        if (options.host.empty() || options.port.empty()) {
            LogMessage("%s", kHostOrPortEmpty);
        } else if (!badHost.empty()) {
            LogMessage("--host: %s", badHost.c_str());
        } else {
            LogMessage("--port=%s: %s", options.port.c_str(), badPort.c_str());
        }
        return true;
    }
    const std::string badLimit = LimitProblem(options);
    if (!badLimit.empty()) {
        LogMessage("%s", badLimit.c_str());
        return true;
    }
    return false;
}

// The user's arguments as the line that sends again repeats them: paths in full, since it may
// be pasted anywhere, and no value from outside or password.
std::vector<std::string> usersCommand(const RunOptions& options,
                                      const std::vector<std::string>& arguments) {
    std::vector<std::string> command;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        const std::string name = OptionName(argument);
        if (argument == options.scriptFile) {
            argument = InCallerFolder(options, argument);
        } else if (CopyGets(argument) == ToCopy::PathInFull || name == "--set-file") {
            argument = name + "=" + InCallerFolder(options, OptionValue(argument));
        }
        command.push_back(MaskedArgument(argument));
    }
    return command;
}

// A compare reads every answer, and is looked at as it goes: it runs in the foreground, also in
// the default mode. False after saying why it cannot run.
bool settleReadBack(RunOptions& options) {
    if (options.stepwise && options.checkMode == CheckMode::None) {
        LogMessage("--stepwise waits for each answer, and --check-none reads none");
        return false;
    }
    if (!options.undoDir.empty() && options.readBack == ReadBack::Compare) {
        LogMessage(
            "--undo keeps the old values of what the run changes, and --compare changes "
            "nothing: give --undo to --repair or to the send");
        return false;
    }
    if (!options.undoDir.empty() && options.checkMode == CheckMode::None) {
        LogMessage(
            "--undo reads the old values before changing them, and --check-none reads no "
            "answer");
        return false;
    }
    if (options.readBack == ReadBack::None) {
        return true;
    }
    if (options.checkMode == CheckMode::None) {
        LogMessage(
            "--compare reads every setting back: it needs the answers, and --check-none "
            "reads none");
        return false;
    }
    if (options.checkMode == CheckMode::Back) {
        options.checkMode = CheckMode::Full;
    }
    return true;
}

// Files named relative to the caller's folder stay there, also for a background copy; what the
// output options make of the answers.
void settleOutputs(RunOptions& options, RunPlan& plan, const std::vector<std::string>& arguments) {
    options.callerFolder = CurrentFolder();
    options.reportPath = InCallerFolder(options, options.reportPath);
    options.streamPath = InCallerFolder(options, options.streamPath);
    options.transcriptDir = InCallerFolder(options, options.transcriptDir);
    options.metricsPath = InCallerFolder(options, options.metricsPath);
    options.undoDir = InCallerFolder(options, options.undoDir);
    options.rerunPath = InCallerFolder(options, options.rerunPath);
    plan.userArguments = usersCommand(options, arguments);
}

// The script file's text behind the command list, included files and loaded files in place, or
// a prepared copy's text; false after saying why not.
bool readScript(RunOptions& options, RunPlan& plan, const std::string& openPath,
                ScriptAnalysis& analysis) {
    // A command list in front of a script ends with a line break: the script's first line
    // stays a line of its own, and the list goes to the default target.
    if (!options.commandText.empty() && options.commandText.back() != '\n') {
        options.commandText += '\n';
        plan.commandLines = 1;
    }
    if (options.removeFile) {
        const bool read = readPreparedCopy(openPath, options, plan);
        NoteScriptText(options.commandText);
        return read;
    }
    const bool preprocessed = preprocessScript(openPath, &options.commandText, &analysis);
    NoteScriptText(options.commandText);
    if (!preprocessed) {
        LogMessage("%s: Failed to Preprocess file %s", g_scriptName.c_str(),
                   options.scriptFile.c_str());
    }
    return preprocessed;
}

// The whole run is checked before anything is sent, also by a launch that leaves the sending
// to its background copy.
bool analyseRun(RunOptions& options, RunPlan& plan, const std::string& openPath,
                ScriptAnalysis& analysis, ScriptList& scripts, ScriptCheck& check) {
    for (const OutsideValue& value : options.outsideValues) {
        check.outsideBuffers[value.name] =
            value.file.empty() ? "--set" : "--set-file=" + value.file;
    }
    const bool analysed = (options.commandText.empty() ||
                           AnalyseForRun(options, plan, openPath, analysis, scripts, check)) &&
                          SecretFilesAreOwn(options, check) &&
                          chooseTargets(options, plan, openPath, scripts, check);
    ApplyOutsideValues(options);
    return analysed;
}

// The service manager ends a background copy with the service as soon as the launch returns:
// the show is sent here instead, and the status is the run's. Settled before the outputs are
// judged, since standard output is there to write to.
void settleServiceMode(RunOptions& options, RunPlan& plan) {
    if (options.checkMode == CheckMode::Back && StartedAsService()) {
        LogMessage(
            "%s: started as a service: the run goes on in the foreground, as with "
            "--check-full",
            g_scriptName.c_str());
        options.checkMode = CheckMode::Full;
        plan.ranAsService = true;
    }
}

// Sends the show here or from a background copy.
int send(RunOptions& options, const RunPlan& plan, const std::string& openPath,
         const std::vector<std::string>& arguments, ScriptList& scripts) {
    if (options.checkMode == CheckMode::Back) {
        return LaunchBackground(options, plan, openPath, arguments);
    }
    return runForeground(options, plan, openPath, scripts);
}

// Everything after parsing, in the order of the run modes.
int runMode(RunOptions& options, const std::vector<std::string>& arguments) {
    if (!options.registrationConfig.empty()) {
        return registerShell(options);
    }
    if (!options.desktopNotice.empty()) {
        const auto lineEnd = options.desktopNotice.find('\n');
        ShowDesktopNotice(options.desktopNotice.substr(0, lineEnd),
                          lineEnd == std::string::npos ? std::string()
                                                       : options.desktopNotice.substr(lineEnd + 1));
        return 0;
    }
    if (!options.hasOriginalFile) {
        g_scriptName = options.scriptFile;
    }
    if (refusesTargetOrLimit(options) || !settleReadBack(options) || !ReadSetFiles(options)) {
        return 1;
    }
    RunPlan plan;
    settleOutputs(options, plan, arguments);
    const std::string openPath = enterScriptFolder(options.scriptFile);
    if (options.encipher) {
        // 0 when the enciphered file was written and 1 when not, as for every other run.
        return encipherScriptFile(openPath) ? 0 : 1;
    }
    ScriptList scripts;
    ScriptCheck check;
    // The text is only lent: the buffers that share "set" values with it are cleared before it
    // goes. A script's lines are analysed as they are prepared.
    ScriptAnalysis analysis(
        std::shared_ptr<const std::string>(std::shared_ptr<void>(), &options.commandText),
        options.host, options.port, scripts, &check);
    if (!options.scriptFile.empty() && !readScript(options, plan, openPath, analysis)) {
        return 1;
    }
    const bool analysed = analyseRun(options, plan, openPath, analysis, scripts, check);
    if (options.listTargets && analysed) {
        PrintTargets(options, scripts);
        return 0;
    }
    if (options.dryRun) {
        PrintPlan(options, plan, openPath, scripts, check);
        return analysed ? 0 : 1;
    }
    if (!analysed) {
        return 1;
    }
    settleServiceMode(options, plan);
    if (!OutputsCanBeWritten(options, openPath)) {
        return 1;
    }
    return send(options, plan, openPath, arguments, scripts);
}

// Nothing is run: a mistyped option would otherwise change what the run does unseen.
void refuseOption(const std::string& name) {
    const std::string nearest = NearestOption(name);
    const std::string hint = nearest.empty() ? std::string() : "; did you mean " + nearest + "?";
    LogMessage("unknown option %s%s", name.c_str(), hint.c_str());
    const std::string usage = UsageText(g_programPath);
    std::fwrite(usage.data(), 1, usage.size(), stderr);
}

void cleanUp() {
    ClearSharedTables();
    CloseLog();
    StopSocketLibrary();
}

}  // namespace

int RunTransmitter(const std::vector<std::string>& arguments, const std::string& rawCommandLine) {
    if (!Contains(rawCommandLine, "--check-internal-callback")) {
        AttachParentConsole();
    }
    KeepStandardStreamsOpen();
    RunOptions options;
    g_programPath = arguments.empty() ? std::string() : arguments[0];
    OpenLog(GetAppDataFolder());
    // 1, as every failure: a negative status passes a batch file's "if errorlevel 1".
    if (!StartSocketLibrary()) {
        LogMessage("Error starting winsock2 socket");
        return 1;
    }
    const ParseEnd end = ParseArguments(arguments, options);
    if (end == ParseEnd::UnknownOption) {
        refuseOption(options.unknownOption);
        cleanUp();
        return 1;
    }
    if (end != ParseEnd::Normal) {
        if (end == ParseEnd::Help) {
            PrintHelp(g_programPath);
        } else {
            PrintVersion();
        }
        cleanUp();
        return 0;
    }
    g_scriptName = options.originalFile;
    const int status = runMode(options, arguments);
    cleanUp();
    // Every failure is a positive status on every platform: a batch file's "if errorlevel 1"
    // takes a negative one for success.
    return status < 0 ? 256 + status : status;
}
