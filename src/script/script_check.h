#pragma once
// The checks made before anything is sent: what each line of a script does that another line
// must match (an event raised for a wait, a buffer stored for a template), and the problems
// found. Lines are those of the analysed text, from 1.

#include <map>
#include <string>
#include <string_view>
#include <vector>

// LoginTemplate: a buffer that a template fills into a LOGIN line (a password).
enum class FactKind {
    Raise,
    Await,
    Meet,
    SaveNext,
    Set,
    Template,
    LoginTemplate,
    AnswerCheck,
    Group,  // a *group line names it
};

struct LineFact {
    FactKind kind;
    std::string name;  // of the event, point or buffer; empty for a command
    int line;
    int segment;  // the host script (all targets of a multihost segment share one)
};

struct ScriptProblem {
    int line;  // 0 for the run as a whole
    std::string message;
};

struct ScriptCheck {
    bool answersRead = true;  // false with --check-none: no answer is ever read
    // Buffers stored before the run, with where from: "--set" or "--set-file=FILE".
    std::map<std::string, std::string> outsideBuffers;
    std::vector<LineFact> facts;       // of the lines that name an event, a point or a buffer
    std::vector<int> lastCommandLine;  // per segment: the line of its last command, 0 for none
    std::vector<ScriptProblem> problems;
};

// Adds the problems that only the whole run shows: waits nothing can end, templates of
// buffers nothing stores, a point met twice by one host, a *savenext with nothing after it.
void CheckWholeRun(ScriptCheck& check);

// The problem with a directive's keyword as written (between "*" and the first "="), or empty
// when it names a directive that acts in a run. An include or loadfile line that reaches the
// analyser is one the preprocessor left in place: one inside an included file.
std::string UnknownDirectiveProblem(const std::string& written);
// The message for a target without a host or a port.
constexpr const char* kHostOrPortEmpty = "Error : Host or Port empty";
// The problem with a port as written, or empty for a decimal number from 1 to 65535.
std::string PortProblem(const std::string& port);
// The problem with a host as written, or empty for one that may be a name or an address: no
// blank, no line break or other control character.
std::string HostProblem(const std::string& host);
// The buffers a template line ("$...") names between pairs of "$" signs, as the worker fills
// them.
std::vector<std::string> TemplateBuffers(std::string_view line);
