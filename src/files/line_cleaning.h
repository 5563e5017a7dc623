#pragma once
// Line cleaning of script files: what the preprocessor and the analyser work on.

#include <string>
#include <vector>

// Splits at every LF and keeps each line without a UTF-8 byte-order mark (line 1 only),
// without comment lines (first byte "#"), without "##" tails, without leading blanks and
// tabs and without trailing blanks, tabs, CR and LF; lines left empty are dropped and every
// kept line ends with one LF.
std::string CleanScriptLines(const std::string& text);
// The same, in the text's own memory: cleaning only ever removes bytes. `keptNumbers`, when
// given, receives the number (from 1) of each line kept.
std::string CleanScriptLines(std::string&& text, std::vector<int>* keptNumbers = nullptr);
