#pragma once
// Splitting of directive lines (lines that begin with "*"), shared by the preprocessor, the
// analyser and the executor.

#include <string>
#include <string_view>

struct Directive {
    // Text between the "*" and the first "=" (all of it without "="), ASCII lower-cased and
    // never trimmed.
    std::string keyword;
    // Text after the first "=", blanks and tabs removed at both ends; empty without "=".
    std::string argument;
};

// The same, with the argument left in the line: a "set" line may hold a whole loaded file.
struct DirectiveView {
    std::string keyword;
    std::string_view argument;
};

bool isDirectiveLine(std::string_view line);
// `line` must begin with "*".
Directive splitDirective(std::string_view line);
DirectiveView splitDirectiveView(std::string_view line);
// The keyword alone, without copying the argument.
std::string directiveKeyword(std::string_view line);
