#pragma once
// Registration of the script file types from an XML configuration.

#include <string>

void registerFileTypes(const std::string& configPath, const std::string& programPath, bool install);
void installFileType(const std::string& programPath, const std::string& type,
                     const std::string& description, const std::string& icon, bool crypt);
void uninstallFileType(const std::string& type, bool crypt);
