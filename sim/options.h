#pragma once
// Command line of orvane-sim, the Orvane server simulator used by the tests, the demo and the
// benchmarks.

#include <map>
#include <string>
#include <vector>

struct SimOptions {
    std::string listenAddress = "127.0.0.1";
    int port = 3004;  // 0: the system picks one; the port is printed either way
    std::string greeting = "READY";
    std::string forceReplyAnswer = "OK";
    bool crlf = false;        // line ends of the answers
    int greetingDelayMs = 0;  // before the greeting
    int answerDelayMs = 0;    // before every answer
    int readBytes = 65536;    // the most one read takes
    int readPauseMs = 0;      // after every read
    bool silent = false;      // never writes a byte
    // A station's command port opened with noreply="true": it greets, answers a connection's
    // commands only once that connection sent FORCEREPLY, and keeps its side open after the
    // client ended its stream.
    bool noReply = false;
    long closeAfter = -1;                // close once this many commands are answered; -1 never
    bool closeMidLine = false;           // the last line before closing goes without its line end
    long exitAfter = -1;                 // the server ends once a connection has answered this many
    std::vector<std::string> refused;    // a command that contains one of these gets "*ERROR"
    std::vector<std::string> writeOnly;  // names whose query gets "*ERROR"
    std::vector<std::string> kept;       // names whose setting is answered OK and not stored
    bool echoPassword = false;           // a refused LOGIN's answer repeats its password
    bool interleave = false;             // "+" and "!" lines before every answer
    bool synchronous = false;            // each answer written, blocking, before reading on
    int socketBufferBytes = 0;           // SO_SNDBUF/SO_RCVBUF; 0 keeps the system's
    bool sharedValues = false;           // values server-wide instead of per connection
    std::map<std::string, std::string> presetValues;
    // A value that a connection's queries read only from some time after it began, as a
    // processor's state reads once a preset has loaded: name, value, milliseconds.
    struct LaterValue {
        std::string name;
        std::string value;
        long afterMs = 0;
    };
    std::vector<LaterValue> laterValues;
    long hugeAnswerBytes = 0;  // every good answer padded to this many bytes
    long endlessAfter = -1;    // after this many answers, one endless line without LF; -1 never
    std::string noise;         // bytes sent before every answer to a command
    std::string recordFolder;  // received bytes of connection N go to <folder>/conn-N.bin
    // Hostile servers, on the first `faultsOn` connections only (0: all of them).
    std::string floodLine;  // after the greeting, this line again and again, and no answer
    long floodBytes = 0;    // each flood line padded to this many bytes
    int trickleMs = 0;      // every byte written on its own, this long after the one before
    int noReadMs = 0;       // after the greeting, nothing is read for this long
    int eventEveryMs = 0;   // a "!" line this often, no answer, no close when the client ends
    long faultsOn = 0;
};

// False with `error` set for an unknown option or a bad number; `help` for --help.
bool ParseSimOptions(const std::vector<std::string>& arguments, SimOptions& options, bool& help,
                     std::string& error);

// The help: every option with its value and what it does.
std::string SimUsage();
