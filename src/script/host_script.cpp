#include <memory>

#include "script/analyser.h"

namespace {

// The head lines, then the body with every "^" made a line break, ending with one LF.
std::string hostScriptText(const std::string& body, const std::string& host,
                           const std::string& port) {
    std::string text;
    text.reserve(host.size() + port.size() + body.size() + 16);
    text += "*host=";
    text += host;
    text += "\n*port=";
    text += port;
    text += '\n';
    const std::size_t bodyStart = text.size();
    text += body;
    for (auto mark = text.find('^', bodyStart); mark != std::string::npos;
         mark = text.find('^', mark + 1)) {
        text[mark] = '\n';
    }
    if (!body.empty() && text.back() != '\n') {
        text += '\n';
    }
    return text;
}

}  // namespace

void buildHostScript(const std::string& body, const std::vector<CBaseSynchro*>& objects,
                     const std::string& host, const std::string& port, ScriptList& scriptList) {
    auto script = std::make_unique<CHostScript>();
    script->text = hostScriptText(body, host, port);
    script->syncObjects = objects;
    scriptList.push_back(std::move(script));
}
