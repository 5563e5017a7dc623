#include "common/globals.h"

std::string g_scriptName;
std::string g_programPath;
bool g_checkAnswers = true;
bool g_printAnswers = true;
bool g_keepAnswers = false;
