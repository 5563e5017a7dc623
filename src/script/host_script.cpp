#include <memory>

#include "script/host_script.h"

std::string hostScriptHead(const std::string& host, const std::string& port) {
    return "*host=" + host + "\n*port=" + port + "\n";
}

void buildHostScript(const std::string& body, const std::vector<CBaseSynchro*>& objects,
                     const std::string& host, const std::string& port, ScriptList& scriptList) {
    std::string text = hostScriptHead(host, port);
    const std::size_t bodyStart = text.size();
    text.reserve(bodyStart + body.size() + 1);
    text += body;
    adoptHostScript(std::move(text), bodyStart, host, port, objects, scriptList);
}

void adoptHostScript(std::string text, std::size_t bodyStart, const std::string& host,
                     const std::string& port, const std::vector<CBaseSynchro*>& objects,
                     ScriptList& scriptList) {
    for (auto mark = text.find('^', bodyStart); mark != std::string::npos;
         mark = text.find('^', mark + 1)) {
        text[mark] = '\n';
    }
    if (text.size() > bodyStart && text.back() != '\n') {
        text += '\n';
    }
    // Room reserved for a segment that turned out short is given back.
    if (text.capacity() - text.size() > 64 * 1024 && text.capacity() > 2 * text.size()) {
        text.shrink_to_fit();
    }
    auto script = std::make_unique<CHostScript>();
    script->text = std::move(text);
    script->host = host;
    script->port = port;
    script->bodyStart = bodyStart;
    script->syncObjects = objects;
    script->place = scriptList.size() + 1;
    scriptList.push_back(std::move(script));
}

int AnalysedLine(const CHostScript& script, int scriptLine) {
    const int body = scriptLine - kHeadLines - 1;
    return body >= 0 ? script.lineOrigins.at(static_cast<std::size_t>(body)) : 0;
}
