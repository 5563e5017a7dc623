#pragma once
// The directives (lines that begin with "*"): one table of what each is and needs, read by the
// preprocessor, the analyser and the executor, and the splitting of a directive line.

#include <string>
#include <string_view>
#include <vector>

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
};

// When a directive acts.
enum class DirectiveStage {
    Unknown,   // never: the executor reports it as not supported
    Expanded,  // by the preprocessor, which puts files in its place
    Target,    // by the analyser: it chooses the target and ends a segment
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
const DirectiveEntry& findDirective(std::string_view keyword);
// The name of every directive of the table.
std::vector<std::string> directiveNames();

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

bool isDirectiveLine(std::string_view line);
// `line` must begin with "*".
Directive splitDirective(std::string_view line);
DirectiveView splitDirectiveView(std::string_view line);
// The table's entry for the line's keyword, without copying the argument.
const DirectiveEntry& directiveOf(std::string_view line);
