#include "script/host_script.h"

#include <memory>

void adoptHostScript(std::string body, const std::string& host, const std::string& port,
                     const std::vector<CBaseSynchro*>& objects, ScriptList& scriptList) {
    for (auto mark = body.find('^'); mark != std::string::npos; mark = body.find('^', mark + 1)) {
        body[mark] = '\n';
    }
    if (!body.empty() && body.back() != '\n') {
        body += '\n';
    }
    // Room reserved for a segment that turned out short is given back.
    if (body.capacity() - body.size() > 64 * 1024 && body.capacity() > 2 * body.size()) {
        body.shrink_to_fit();
    }
    auto script = std::make_unique<CHostScript>();
    script->text = std::move(body);
    script->host = host;
    script->port = port;
    script->syncObjects = objects;
    script->place = scriptList.size() + 1;
    scriptList.push_back(std::move(script));
}

int AnalysedLine(const CHostScript& script, int scriptLine) {
    return scriptLine >= 1 ? script.lineOrigins.at(static_cast<std::size_t>(scriptLine) - 1) : 0;
}
