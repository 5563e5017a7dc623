#pragma once
// Text for a person on a standard stream, and the one status line a terminal may show below it.

#include <cstdio>
#include <string>
#include <string_view>

// Writes UTF-8 text to `stream`: on a Windows console as wide characters, so that the console
// shows what the text says whatever its code page; to a pipe, a file, or any stream elsewhere,
// the bytes as they are (what batch files and scripts read). True when all of it was written.
// While a status line is shown, text for the terminal goes above it: the line is taken away
// first and drawn again after, so that neither tears the other.
bool WriteForPerson(std::FILE* stream, std::string_view text);

// True when the stream is a terminal (a console on Windows), where a person reads it.
bool IsTerminal(std::FILE* stream);

// Shows `text` as the last line of the terminal on standard error, in place of the one shown
// before; empty takes it away. The text must be one line that fits the terminal's width.
void ShowStatusLine(const std::string& text);
// The columns of the terminal on standard error; 80 when it does not say.
int StatusLineWidth();
