#pragma once
// The command line of the transmitter.

#include <string>
#include <vector>

enum class CheckMode { None, Back, Full, InternalCallback };

struct RunOptions {
    std::string host = "localhost";
    std::string port = "3004";
    std::string commandText;
    std::string scriptFile;
    std::string registrationConfig;
    bool install = true;
    bool encipher = false;
    bool removeFile = false;
    CheckMode checkMode = CheckMode::Back;
    std::string originalFile;  // value of --originalfile, the display name of the script
};

enum class ParseEnd {
    Normal,   // every argument read, or parsing stopped by --install/--uninstall
    Help,     // -h / --help: print the help and end
    Version,  // -V / --version: print the version and end
};

// Reads argv[1] onwards into `options`, testing each argument against the options in the
// fixed order; an argument that names no option is the script file.
ParseEnd parseArguments(const std::vector<std::string>& arguments, RunOptions& options);

// The option an argument names: the text before its first "=" without edge blanks, or the
// whole argument when it has no "=".
std::string OptionName(const std::string& argument);
