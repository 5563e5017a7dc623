#pragma once
// Expands "include" and "loadfile" lines of a script file.

#include <string>

// Appends the preprocessed lines of the file to `output` (never cleared). False on failure,
// after a message; false at once, silently, for an empty path or no output.
bool preprocessScript(const std::string& path, std::string* output);
