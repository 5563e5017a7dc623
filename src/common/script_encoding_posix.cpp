#include "common/script_encoding.h"

void NoteScriptText(std::string_view) {}

bool ScriptLinesNeedConverting() {
    return false;
}

std::string ScriptLineAsUtf8(std::string_view line) {
    return std::string(line);
}
