#include <memory>
#include <string_view>

#include "script/host_script.h"

#include "common/strings.h"

std::string hostScriptHead(const std::string& host, const std::string& port) {
    return "*host=" + host + "\n*port=" + port + "\n";
}

void buildHostScript(const std::string& body, const std::vector<CBaseSynchro*>& objects,
                     const std::string& host, const std::string& port, ScriptList& scriptList) {
    std::string text = hostScriptHead(host, port);
    const std::size_t bodyStart = text.size();
    text.reserve(bodyStart + body.size() + 1);
    text += body;
    adoptHostScript(std::move(text), bodyStart, objects, scriptList);
}

void adoptHostScript(std::string text, std::size_t bodyStart,
                     const std::vector<CBaseSynchro*>& objects, ScriptList& scriptList) {
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
    script->syncObjects = objects;
    scriptList.push_back(std::move(script));
}

namespace {

// The rest of the line at `position` after `prefix`, and the start of the next line.
bool readHeadLine(const std::string& text, std::string_view prefix, std::size_t& position,
                  std::string& value) {
    std::string_view line;
    if (!nextLine(text, position, line) || !startsWith(line, prefix)) {
        return false;
    }
    value = std::string(line.substr(prefix.size()));
    return true;
}

}  // namespace

bool readHostScriptHead(const std::string& text, std::string& host, std::string& port,
                        std::size_t& bodyStart) {
    std::size_t position = 0;
    if (!readHeadLine(text, "*host=", position, host) ||
        !readHeadLine(text, "*port=", position, port)) {
        return false;
    }
    bodyStart = position;
    return true;
}
