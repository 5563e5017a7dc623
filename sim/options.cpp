#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

const char* const kSimUsage =
    "usage: orvane-sim [options]\n"
    "  --listen=ADDR            IPv4 or IPv6 address to listen on (127.0.0.1; ::1 for IPv6)\n"
    "  --port=N                 port (3004); 0 picks a free one. The port is printed first\n"
    "  --greeting=TEXT          first line sent on connect (READY); empty: no greeting\n"
    "  --forcereply-answer=TEXT answer to FORCEREPLY (OK)\n"
    "  --crlf                   end answers with CR LF instead of LF\n"
    "  --greeting-delay=MS      pause before the greeting\n"
    "  --delay=MS               pause before every answer, as a slow processor works\n"
    "  --read-bytes=N           read at most N bytes at a time (a byte at a time: 1)\n"
    "  --read-pause=MS          pause after every read, as a server that reads in bursts\n"
    "  --silent                 read everything, write nothing\n"
    "  --noreply                a noreply port: greet, answer only after FORCEREPLY, and keep\n"
    "                           the connection open after the client has ended its stream\n"
    "  --close-after=N          close once N commands are answered (0: after the greeting)\n"
    "  --mid-line               with --close-after: the last line goes without its line end\n"
    "  --exit-after=N           end the whole server, as a crash would, once a connection has\n"
    "                           answered N commands\n"
    "  --refuse=TEXT            answer \"*ERROR\" to commands containing TEXT (repeatable)\n"
    "  --interleave             send a \"+\" and a \"!\" line before every answer\n"
    "  --sync                   write each answer (blocking) before reading the next command\n"
    "  --buffer=BYTES           socket buffer sizes (--sync alone uses 4096)\n"
    "  --shared-values          values set by NAME=VALUE are server-wide, not per connection\n"
    "  --value=NAME=VALUE       value known before any command (repeatable)\n"
    "  --later=NAME=VALUE,MS    NAME reads VALUE from MS milliseconds after the connection began\n"
    "  --huge-answer=BYTES      pad every good answer to BYTES bytes\n"
    "  --endless-after=N        after N answers, send one line without end and answer no more\n"
    "                           (it stops after 64 MiB and closes)\n"
    "  --noise=HEX              send these bytes (hexadecimal, any value) before every answer\n"
    "  --flood=LINE             after the greeting, send LINE again and again; answer nothing\n"
    "  --flood-bytes=N          pad every flood line to N bytes\n"
    "  --trickle=MS             write every byte on its own, MS after the one before\n"
    "  --no-read=MS             after the greeting, read nothing for MS, or until the\n"
    "                           client is gone or has come back on a new connection\n"
    "  --events=MS              send a \"!\" line every MS, answer nothing, and keep the\n"
    "                           connection open after the client has ended its stream\n"
    "  --faults-on=N            the five options above apply to the first N connections only\n"
    "  --record=DIR             received bytes of connection N go to DIR/conn-N.bin; a line\n"
    "                           \"closed N\" is printed when connection N has ended\n";

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

bool applyFlag(const std::string& name, SimOptions& options) {
    if (name == "--crlf") {
        options.crlf = true;
    } else if (name == "--silent") {
        options.silent = true;
    } else if (name == "--noreply") {
        options.noReply = true;
    } else if (name == "--mid-line") {
        options.closeMidLine = true;
    } else if (name == "--interleave") {
        options.interleave = true;
    } else if (name == "--sync") {
        options.synchronous = true;
    } else if (name == "--shared-values") {
        options.sharedValues = true;

    } else {
        return false;
    }
    return true;
}

// Options of the form --name=value; false for an unknown name or a bad value.
bool applyValue(const std::string& name, const std::string& value, SimOptions& options) {
    if (name == "--listen") {
        options.listenAddress = value;
        return !value.empty();
    }
    if (name == "--port") {
        return readInt(value, options.port) && options.port <= 65535;
    }
    if (name == "--greeting") {
        options.greeting = value;
        return true;
    }
    if (name == "--forcereply-answer") {
        options.forceReplyAnswer = value;
        return true;
    }
    if (name == "--greeting-delay") {
        return readInt(value, options.greetingDelayMs);
    }
    if (name == "--delay") {
        return readInt(value, options.answerDelayMs);
    }
    if (name == "--read-bytes") {
        return readInt(value, options.readBytes) && options.readBytes > 0;
    }
    if (name == "--read-pause") {
        return readInt(value, options.readPauseMs);
    }
    if (name == "--close-after") {
        return readNumber(value, options.closeAfter);
    }
    if (name == "--exit-after") {
        return readNumber(value, options.exitAfter);
    }
    if (name == "--refuse") {
        options.refused.push_back(value);
        return !value.empty();
    }
    if (name == "--buffer") {
        return readInt(value, options.socketBufferBytes);
    }
    if (name == "--huge-answer") {
        return readNumber(value, options.hugeAnswerBytes);
    }
    if (name == "--endless-after") {
        return readNumber(value, options.endlessAfter);
    }
    if (name == "--noise") {
        return readHex(value, options.noise);
    }
    if (name == "--flood") {
        options.floodLine = value;
        return !value.empty();
    }
    if (name == "--flood-bytes") {
        return readNumber(value, options.floodBytes);
    }
    if (name == "--trickle") {
        return readInt(value, options.trickleMs);
    }
    if (name == "--no-read") {
        return readInt(value, options.noReadMs) && options.noReadMs > 0;
    }
    if (name == "--events") {
        return readInt(value, options.eventEveryMs) && options.eventEveryMs > 0;
    }
    if (name == "--faults-on") {
        return readNumber(value, options.faultsOn);
    }
    if (name == "--record") {
        options.recordFolder = value;
        return !value.empty();
    }
    if (name == "--later") {
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
    if (name == "--value") {
        const auto equals = value.find('=');
        if (equals == std::string::npos || equals == 0) {
            return false;
        }
        options.presetValues[value.substr(0, equals)] = value.substr(equals + 1);
        return true;
    }
    return false;
}

}  // namespace

bool parseSimOptions(const std::vector<std::string>& arguments, SimOptions& options, bool& help,
                     std::string& error) {
    help = false;
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            help = true;
            return true;
        }
        const auto equals = argument.find('=');
        const bool known =
            equals == std::string::npos
                ? applyFlag(argument, options)
                : applyValue(argument.substr(0, equals), argument.substr(equals + 1), options);
        if (!known) {
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
