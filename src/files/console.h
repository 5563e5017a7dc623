#pragma once
// Text for a person on a standard stream. One implementation per platform.

#include <cstdio>
#include <string_view>

// Writes UTF-8 text to `stream`: on a Windows console as wide characters, so that the console
// shows what the text says whatever its code page; to a pipe, a file, or any stream elsewhere,
// the bytes as they are (what batch files and scripts read). True when all of it was written.
bool WriteForPerson(std::FILE* stream, std::string_view text);
