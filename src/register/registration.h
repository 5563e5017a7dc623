#pragma once
// Registration of the script file types from an XML configuration.

#include <string>

void registerFileTypes(const std::string& configPath, const std::string& programPath, bool install);
