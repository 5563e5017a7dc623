#include "script/analyser.h"

#include <algorithm>
#include <string_view>

#include "common/directive.h"
#include "common/globals.h"
#include "files/log.h"
#include "script/multihost.h"

namespace {

// State of one analysis; nothing of it outlives analyseScript.
struct Analysis {
    const std::string& defaultHost;
    const std::string& defaultPort;
    ScriptList& scripts;
    std::string host;
    std::string port;
    // Lines of the current segment joined by LF, without a final LF.
    std::string body;
    // Objects named by the lines of the current segment, one entry per line.
    std::vector<CBaseSynchro*> collected;
    // Targets of the "multihost" lines that the current segment goes to.
    std::vector<CMultiHostTarget> targets;
};

void appendToBody(Analysis& analysis, std::string_view line) {
    if (!analysis.body.empty()) {
        analysis.body += '\n';
    }
    analysis.body += line;
}

// Every target of a multihost segment lists the segment's objects, so that each one that
// fails for good releases what it was to serve.
void endSegment(Analysis& analysis) {
    if (analysis.body.empty()) {
        return;
    }
    if (analysis.targets.empty()) {
        buildHostScript(analysis.body, analysis.collected, analysis.host, analysis.port,
                        analysis.scripts);
    }
    for (const auto& target : analysis.targets) {
        buildHostScript(loginLine(target) + analysis.body, analysis.collected, target.host,
                        target.port, analysis.scripts);
    }
    analysis.targets.clear();
    analysis.collected.clear();
    analysis.body.clear();
}

// Workers that will run the current segment: one per pending target, else the current host.
int workersOfSegment(const Analysis& analysis) {
    return std::max<int>(1, static_cast<int>(analysis.targets.size()));
}

void logSyntaxError(const char* directive, int lineNumber, const std::string& line) {
    LogMessage("%s: Error in %s syntax (line %d): %s", g_scriptName.c_str(), directive, lineNumber,
               line.c_str());
}

// "set" stores its value now, so every worker finds the last value the script gives.
// The value is cut out of the argument in place: it may be a whole loaded file.
bool storeSetValue(Analysis& analysis, std::string& argument) {
    const auto comma = argument.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    CBufferShared& buffer = findOrCreate(g_buffers, argument.substr(0, comma));
    analysis.collected.push_back(&buffer);
    argument.erase(0, comma + 1);
    buffer.SetValue(std::move(argument));
    buffer.Raise();
    return true;
}

// Directives that choose the target: they end the segment and never reach a body.
bool isTargetKeyword(const std::string& keyword) {
    return keyword == "host" || keyword == "multihost" || keyword == "port";
}

void changeTarget(Analysis& analysis, const Directive& directive) {
    endSegment(analysis);
    if (directive.keyword == "host") {
        analysis.host = directive.argument;
    } else if (directive.keyword == "port") {
        analysis.port = directive.argument;
    } else {
        analysis.targets.push_back(
            parseMultiHostTarget(directive.argument, analysis.defaultHost, analysis.defaultPort));
    }
}

// Prepares the objects of a directive that stays in the body. False when its argument is bad.
bool prepareObjects(Analysis& analysis, Directive& directive) {
    const std::string& keyword = directive.keyword;
    const std::string& name = directive.argument;
    if (keyword == "waitfor") {
        findOrCreate(g_events, name);
    } else if (keyword == "event") {
        analysis.collected.push_back(&findOrCreate(g_events, name));
    } else if (keyword == "rendezvous") {
        CRendezVousShared& point = findOrCreate(g_rendezVous, name);
        // Every worker of the segment arrives, so each one is expected.
        for (int worker = 0; worker < workersOfSegment(analysis); ++worker) {
            point.AddParticipant();
        }
        analysis.collected.push_back(&point);
    } else if (keyword == "savenext") {
        analysis.collected.push_back(&findOrCreate(g_buffers, name));
    } else if (keyword == "set") {
        return storeSetValue(analysis, directive.argument);
    }
    return true;
}

// The name printed in the syntax error of a keyword that needs an argument, else null.
const char* directiveNeedingArgument(const std::string& keyword) {
    static const char* const names[][2] = {{"host", "Host"},         {"multihost", "multihost"},
                                           {"port", "Port"},         {"waitfor", "waitfor"},
                                           {"event", "event"},       {"rendezvous", "rendezvous"},
                                           {"savenext", "savenext"}, {"set", "set"}};
    for (const auto& entry : names) {
        if (keyword == entry[0]) {
            return entry[1];
        }
    }
    return nullptr;
}

bool analyseDirective(Analysis& analysis, const std::string& line, int lineNumber) {
    Directive directive = splitDirective(line);
    const char* errorName = directiveNeedingArgument(directive.keyword);
    if (errorName != nullptr && directive.argument.empty()) {
        logSyntaxError(errorName, lineNumber, line);
        return false;
    }
    if (isTargetKeyword(directive.keyword)) {
        changeTarget(analysis, directive);
        return true;
    }
    if (!prepareObjects(analysis, directive)) {
        logSyntaxError(errorName, lineNumber, line);
        return false;
    }
    appendToBody(analysis, line);
    return true;
}

bool analyseLine(Analysis& analysis, std::string_view line, int lineNumber) {
    if (line.empty()) {
        return true;
    }
    if (!isDirectiveLine(line)) {
        appendToBody(analysis, line);
        return true;
    }
    return analyseDirective(analysis, std::string(line), lineNumber);
}

}  // namespace

bool analyseScript(const std::string& text, const std::string& defaultHost,
                   const std::string& defaultPort, ScriptList& scriptList) {
    Analysis analysis{defaultHost, defaultPort, scriptList, defaultHost, defaultPort, {}, {}, {}};
    std::string_view script(text);
    script = script.substr(0, script.find('\0'));
    analysis.body.reserve(script.size());
    int lineNumber = 0;
    std::size_t start = 0;
    while (start <= script.size()) {
        auto end = script.find('\n', start);
        if (end == std::string_view::npos) {
            end = script.size();
        }
        const std::string_view line = script.substr(start, end - start);
        start = end + 1;
        if (!analyseLine(analysis, line, ++lineNumber)) {
            return false;
        }
    }
    endSegment(analysis);
    return true;
}
