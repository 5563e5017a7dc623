#include "cli/help.h"

#include <cstdio>
#include <string_view>

#include "cli/options.h"
#include "common/strings.h"

namespace {

// From the build's one version (CMake's project version), which the Windows resources show too.
constexpr int kVersionMajor = TRANSMITTER_VERSION_MAJOR;
constexpr int kVersionMinor = TRANSMITTER_VERSION_MINOR;
constexpr int kVersionPatch = TRANSMITTER_VERSION_PATCH;

const char* const kSeparator =
    "------------------------------------------------------------------------------------";

// The line after the list of options.
constexpr std::string_view kOptionsEnd = "    IMPORTANT:";

// One entry per line; "%s" stands for the program's short name. Trailing blanks are part of
// the text.
const char* const kHelpLines[] = {
    kSeparator,
    " INTRODUCTION - ORVANE - TESSALY TRANSMITER COMMANDS INFORMATION",
    kSeparator,
    "",
    "    The %s is an executable used for transmit commands to ",
    "    Orvane Products. The %s can be used in commands line or ",
    "    directly execute a script defined in a .qvtrx file",
    "",
    "    For a friendly use .qvtrx files can be customised in 9 different extensions for",
    "    easily recognizing Icon's:",
    "        .qvtrx                      = default extension",
    "        .qvtrx-preset               = Customised for Preset commands",
    "        .qvtrx-inputs               = Customised for Inputs commands",
    "        .qvtrx-Outputs              = Customised for Ouputs commands",
    "        .qvtrx-stereogenerator      = Customised for Stereo Generator commands",
    "        .qvtrx-RDS                  = Customised for RDS commands",
    "        .qvtrx-Process              = Customised for Process commands",
    "        .qvtrx-Group                = Customised for group commands",
    "        .qvtrx-IP                   = Customised for IP commands",
    "",
    "    By default, the %s use the port 3004 to communicate ",
    "    with the Orvane Server",
    "",
    "    IMPORTANT - FOR ORVANE SERVER (On the PC which host the Orvane Board)",
    "        Opened port for Tessaly must be configured with noreply=\"true\" ",
    "        Port configuaration is located in:",
    "            C:\\Program Files\\Orvane\\Server\\Data\\BoardsConfig\\Ports.xml",
    "",
    "    See below an example of Ports.xml file: here the login is set directly in the Ports.xml",
    "    file; by this way it is not necessary to set Login in the Tessaly command list.",
    "        <?xml version=\"1.0\" encoding=\"utf-8\"?>",
    "        <ports>",
    "            <!-- Open port 3001 for Remote on all interfaces -->",
    "            <Remote port=\"3001\" />",
    "            <!-- Open port 3002 for Remote on the loopback address only -->",
    "            <Remote port=\"3002\" ip=\"127.0.0.1\" />",
    "            <!-- Open port 3003 for Tessaly on all interfaces -->",
    "            <Tessaly port=\"3003\" />",
    "            <!-- Open port 3004 for Tessaly on all interfaces noreply mode -->",
    "            <Tessaly port=\"3004\" noreply=\"true\">",
    "                LOGIN ovrel,kordu",
    "            </Tessaly>",
    "        </ports>",
    "",
    "",
    "",
    "",
    kSeparator,
    " COMMAND LINE USE",
    kSeparator,
    "",
    "    %s [-h] [OPTIONS] [--host=host] [--port=port] --cmd=\"commands\"",
    "    %s [-h] [OPTIONS] file ]",
    "        -h show help",
    "        -V show the version",
    "        host is default localhost",
    "        port is default to 3004",
    "        commands is a list of commands separated by ^",
    "        file is the file containing commands to Send (.qvtrx file)",
    "        OPTIONS:",
    "            --check-none : No check is made, just blind send",
    "            --check-full : Check all answers and retry if possible, return a non-zero status "
    "if error",
    "            --check-back (default) : Check all answers and retry if possible, but in a "
    "background process, while returning immediatly",
    "            -c file : Write the enciphered twin of a plain script file (file.qvtrxc)",
    "            --install=config, --uninstall=config : Register or unregister the script",
    "            file types listed in an XML configuration",
    "    IMPORTANT:",
    "        Use either commands or file, not both !",
    "",
    "    SOME SAMPLE OF COMMAND LINE USE:",
    "        %s --cmd=\"LOGIN ovrel,kordu^RDS.PS=MyRadio\"",
    "        %s mycommands.qvtrx",
    "            with mycommands.qvtrx containing for instance:",
    "                LOGIN ovrel,kordu",
    "                RDS.PS=MyRadio",
    "",
    "",
    kSeparator,
    " .qvtrx FILE USE",
    kSeparator,
    "",
    "    .qvtrx files send all commands saved in file when a user open the file",
    "    .qvtrx files contain two parts:",
    "        The Communication (host and port)",
    "            *host=your host (IP, localhost...)",
    "            *port=3004 (or an other one if defined in ",
    "        The commands",
    "            All Tessaly commands (ex: preset.onair=my preset name)",
    "",
    "    NOTE: ",
    "        There is no limitation, you can use a list of 100 commands or more if you ",
    "        wants. For a readable use, place one command per line.",
    "        All the Tessaly commands are described in the Orvane Tessaly user manual.",
    "    NOTE:",
    "       You can access to multiple processors in the same script by changing the",
    "       *host between commands.",
    "    CHECKING WHAT YOU SET:",
    "        *expect=PATTERN : the answer to the next command must match PATTERN",
    "        *until=PATTERN,WITHIN[,EVERY] : send the next query again every EVERY (500ms)",
    "            until its answer matches PATTERN, for at most WITHIN (ex: 10s)",
    "",
};

// The part of `programPath` after its last folder separator, a backslash or a slash.
std::string programShortName(const std::string& programPath) {
    const auto separator = programPath.find_last_of("\\/");
    return separator == std::string::npos ? programPath : programPath.substr(separator + 1);
}

}  // namespace

void PrintHelp(const std::string& programPath) {
    const std::string shortName = programShortName(programPath);
    std::string text;
    for (const char* line : kHelpLines) {
        // The options the original lines do not describe close the list of options.
        if (std::string_view(line) == kOptionsEnd) {
            for (const std::string& added : AddedHelpLines()) {
                text += "            " + added + "\n";
            }
        }
        // The name is inserted as text: a per-cent sign in a program path stays a character.
        text += ReplaceAll(line, "%s", shortName) + "\n";
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

std::string UsageText(const std::string& programPath) {
    const std::string shortName = programShortName(programPath);
    std::string text;
    for (const char* line : kHelpLines) {
        if (StartsWith(line, "    %s [-h]")) {
            text += ReplaceAll(line, "%s", shortName) + "\n";
        }
    }
    return text;
}

std::string VersionText() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionPatch);
}

void PrintVersion() {
    std::printf("%d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionPatch);
    std::fflush(stdout);
}
