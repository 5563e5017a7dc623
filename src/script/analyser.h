#pragma once
// Cuts a script text into one host script per target and prepares the named objects.

#include <memory>
#include <string>
#include <vector>

#include "script/model.h"

// Reads `text` up to its first NUL. Appends to `scriptList`; false after a syntax error, which
// has been logged with its line number.
bool analyseScript(const std::string& text, const std::string& defaultHost,
                   const std::string& defaultPort, ScriptList& scriptList);
// The same without a copy of the text: the buffers of its "set" lines keep it and share their
// values with it.
bool analyseSharedScript(const std::shared_ptr<const std::string>& text,
                         const std::string& defaultHost, const std::string& defaultPort,
                         ScriptList& scriptList);

// Writes the head lines, turns every "^" of the body into a line break, ends the body with LF
// and appends the new host script with a copy of `objects`.
void buildHostScript(const std::string& body, const std::vector<CBaseSynchro*>& objects,
                     const std::string& host, const std::string& port, ScriptList& scriptList);
// The head lines of a host script: "*host=<host>", "*port=<port>", each ended by LF.
std::string hostScriptHead(const std::string& host, const std::string& port);
// The same as buildHostScript for a text that already holds its head lines, the body from
// `bodyStart` on: the text becomes the host script without a copy.
void adoptHostScript(std::string text, std::size_t bodyStart,
                     const std::vector<CBaseSynchro*>& objects, ScriptList& scriptList);
