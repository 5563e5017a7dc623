#pragma once
// The directives (lines that begin with "*"): one table of what each is and needs, read by the
// preprocessor, the analyser and the executor, and the splitting of a directive line.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/answer_pattern.h"

enum class DirectiveKind {
    Unknown,
    Include,
    LoadFile,
    Host,
    Port,
    MultiHost,
    WaitFor,
    Event,
    RendezVous,
    SaveNext,
    Set,
    Wait,
    Expect,
    Until,
    Group,
    AnswerTimeout,
    GreetingTimeout,
    ConnectTimeout,
    Attempts,
};

// When a directive acts.
enum class DirectiveStage {
    Unknown,   // never: the executor reports it as not supported
    Expanded,  // by the preprocessor, which puts files in its place
    Target,    // by the analyser: it chooses the target and ends a segment
    Naming,    // by the analyser: it names the targets started after it, and ends nothing
    Run,       // by the worker, once the answers due before it are good
};

struct DirectiveEntry {
    DirectiveKind kind;
    const char* name;  // as written after "*", lower case
    DirectiveStage stage;
    // How its value is written, for messages and plans.
    const char* valueSyntax;
    // How the analyser's syntax error names it when the value is empty; null when an empty
    // value is not the analyser's to refuse.
    const char* syntaxName;
    // Whether it names an object that workers share (an event, a point, a buffer).
    bool namesSharedObject;
};

// The entry of a keyword as splitDirective gives it; the Unknown entry for any other.
const DirectiveEntry& FindDirective(std::string_view keyword);
// The name of every directive of the table.
std::vector<std::string> DirectiveNames();

struct Directive {
    // Text between the "*" and the first "=" (all of it without "="), ASCII lower-cased and
    // never trimmed.
    std::string keyword;
    // Text after the first "=", blanks and tabs removed at both ends; empty without "=".
    std::string argument;
    const DirectiveEntry* entry = nullptr;
};

// The same, with the argument left in the line: a "set" line may hold a whole loaded file.
struct DirectiveView {
    std::string keyword;
    std::string_view argument;
    const DirectiveEntry* entry = nullptr;
};

bool IsDirectiveLine(std::string_view line);
// `line` must begin with "*".
Directive SplitDirective(std::string_view line);
DirectiveView SplitDirectiveView(std::string_view line);
// The table's entry for the line's keyword, without copying the argument.
const DirectiveEntry& DirectiveOf(std::string_view line);

// A directive of a host script's body as the analyser read it: the worker and the dry run's
// plan use it and never read its line again.
struct BodyDirective {
    int line = 0;  // in the host script, from 1
    const DirectiveEntry* entry = nullptr;
    std::string value;      // the argument; of a "set", the buffer's name
    bool readable = true;   // false for a *wait or *until value that does not read
    long long pauseMs = 0;  // *wait
    UntilValue until;       // *until
    // *expect's or *until's pattern, compiled once for every target that runs the line; null
    // for another directive. `patternProblem` says why it does not compile.
    std::shared_ptr<const AnswerPattern> pattern;
    std::string patternProblem;
};

// `problem` says why an *until value does not read.
BodyDirective ReadBodyDirective(const DirectiveView& view, int bodyLine, std::string& problem);
