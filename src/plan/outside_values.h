#pragma once
// Values from outside the script: --set=NAME=VALUE and the NAME=VALUE lines of --set-file
// files. They fill buffers before the run and win over the script's own *set of the name.

#include <string>
#include <vector>

#include "cli/options.h"
#include "script/preprocessor.h"
#include "script/script_check.h"

// Reads the --set-file files into options.outsideValues, after the --set values (a later one
// of a name wins); a file that cannot be read, or a line that is not NAME=VALUE, is said
// with its FILE:LINE and refused.
bool ReadSetFiles(RunOptions& options);
// Refuses (and says why) a --set-file that other users can read or change when it holds a
// value that a template puts into a LOGIN line: a password.
bool SecretFilesAreOwn(const RunOptions& options, const ScriptCheck& check);
// Stores every value in its buffer, over what the script's *set put there.
void ApplyOutsideValues(const RunOptions& options);

// What the temporary copy hands the background copy after the script text and a NUL (which no
// script holds): the values from outside, so that none shows on a command line; where the
// text's lines come from (the script's path and the command list's lines in front of it), so
// that the copy names FILE:LINE as the launching copy would; and the user's own arguments, for
// the line that sends again.
struct CopyTail {
    std::vector<OutsideValue> values;
    bool originKnown = false;  // false in a copy made by an older launch
    std::string originPath;    // empty for a command list alone
    std::size_t commandLines = 0;
    // The script's lines as the launch prepared them, so that the copy names the lines of the
    // files it included without reading them again from another folder.
    ScriptOrigins origins;
    std::vector<std::string> arguments;
};
std::string EncodeCopyTail(const CopyTail& tail);
// Splits a temporary copy into its script text and its tail. False (and `text` unchanged)
// unless the text ends with a whole tail as EncodeCopyTail writes it.
bool DecodeCopyTail(std::string& text, CopyTail& tail);
