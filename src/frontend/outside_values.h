#pragma once
// Values from outside the script: --set=NAME=VALUE and the NAME=VALUE lines of --set-file
// files. They fill buffers before the run and win over the script's own *set of the name.

#include <string>
#include <vector>

#include "frontend/options.h"
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

// The values as the temporary copy hands them to the background copy, after the script text
// and a NUL (which no script holds), so that no value shows on a command line.
std::string EncodeOutsideValues(const std::vector<OutsideValue>& values);
// Splits a temporary copy into its script text and its values.
void DecodeOutsideValues(std::string& text, std::vector<OutsideValue>& values);
