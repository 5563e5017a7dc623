#pragma once
// Host scripts: the text one worker runs, made of two head lines ("*host=<host>",
// "*port=<port>") and the body lines, each ended by LF; the first body line is line 3.

#include <cstddef>
#include <string>
#include <vector>

#include "script/model.h"

// The head lines come first: the body starts at line kHeadLines + 1.
constexpr int kHeadLines = 2;

// The analysed line a host script's line (from 1, the head lines counted) came from; 0 for a
// head line or one the program added.
int AnalysedLine(const CHostScript& script, int scriptLine);

// Writes the head lines, turns every "^" of the body into a line break, ends the body with LF
// and appends the new host script with a copy of `objects`.
void buildHostScript(const std::string& body, const std::vector<CBaseSynchro*>& objects,
                     const std::string& host, const std::string& port, ScriptList& scriptList);
// The head lines of a host script for that host and port.
std::string hostScriptHead(const std::string& host, const std::string& port);
// The same as buildHostScript for a text that already holds the head lines of that host and
// port, the body from `bodyStart` on: the text becomes the host script without a copy.
void adoptHostScript(std::string text, std::size_t bodyStart, const std::string& host,
                     const std::string& port, const std::vector<CBaseSynchro*>& objects,
                     ScriptList& scriptList);
