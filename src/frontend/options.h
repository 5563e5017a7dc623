#pragma once
// The command line of the transmitter.

#include <cstddef>
#include <string>
#include <vector>

#include "exec/limits.h"

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
    bool dryRun = false;      // check and print the plan; connect to nothing
    std::string reportPath;   // --report: where the JSON report goes ("-": standard output)
    std::string reportNamed;  // --report as given, for messages
    // --answer-timeout, --greeting-timeout, --connect-timeout, --attempts as written; empty
    // keeps the default.
    std::string answerTimeout;
    std::string greetingTimeout;
    std::string connectTimeout;
    std::string attempts;
    RunLimits limits;  // the four above, read
    CheckMode checkMode = CheckMode::Back;
    std::string originalFile;      // value of --originalfile, the display name of the script
    std::size_t commandLines = 0;  // lines of a command list in front of the script's
    // In a background copy: the script its text was prepared from, as the launch opened it
    // (empty for a command list alone), when the launch said so.
    bool originKnown = false;
    std::string originPath;
    bool hasOriginalFile = false;  // it may be empty: a command list the launch handed over
    std::string unknownOption;     // the name of a refused option
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
ParseEnd parseArguments(const std::vector<std::string>& arguments, RunOptions& options);

// The option an argument names: the text before its first "=" without edge blanks, or the
// whole argument when it has no "=".
std::string OptionName(const std::string& argument);

// The option a mistyped name stands for, or empty.
std::string NearestOption(const std::string& name);

// Sets the limits the options name; the problem with the first value out of its bounds, or
// empty.
std::string ApplyLimits(const RunOptions& options, RunLimits& limits);
