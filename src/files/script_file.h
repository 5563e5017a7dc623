#pragma once
// Plain and enciphered (.qvtrxc) script files and the script-file reader.

#include <string>

// Writes the enciphered twin of a plain .qvtrx file next to it (the name mapped by
// encipheredName); false after one logged message.
bool encipherScriptFile(const std::string& path);

// Plain bytes of a plain or enciphered file, told apart by the first byte alone; a missing
// 'x.qvtrx' is looked for as 'x.qvtrxc'. `text` is unchanged on failure and for an empty file.
// Reports nothing, except for a file of 2 GiB or more, which is refused with a message.
bool readScriptContent(const std::string& path, std::string& text);

// readScriptContent, then line cleaning; `output` (when given) replaced on success only.
bool readScriptFile(const std::string& path, std::string* output);
