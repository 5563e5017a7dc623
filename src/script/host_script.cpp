#include <memory>

#include "script/analyser.h"

void buildHostScript(const std::string& body, const std::vector<CBaseSynchro*>& objects,
                     const std::string& host, const std::string& port, ScriptList& scriptList) {
    auto script = std::make_unique<CHostScript>();
    script->text = "*host=" + host + "\n*port=" + port + "\n";
    std::string lines = body;
    for (char& byte : lines) {
        if (byte == '^') {
            byte = '\n';
        }
    }
    if (!lines.empty() && lines.back() != '\n') {
        lines += '\n';
    }
    script->text += lines;
    script->syncObjects = objects;
    scriptList.push_back(std::move(script));
}
