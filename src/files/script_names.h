#pragma once
// Names of plain and enciphered script files. Both tests are byte-exact and case-sensitive,
// and look at the whole path, folder names included.

#include <string>

// True when ".qvtrx" occurs anywhere in the path.
bool HasScriptExtension(const std::string& path);
// The path with every ".qvtrx" replaced by ".qvtrxc" ('show.qvtrx-preset' gives
// 'show.qvtrxc-preset', 'show.qvtrxc' gives 'show.qvtrxcc').
std::string EncipheredName(const std::string& path);
