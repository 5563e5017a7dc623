#pragma once
// Plain and enciphered (.qvtrxc) script files and the script-file reader.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "files/line_cleaning.h"

// Writes the enciphered twin of a plain .qvtrx file next to it (the name mapped by
// encipheredName); false after one logged message.
bool encipherScriptFile(const std::string& path);

// Plain bytes of a plain or enciphered file, told apart by the first byte alone; a missing
// 'x.qvtrx' is looked for as 'x.qvtrxc'. `text` is unchanged on failure and for an empty file.
// Reports nothing, except for a file of 2 GiB or more, which is refused with a message.
bool readScriptContent(const std::string& path, std::string& text);

// What makes a script's plain text unreadable as 8-bit text (UTF-16 or UTF-32, NUL bytes,
// lines ended by CR alone), with the line it shows in; empty when it is readable.
std::string TextEncodingProblem(const std::string& text, int& line);

// A line the cleaning kept: its text and where it begins in the cleaned text, its number (from
// 1) in the file, and what it may hold.
struct KeptLine {
    std::string_view text;
    std::size_t at;
    int number;
    LineMarks marks;
};

// readScriptContent, then line cleaning in one pass, in `output`'s own memory when it is given
// (replaced on success only). Text that is not 8-bit text is refused with "NAME:LINE: problem",
// NAME `shownName` or the path. `kept`, when given, is told each line kept as it is cleaned,
// where it stays in the output.
bool readScriptFile(const std::string& path, std::string* output,
                    const std::string& shownName = std::string(),
                    const std::function<void(const KeptLine&)>& kept = nullptr);
