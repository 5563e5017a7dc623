#pragma once
// What the console's shared part needs of each platform.

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// The bytes or, on a Windows console, the characters of `text`; true when all went out.
bool WriteToStream(std::FILE* stream, std::string_view text);
// What follows a status line of `length` characters, drawn where one of `before` stood, so that
// nothing of the old one stays: the terminal's erase sequence, or blanks where it has none.
std::string TerminalEraseToEnd(std::size_t length, std::size_t before);
