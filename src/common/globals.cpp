#include "common/globals.h"

std::string g_scriptName;
std::string g_programPath;
bool g_checkAnswers = true;
