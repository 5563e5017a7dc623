#pragma once
// What a compare makes of a command line, once its values are filled: a setting NAME=VALUE,
// read back with the query NAME?, whose answer NAME=VALUE tells what the processor has; a
// query, sent as it is; a LOGIN, sent as it is; and an action (PRESET.SAVE), which is not
// compared and not sent.

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
