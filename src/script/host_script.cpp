#include <memory>

#include "script/analyser.h"

void buildHostScript(const std::string& body, const std::vector<CBaseSynchro*>& objects,
                     const std::string& host, const std::string& port, ScriptList& scriptList) {
    auto script = std::make_unique<CHostScript>();
    std::string& text = script->text;
    const std::string head = "*host=" + host + "\n*port=" + port + "\n";
    // One copy of the body, made in place: a body may hold a whole loaded file.
    text.reserve(head.size() + body.size() + 1);
    text = head;
    text += body;
    for (std::size_t i = head.size(); i < text.size(); ++i) {
        if (text[i] == '^') {
            text[i] = '\n';
        }
    }
    if (text.size() > head.size() && text.back() != '\n') {
        text += '\n';
    }
    script->syncObjects = objects;
    scriptList.push_back(std::move(script));
}
