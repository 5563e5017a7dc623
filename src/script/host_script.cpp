#include "script/host_script.h"

#include <algorithm>
#include <functional>

#include <memory>

namespace {

CHostScript& appendHostScript(const std::string& host, const std::string& port,
                              const std::vector<CBaseSynchro*>& objects, ScriptList& scriptList) {
    auto script = std::make_unique<CHostScript>();
    script->host = host;
    script->port = port;
    script->syncObjects = objects;
    script->place = scriptList.size() + 1;
    scriptList.push_back(std::move(script));
    return *scriptList.back();
}

}  // namespace

std::string HostScriptText(std::string body) {
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
    return body;
}

void AdoptHostScript(std::string body, const std::string& host, const std::string& port,
                     const std::vector<CBaseSynchro*>& objects, ScriptList& scriptList) {
    CHostScript& script = appendHostScript(host, port, objects, scriptList);
    script.heldText = HostScriptText(std::move(body));
    script.text = script.heldText;
}

void ViewHostScript(const std::shared_ptr<const std::string>& text, std::string_view body,
                    const std::string& host, const std::string& port,
                    const std::vector<CBaseSynchro*>& objects, ScriptList& scriptList) {
    CHostScript& script = appendHostScript(host, port, objects, scriptList);
    script.sharedText = text;
    script.text = body;
}

int AnalysedLine(const CHostScript& script, int scriptLine) {
    return scriptLine >= 1 ? script.lineOrigins.at(static_cast<std::size_t>(scriptLine) - 1) : 0;
}

bool StandsInHostScript(const CHostScript& script, std::string_view bytes) {
    const std::less<const char*> before;
    const char* const text = script.text.data();
    return !bytes.empty() && !before(bytes.data(), text) &&
           !before(text + script.text.size(), bytes.data() + bytes.size());
}

std::string TargetName(const CHostScript& target) {
    return target.host + ":" + target.port;
}

std::size_t LastPlace(const ScriptList& scripts) {
    std::size_t last = 0;
    for (const auto& script : scripts) {
        last = std::max(last, script->place);
    }
    return last;
}
