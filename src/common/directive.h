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

bool isDirectiveLine(std::string_view line);
// `line` must begin with "*".
Directive splitDirective(const std::string& line);
// The keyword alone, without copying the argument.
std::string directiveKeyword(const std::string& line);
