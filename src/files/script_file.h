#pragma once
// Plain and enciphered (.qvtrxc) script files and the script-file reader.

#include <string>

// Writes the enciphered twin of a plain .qvtrx file; false after a logged message.
bool encipherScriptFile(const std::string& path);
// Plain bytes of a plain or enciphered file; `text` unchanged on failure. Reports nothing.
bool readScriptContent(const std::string& path, std::string& text);
// readScriptContent, then line cleaning; `output` (when given) replaced on success only.
bool readScriptFile(const std::string& path, std::string* output);
// Every ".qvtrx" replaced by ".qvtrxc".
std::string encipheredName(const std::string& path);
