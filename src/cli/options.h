#pragma once
// The command line of the transmitter.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "exec/limits.h"
#include "exec/run_observer.h"

enum class CheckMode { None, Back, Full, InternalCallback };

// A buffer's value from outside the script; `file` (as written) and `path` are empty for --set.
struct OutsideValue {
    std::string name;
    std::string value;
    std::string file;
    std::string path;
};

struct RunOptions {
    std::string host = "localhost";
    std::string port = "3004";
    std::string commandText;
    std::string scriptFile;
    std::string registrationConfig;
    bool install = true;
    bool encipher = false;
    bool removeFile = false;
    bool dryRun = false;                 // check and print the plan; connect to nothing
    bool listTargets = false;            // check and print the targets chosen; send nothing
    ReadBack readBack = ReadBack::None;  // --compare
    bool stepwise = false;               // --stepwise
    std::string reportPath;   // --report: where the JSON report goes ("-": standard output)
    std::string reportNamed;  // --report as given, for messages
    // --answer-timeout, --greeting-timeout, --connect-timeout, --attempts, read; a value out of
    // its bounds leaves the default and its problem, in that order.
    RunLimits limits;
    std::array<std::string, kLimitKinds> limitProblems;
    bool label = false;           // --label: every printed answer begins with its target
    std::string streamPath;       // --stream: where the run's records go ("-": standard output)
    std::string streamNamed;      // --stream as given, for messages
    std::string metricsPath;      // --metrics: the run for a metrics collector
    std::string metricsNamed;     // --metrics as given, for messages
    std::string transcriptDir;    // --transcript: a folder for one transcript per target
    std::string transcriptNamed;  // --transcript as given, for messages
    std::string undoDir;          // --undo: a folder for the old values of what the run changes
    std::string undoNamed;        // --undo as given, for messages
    bool progress = true;         // false: --no-progress
    std::vector<std::string> chosenTargets;  // --limit: the targets to run, as written
    int maxParallel = 0;                     // --max-parallel: targets at work at once; 0 all
    std::string maxParallelWritten;          // as written, for messages
    std::string maxParallelProblem;          // a value out of its bounds
    std::string rerunPath;                   // --rerun: a report of a run of the same show
    std::string rerunNamed;                  // as given, for messages
    std::string callerFolder;                // the folder the program was started in
    CheckMode checkMode = CheckMode::Back;
    std::string originalFile;      // value of --originalfile, the display name of the script
    bool hasOriginalFile = false;  // it may be empty: a command list the launch handed over
    std::string unknownOption;     // the name of a refused option
    // --desktop-notice=TITLE<LF>TEXT: a helper copy that shows a background run's failure at
    // the desktop for as long as it shows, so that the run itself need not wait.
    std::string desktopNotice;
    std::vector<OutsideValue> outsideValues;  // --set, then the --set-file lines once read
    std::vector<std::string> setFiles;        // --set-file, as written
    std::string badSet;                       // a --set without NAME=VALUE, as written
};

enum class ParseEnd {
    Normal,         // every argument read, or parsing stopped by --install/--uninstall
    Help,           // -h / --help: print the help and end
    Version,        // -V / --version: print the version and end
    UnknownOption,  // an argument that begins with "-" names no option: refused
};

// Reads argv[1] onwards into `options`, testing each argument against the options in the
// fixed order; an argument that names no option is the script file, unless it begins with "-".
ParseEnd ParseArguments(const std::vector<std::string>& arguments, RunOptions& options);

// The option an argument names: the text before its first "=" without edge blanks, or the
// whole argument when it has no "=".
std::string OptionName(const std::string& argument);
// The argument after which every one is the script file.
constexpr const char* kEndOfOptions = "--";
// An argument as the log may show it: a LOGIN in a command list without its password, a --set
// without its value ("--set=NAME=...").
std::string MaskedArgument(const std::string& argument);
// So, between double quotes when it holds a blank.
std::string ShownArgument(const std::string& argument);
// A whole command line so, argv[0] first.
std::string ShownCommandLine(const std::vector<std::string>& argv);
// Its value: the text after the first "=" without edge blanks; empty without one.
std::string OptionValue(const std::string& argument);
// A path given on the command line, named from the caller's folder ("-" stays as it is).
std::string InCallerFolder(const RunOptions& options, const std::string& path);

// The option a mistyped name stands for, or empty.
std::string NearestOption(const std::string& name);

// The background copy's script is the temporary copy of a text that the launching copy has
// already read, deciphered, cleaned and expanded: it is run exactly as it stands.
bool IsPreparedCopy(const RunOptions& options);

// The problem with the first limit given out of its bounds, or empty.
std::string LimitProblem(const RunOptions& options);

// What the background copy gets of an option given to the launch.
enum class ToCopy {
    AsGiven,
    Never,             // the copy's own mode, and values from outside, which go with the text
    UnlessHandedOver,  // a command list, unless the copy's text already holds it
    PathInFull,        // a file or folder, named from the caller's folder
};
ToCopy CopyGets(const std::string& argument);

// The help's lines for the options the original help does not describe, in order.
std::vector<std::string> AddedHelpLines();
