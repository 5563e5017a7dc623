#pragma once
// What a compare makes of a command line, once its values are filled: a setting NAME=VALUE,
// read back with the query NAME?, whose answer NAME=VALUE tells what the processor has; a
// query, sent as it is; a LOGIN, sent as it is; and an action (PRESET.SAVE), which is not
// compared and not sent.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "script/model.h"

enum class CommandKind { Setting, Query, Login, Action };

struct CommandSense {
    CommandKind kind = CommandKind::Action;
    std::string_view name;   // of a setting, and of a query (without its "?")
    std::string_view value;  // of a setting: what follows the first "=", its blanks trimmed
};

// A setting holds "=" after a NAME without blanks, and is no LOGIN, even when it ends in "?"
// ("RDS.RT=Why?"); a query is any other line ending in "?". `command` as sent, without LF.
CommandSense ReadCommand(std::string_view command);
// The value an answer to NAME? gives: what follows "NAME=", its blanks trimmed; false when the
// answer does not begin so (an error answer among them).
bool ReadBackValue(std::string_view answer, std::string_view name, std::string_view& value);
// For each body line of the host script (from 1): whether it is a setting whose NAME the
// script sets again on a later line, so that the show does not leave it so. A template whose
// NAME is filled at run time is never counted.
std::vector<bool> SettingsSetAgain(const CHostScript& script);

// Calls `visit` with each command line of the host script (directives and empty lines passed
// over), as the script holds it ("$" of a template included), and its number from 1.
void ForEachCommandLine(const CHostScript& script,
                        const std::function<void(int, std::string_view)>& visit);
// What a command line of the script is, a template read without its "$" and unfilled.
CommandSense ReadScriptLine(std::string_view line);
// Whether the command line changes the target: a setting or an action, not a query or a LOGIN.
bool ChangesTarget(std::string_view line);

// What --undo keeps of one setting before the run changes it: the value its query read, or why
// it cannot be put back (then `value` is empty).
struct OldValue {
    std::string name;
    std::string value;
    std::string problem;
};
// The old value the answer to NAME? gives, judged for a script line that puts it back: a value
// that a script line cannot carry as it is (a "^" or "##", a control byte) or that holds a
// password the run knows is not written.
OldValue OldValueOf(const std::string& name, const std::string& answer);
// The NAMEs the host script sets, each once, in the order of the show; `fill` fills a NAME
// that a template gives with a value.
std::vector<std::string> SettingNames(const CHostScript& script,
                                      const std::function<std::string(std::string_view)>& fill);
// The script's first LOGIN line as it stands ("$" of a template included); empty without one.
std::string LoginLineOf(const CHostScript& script);
