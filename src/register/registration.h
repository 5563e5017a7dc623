#pragma once
// Registration of the script file types from an XML configuration.

#include <string>

// False when the configuration could not be read (said in one line on standard error) or a
// step failed (each said as it failed).
bool registerFileTypes(const std::string& configPath, const std::string& programPath, bool install);
