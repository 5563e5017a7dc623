#pragma once
// Expands "include" and "loadfile" lines of a script file.

#include <string>
#include <vector>

// Appends the preprocessed lines of the file to `output` (never cleared). False on failure,
// after a message; false at once, silently, for an empty path or no output.
bool preprocessScript(const std::string& path, std::string* output);

// Where each line of the preprocessed text came from: the file as the script names it (an index
// in `files`), and its line there (from 1).
struct ScriptOrigins {
    struct Line {
        std::size_t file;
        int line;
    };
    std::vector<std::string> files;
    std::vector<Line> lines;
};
// The origin of every line of the text preprocessScript gives for `path`, which messages name
// `shownName`; read again only when a message needs it.
ScriptOrigins TraceScriptOrigins(const std::string& path, const std::string& shownName);
// The files the text of the script at `path` comes from: the script itself, then the files its
// *include lines name, each as a path to open.
std::vector<std::string> ScriptFiles(const std::string& path);
