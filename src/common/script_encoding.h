#pragma once
// The encoding of the run's script text, for what is shown of it. Windows reads a script that is
// not UTF-8 in the system's ANSI code page (as older Notepads saved scripts): its lines are
// shown converted from that code page. Elsewhere, and for UTF-8 text, lines are shown as they
// are. One implementation per platform.

#include <string>
#include <string_view>

// Tells the run's whole script text, once it is read and before any worker starts.
void NoteScriptText(std::string_view text);
// True when lines must be converted to be UTF-8 text.
bool ScriptLinesNeedConverting();
// A line of the script as UTF-8 text.
std::string ScriptLineAsUtf8(std::string_view line);
