#include "options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

bool readNumber(const std::string& text, long& number) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < 0) {
        return false;
    }
    number = value;
    return true;
}

bool readInt(const std::string& text, int& number) {
    long value = 0;
    if (!readNumber(text, value) || value > 2147483647L) {
        return false;
    }
    number = static_cast<int>(value);
    return true;
}

// Two hexadecimal digits per byte, either case.
bool readHex(const std::string& text, std::string& bytes) {
    if (text.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const std::string pair = text.substr(i, 2);
        if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return false;
        }
        bytes += static_cast<char>(std::strtol(pair.c_str(), nullptr, 16));
    }
    return true;
}

using Apply = bool (*)(const std::string& value, SimOptions& options);

// One option: its name, the value it takes (empty for a switch), its help, and how it is read;
// false for a bad value.
struct SimOption {
    const char* name;
    const char* value;
    std::vector<const char*> help;
    Apply apply;
};

template <bool SimOptions::*Flag>
bool setFlag(const std::string&, SimOptions& options) {
    options.*Flag = true;
    return true;
}

template <int SimOptions::*Field, int Lowest = 0>
bool setInt(const std::string& value, SimOptions& options) {
    return readInt(value, options.*Field) && options.*Field >= Lowest;
}

template <long SimOptions::*Field>
bool setLong(const std::string& value, SimOptions& options) {
    return readNumber(value, options.*Field);
}

// Any text; `mayBeEmpty` or not.
template <std::string SimOptions::*Field, bool MayBeEmpty>
bool setText(const std::string& value, SimOptions& options) {
    options.*Field = value;
    return MayBeEmpty || !value.empty();
}

bool setPort(const std::string& value, SimOptions& options) {
    return readInt(value, options.port) && options.port <= 65535;
}

template <std::vector<std::string> SimOptions::*List>
bool addText(const std::string& value, SimOptions& options) {
    (options.*List).push_back(value);
    return !value.empty();
}

bool setNoise(const std::string& value, SimOptions& options) {
    return readHex(value, options.noise);
}

bool addValue(const std::string& value, SimOptions& options) {
    const auto equals = value.find('=');
    if (equals == std::string::npos || equals == 0) {
        return false;
    }
    options.presetValues[value.substr(0, equals)] = value.substr(equals + 1);
    return true;
}

bool addLaterValue(const std::string& value, SimOptions& options) {
    const auto equals = value.find('=');
    const auto comma = value.rfind(',');
    long afterMs = 0;
    if (equals == std::string::npos || equals == 0 || comma == std::string::npos ||
        comma < equals || !readNumber(value.substr(comma + 1), afterMs)) {
        return false;
    }
    options.laterValues.push_back(
        {value.substr(0, equals), value.substr(equals + 1, comma - equals - 1), afterMs});
    return true;
}

const std::vector<SimOption>& simOptions() {
    using O = SimOptions;
    static const std::vector<SimOption> options = {
        {"--listen",
         "ADDR",
         {"IPv4 or IPv6 address to listen on (127.0.0.1; ::1 for IPv6)"},
         setText<&O::listenAddress, false>},
        {"--port", "N", {"port (3004); 0 picks a free one. The port is printed first"}, setPort},
        {"--greeting",
         "TEXT",
         {"first line sent on connect (READY); empty: no greeting"},
         setText<&O::greeting, true>},
        {"--forcereply-answer",
         "TEXT",
         {"answer to FORCEREPLY (OK)"},
         setText<&O::forceReplyAnswer, true>},
        {"--crlf", "", {"end answers with CR LF instead of LF"}, setFlag<&O::crlf>},
        {"--greeting-delay", "MS", {"pause before the greeting"}, setInt<&O::greetingDelayMs>},
        {"--delay",
         "MS",
         {"pause before every answer, as a slow processor works"},
         setInt<&O::answerDelayMs>},
        {"--read-bytes",
         "N",
         {"read at most N bytes at a time (a byte at a time: 1)"},
         setInt<&O::readBytes, 1>},
        {"--read-pause",
         "MS",
         {"pause after every read, as a server that reads in bursts"},
         setInt<&O::readPauseMs>},
        {"--silent", "", {"read everything, write nothing"}, setFlag<&O::silent>},
        {"--noreply",
         "",
         {"a noreply port: greet, answer only after FORCEREPLY, and keep",
          "the connection open after the client has ended its stream"},
         setFlag<&O::noReply>},
        {"--close-after",
         "N",
         {"close once N commands are answered (0: after the greeting)"},
         setLong<&O::closeAfter>},
        {"--mid-line",
         "",
         {"with --close-after: the last line goes without its line end"},
         setFlag<&O::closeMidLine>},
        {"--exit-after",
         "N",
         {"end the whole server, as a crash would, once a connection has", "answered N commands"},
         setLong<&O::exitAfter>},
        {"--refuse",
         "TEXT",
         {"answer \"*ERROR\" to commands containing TEXT (repeatable)"},
         addText<&O::refused>},
        {"--keeps",
         "NAME",
         {"answer OK to NAME=VALUE but keep the value NAME had, as a processor that",
          "does not take the change (repeatable)"},
         addText<&O::kept>},
        {"--write-only",
         "NAME",
         {"answer \"*ERROR\" to the query of NAME, as a processor does for an action",
          "(repeatable)"},
         addText<&O::writeOnly>},
        {"--echo-password",
         "",
         {"refuse LOGIN with \"*ERROR wrong password PASSWORD\", as a careless server does"},
         setFlag<&O::echoPassword>},
        {"--interleave",
         "",
         {"send a \"+\" and a \"!\" line before every answer"},
         setFlag<&O::interleave>},
        {"--sync",
         "",
         {"write each answer (blocking) before reading the next command"},
         setFlag<&O::synchronous>},
        {"--buffer",
         "BYTES",
         {"socket buffer sizes (--sync alone uses 4096)"},
         setInt<&O::socketBufferBytes>},
        {"--shared-values",
         "",
         {"values set by NAME=VALUE are server-wide, not per connection"},
         setFlag<&O::sharedValues>},
        {"--value", "NAME=VALUE", {"value known before any command (repeatable)"}, addValue},
        {"--later",
         "NAME=VALUE,MS",
         {"NAME reads VALUE from MS milliseconds after the connection began",
          "(after the server's start with --shared-values)"},
         addLaterValue},
        {"--huge-answer",
         "BYTES",
         {"pad every good answer to BYTES bytes"},
         setLong<&O::hugeAnswerBytes>},
        {"--endless-after",
         "N",
         {"after N answers, send one line without end and answer no more",
          "(it stops after 64 MiB and closes)"},
         setLong<&O::endlessAfter>},
        {"--noise",
         "HEX",
         {"send these bytes (hexadecimal, any value) before every answer"},
         setNoise},
        {"--flood",
         "LINE",
         {"after the greeting, send LINE again and again; answer nothing"},
         setText<&O::floodLine, false>},
        {"--flood-bytes", "N", {"pad every flood line to N bytes"}, setLong<&O::floodBytes>},
        {"--trickle",
         "MS",
         {"write every byte on its own, MS after the one before"},
         setInt<&O::trickleMs>},
        {"--no-read",
         "MS",
         {"after the greeting, read nothing for MS, or until the",
          "client is gone or has come back on a new connection"},
         setInt<&O::noReadMs, 1>},
        {"--events",
         "MS",
         {"send a \"!\" line every MS, answer nothing, and keep the",
          "connection open after the client has ended its stream"},
         setInt<&O::eventEveryMs, 1>},
        {"--faults-on",
         "N",
         {"the five options above apply to the first N connections only"},
         setLong<&O::faultsOn>},
        {"--record",
         "DIR",
         {"received bytes of connection N go to DIR/conn-N.bin; a line",
          "\"closed N\" is printed when connection N has ended; the most",
          "connections open at once go to DIR/most-at-once"},
         setText<&O::recordFolder, false>},
    };
    return options;
}

// A switch is written alone, an option with a value as --name=value.
bool applyArgument(const std::string& argument, SimOptions& options) {
    const auto equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    for (const SimOption& option : simOptions()) {
        if (name == option.name && (*option.value == '\0') == (equals == std::string::npos)) {
            return option.apply(
                equals == std::string::npos ? std::string() : argument.substr(equals + 1), options);
        }
    }
    return false;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options, bool& help,
                     std::string& error) {
    help = false;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            help = true;
            return true;
        }
        if (!applyArgument(argument, options)) {
            error = "bad option: " + argument;
            return false;
        }
    }
    if (options.synchronous && options.socketBufferBytes == 0) {
        options.socketBufferBytes = 4096;
    }
    // Recordings that cannot be written would make every check of them fail for no reason.
    std::error_code ignored;
    if (!options.recordFolder.empty() &&
        !std::filesystem::is_directory(options.recordFolder, ignored)) {
        error = "--record=" + options.recordFolder + ": no such folder";
        return false;
    }
    return true;
}

std::string SimUsage() {
    std::string usage = "usage: orvane-sim [options]\n";
    constexpr std::size_t kNameColumn = 24;
    for (const SimOption& option : simOptions()) {
        std::string left = option.name;
        if (*option.value != '\0') {
            left += std::string("=") + option.value;
        }
        for (const char* line : option.help) {
            left.resize(std::max(left.size(), kNameColumn), ' ');
            usage += "  " + left + " " + line + "\n";
            left.clear();
        }
    }
    return usage;
}
