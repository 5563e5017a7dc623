#include "script/analyser.h"

#include "script/host_script.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string_view>

#include "common/globals.h"
#include "common/shown_command.h"
#include "common/strings.h"
#include "files/log.h"
#include "script/answer_pattern.h"
#include "script/directive.h"
#include "script/multihost.h"
#include "script/script_check.h"

namespace {

// What the script gives a target where it starts.
struct TargetTraits {
    std::vector<std::string> groups;
    TargetLimits limits;
};

}  // namespace

// State of one analysis, begun with its first line; nothing of it outlives the analysis.
struct AnalysisState {
    AnalysisState(const std::shared_ptr<const std::string>& analysed, const std::string& host,
                  const std::string& port, ScriptList& made, ScriptCheck* checked)
        : text(analysed),
          defaultHost(host),
          defaultPort(port),
          scripts(made),
          host(host),
          port(port),
          check(checked) {}

    // The text analysed; "set" values stay in it and the buffers share them.
    const std::shared_ptr<const std::string>& text;
    const std::string& defaultHost;
    const std::string& defaultPort;
    ScriptList& scripts;
    std::string host;
    std::string port;
    // Lines of the current segment joined by LF, without a final LF; or, while the lines
    // follow one another whole in the text, the body as it stands there, each line with its LF,
    // so that the host script is a view of the text and costs no copy.
    std::string body;
    std::string_view bodyInText;
    // Objects named by the lines of the current segment, one entry per line.
    std::vector<CBaseSynchro*> collected;
    // Targets of the "multihost" lines that the current segment goes to, and what the script
    // gave each where it started.
    std::vector<CMultiHostTarget> targets;
    std::vector<TargetTraits> targetTraits;
    // The host scripts of the current segment's targets, by their login line.
    std::map<std::string, std::shared_ptr<const std::string>> loginTexts;
    // What the *group and limit lines in force give a target started now, and what they gave
    // the current host segment's target.
    TargetTraits traits;
    TargetTraits segmentTraits;
    // What the checks before the run learn of each line, and the problems found; may be null.
    ScriptCheck* check = nullptr;
    int segment = 0;
    int lineNumber = 0;
    // The analysed line of each line of the current segment's body.
    BodyLineOrigins lineOrigins;
    // The directives of the current segment's body, and its lines so far.
    std::vector<BodyDirective> directives;
    int bodyLines = 0;
    // The line of an *until whose command is still to come: it must be a query.
    int untilLine = 0;
    // The first line that could not be read, told when the analysis ends: lines are read as the
    // preprocessor cleans them, and its own messages come first.
    struct SyntaxError {
        const char* directive = nullptr;
        int line = 0;
        std::string text;
    } syntaxError;
};

namespace {

using Analysis = AnalysisState;

void noteFact(Analysis& analysis, FactKind kind, std::string name) {
    if (analysis.check != nullptr) {
        analysis.check->facts.push_back(
            {kind, std::move(name), analysis.lineNumber, analysis.segment});
    }
}

void noteProblem(Analysis& analysis, std::string message) {
    if (analysis.check != nullptr && !message.empty()) {
        analysis.check->problems.push_back({analysis.lineNumber, std::move(message)});
    }
}

// The buffers a template line ("$...") names between "$" signs; those of a LOGIN line hold a
// password.
void noteTemplate(Analysis& analysis, std::string_view line) {
    const bool login = IsLoginCommand(line);
    for (std::string& name : TemplateBuffers(line)) {
        if (login) {
            noteFact(analysis, FactKind::LoginTemplate, name);
        }
        noteFact(analysis, FactKind::Template, std::move(name));
    }
}

// A "^" piece of a command line that begins with "*" is a directive when the worker meets it:
// one that acts at run time (a wait, an event...) works there, but one that chooses the target
// or takes in a file acts only on a script line of its own, and would be passed over.
void noteDirectivesInList(Analysis& analysis, std::string_view line) {
    for (auto caret = line.find("^*"); caret != std::string_view::npos;
         caret = line.find("^*", caret + 1)) {
        const std::string_view piece =
            line.substr(caret + 1, line.find('^', caret + 1) - caret - 1);
        const DirectiveStage stage = SplitDirectiveView(piece).entry->stage;
        if (stage == DirectiveStage::Target || stage == DirectiveStage::Naming ||
            stage == DirectiveStage::Expanded) {
            noteProblem(analysis, std::string(piece.substr(0, piece.find('='))) +
                                      " after a ^ is not carried out: it acts only on a script " +
                                      "line of its own");
        }
    }
}

// A LOGIN whose password is the mask the program shows in its place was pasted from a shown
// line: sent, it would log in with "***".
void noteMaskedPart(Analysis& analysis, std::string_view part) {
    while (!part.empty() && part.back() == ' ') {
        part.remove_suffix(1);
    }
    if (!IsLoginCommand(part)) {
        return;
    }
    if (ShownCommand(part) == part) {
        noteProblem(analysis,
                    "the password *** of this LOGIN stands in for one the program does not "
                    "show: give the real password");
    } else if (part[0] != '$') {
        KnowLoginPassword(part);
    }
}

// Each "^" piece of a command line; `caret` is where its first "^" is.
void noteMaskedLogin(Analysis& analysis, std::string_view line, std::size_t caret) {
    if (caret == std::string_view::npos) {
        noteMaskedPart(analysis, line);
        return;
    }
    for (std::size_t start = 0; start <= line.size();) {
        caret = std::min(line.find('^', start), line.size());
        noteMaskedPart(analysis, line.substr(start, caret - start));
        start = caret + 1;
    }
}

// A command line; "^" makes several lines of it, each a template when it starts with "$".
// `caret` and `dollar`: where its first "^" and "$" are.
void noteCommand(Analysis& analysis, std::string_view line, std::size_t caret, std::size_t dollar) {
    if (analysis.untilLine != 0 && analysis.check != nullptr) {
        const std::string_view command = line.substr(0, caret);
        if (command.empty() || command.back() != '?') {
            analysis.check->problems.push_back(
                {analysis.untilLine, "*until needs a query after it (a command ending in ?), not " +
                                         std::string(command)});
        }
    }
    analysis.untilLine = 0;
    if (analysis.check != nullptr) {
        std::vector<int>& last = analysis.check->lastCommandLine;
        if (last.size() <= static_cast<std::size_t>(analysis.segment)) {
            last.resize(static_cast<std::size_t>(analysis.segment) + 1, 0);
        }
        last[static_cast<std::size_t>(analysis.segment)] = analysis.lineNumber;
    }
    if (caret != std::string_view::npos) {
        noteDirectivesInList(analysis, line);
    }
    if (analysis.check != nullptr) {
        noteMaskedLogin(analysis, line, caret);
    }
    if (dollar == std::string_view::npos) {
        return;
    }
    for (std::size_t start = 0; start <= line.size();) {
        const auto caret = std::min(line.find('^', start), line.size());
        const std::string_view part = line.substr(start, caret - start);
        if (!part.empty() && part[0] == '$') {
            noteTemplate(analysis, part);
        }
        start = caret + 1;
    }
}

// A multihost line as a message shows it: its target, never its login.
std::string shownMultihost(const CMultiHostTarget& target) {
    return "*multihost=" + target.host + (target.port.empty() ? "" : ":" + target.port) + ",...";
}

std::string multihostProblem(const CMultiHostTarget& target, const std::string& argument) {
    if (std::count(argument.begin(), argument.end(), ',') < 2) {
        return "*multihost=" + argument.substr(0, argument.find(',')) +
               " needs a user and a password: *multihost=HOST[:PORT],[PREFIX,]USER,PASSWORD " +
               "(HOST:PORT,, for a processor without a login)";
    }
    if (target.host.empty()) {
        return shownMultihost(target) + " has no host";
    }
    // "[::1]3004" is no address on the default port.
    if (target.bracketsMalformed) {
        return "*multihost=" + EscapedControls(argument.substr(0, argument.find(','))) +
               ": write an IPv6 address as [ADDRESS] or [ADDRESS]:PORT";
    }
    const std::string badHost = HostProblem(target.host);
    if (!badHost.empty()) {
        return badHost;
    }
    if (target.loginUser.empty() != target.loginPassword.empty()) {
        return shownMultihost(target) + " has a " +
               (target.loginUser.empty() ? "password without a user" : "user without a password");
    }
    return PortProblem(target.port);
}

constexpr std::size_t kLargeSegmentBytes = 64 * 1024;

// Each "^" piece of a body line that begins with "*" is a directive when the worker meets it.
// `bodyLines` counts the body's lines so far.
void readBodyDirectives(std::string_view line, int& bodyLines,
                        std::vector<BodyDirective>& directives) {
    for (std::size_t start = 0; start <= line.size();) {
        const auto caret = std::min(line.find('^', start), line.size());
        const std::string_view piece = line.substr(start, caret - start);
        ++bodyLines;
        if (IsDirectiveLine(piece)) {
            std::string problem;
            directives.push_back(ReadBodyDirective(SplitDirectiveView(piece), bodyLines, problem));
        }
        start = caret + 1;
    }
}

// True when `line`, a whole line of the text, comes right after the body viewed so far.
bool continuesView(const Analysis& analysis, std::string_view line) {
    const std::string& text = *analysis.text;
    const auto end = static_cast<std::size_t>(line.data() + line.size() - text.data());
    const std::string_view view = analysis.bodyInText;
    return analysis.body.empty() && end < text.size() && text[end] == '\n' &&
           (view.empty() || line.data() == view.data() + view.size());
}

// Text for the body: a view of it while it stands in the text as it is, else a copy. A copy is
// at most the rest of the text: room for that once, rather than growing a large segment by
// copies; adoptHostScript gives back what a short one leaves.
// `cut`: the line holds a "^", which makes a line break of it.
void addBodyText(Analysis& analysis, std::string_view line, bool cut) {
    std::string_view& view = analysis.bodyInText;
    if (!cut && continuesView(analysis, line)) {
        view = std::string_view(view.empty() ? line.data() : view.data(),
                                view.size() + line.size() + 1);
        return;
    }
    std::string& body = analysis.body;
    if (body.empty() && analysis.targets.empty()) {
        const char* start = view.empty() ? line.data() : view.data();
        const std::size_t rest = analysis.text->size() - (start - analysis.text->data());
        if (rest > kLargeSegmentBytes) {
            body.reserve(rest + 1);
        }
    }
    if (!view.empty()) {
        body.assign(view.data(), view.size() - 1);
        view = std::string_view();
    }
    if (!body.empty()) {
        body += '\n';
    }
    body += line;
}

// `line` lies in the analysed text; `caret` is where its first "^" is.
void appendToBody(Analysis& analysis, std::string_view line, std::size_t caret,
                  const BodyDirective* whole = nullptr) {
    const bool cut = caret != std::string_view::npos;
    addBodyText(analysis, line, cut);
    // Each "^" makes one more line of the host script.
    std::size_t lines = 1;
    for (; caret != std::string_view::npos; caret = line.find('^', caret + 1)) {
        ++lines;
    }
    analysis.lineOrigins.add(analysis.lineNumber, lines, 0);
    if (cut) {
        readBodyDirectives(line, analysis.bodyLines, analysis.directives);
    } else {
        ++analysis.bodyLines;
        if (whole != nullptr) {
            analysis.directives.push_back(*whole);
            analysis.directives.back().line = analysis.bodyLines;
        }
    }
}

// A multihost target's host script: its login line, then the segment's body. A "^" in the
// login makes further lines of it, and may make directives.
void adoptTargetScript(Analysis& analysis, const CMultiHostTarget& target) {
    const std::string login = LoginLine(target);
    if (!login.empty() && login[0] != '$') {
        KnowLoginPassword(login.substr(0, login.size() - 1));
    }
    if (login.empty() && !analysis.bodyInText.empty()) {
        ViewHostScript(analysis.text, analysis.bodyInText, target.host, target.port,
                       analysis.collected, analysis.scripts);
    } else {
        // Targets with the same login run the same lines: ten thousand of them share one text.
        std::shared_ptr<const std::string>& text = analysis.loginTexts[login];
        if (!text) {
            const std::string_view body =
                analysis.bodyInText.empty() ? std::string_view(analysis.body) : analysis.bodyInText;
            std::string joined;
            joined.reserve(login.size() + body.size());
            joined.append(login).append(body);
            text = std::make_shared<const std::string>(HostScriptText(std::move(joined)));
        }
        ViewHostScript(text, *text, target.host, target.port, analysis.collected, analysis.scripts);
    }
    CHostScript& script = *analysis.scripts.back();
    script.segment = analysis.segment;
    int loginLines = 0;
    if (!login.empty()) {
        readBodyDirectives(std::string_view(login).substr(0, login.size() - 1), loginLines,
                           script.directives);
    }
    script.lineOrigins.add(0, static_cast<std::size_t>(loginLines), 0);
    script.lineOrigins.addAll(analysis.lineOrigins);
    for (BodyDirective directive : analysis.directives) {
        directive.line += loginLines;
        script.directives.push_back(std::move(directive));
    }
}

void giveTraits(CHostScript& script, const TargetTraits& traits) {
    script.groups = traits.groups;
    script.ownLimits = traits.limits;
}

// Every target of a multihost segment lists the segment's objects, so that each one that
// fails for good releases what it was to serve.
void endSegment(Analysis& analysis) {
    if (analysis.body.empty() && analysis.bodyInText.empty()) {
        return;
    }
    if (analysis.targets.empty()) {
        if (!analysis.bodyInText.empty()) {
            ViewHostScript(analysis.text, analysis.bodyInText, analysis.host, analysis.port,
                           analysis.collected, analysis.scripts);
        } else {
            AdoptHostScript(std::move(analysis.body), analysis.host, analysis.port,
                            analysis.collected, analysis.scripts);
        }
        analysis.scripts.back()->lineOrigins = std::move(analysis.lineOrigins);
        analysis.scripts.back()->directives = std::move(analysis.directives);
        analysis.scripts.back()->segment = analysis.segment;
        giveTraits(*analysis.scripts.back(), analysis.segmentTraits);
    }
    for (std::size_t i = 0; i < analysis.targets.size(); ++i) {
        adoptTargetScript(analysis, analysis.targets[i]);
        giveTraits(*analysis.scripts.back(), analysis.targetTraits[i]);
    }
    analysis.lineOrigins = BodyLineOrigins();
    analysis.directives.clear();
    analysis.bodyLines = 0;
    analysis.untilLine = 0;
    analysis.targets.clear();
    analysis.targetTraits.clear();
    analysis.loginTexts.clear();
    analysis.collected.clear();
    analysis.body = std::string();
    analysis.bodyInText = std::string_view();
    ++analysis.segment;
}

bool isGroupName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char byte) {
        return std::isalnum(static_cast<unsigned char>(byte)) != 0 || byte == '-' || byte == '_' ||
               byte == '.';
    });
}

// A group names targets, never a host (a --limit could not tell them apart), and holds one.
void checkGroups(const ScriptList& scripts, ScriptCheck& check) {
    std::set<std::string> hosts;
    std::set<std::string> held;
    for (const auto& script : scripts) {
        hosts.insert(ToLowerAscii(script->host));
        for (const std::string& group : script->groups) {
            held.insert(ToLowerAscii(group));
        }
    }
    std::set<std::string> told;
    for (const LineFact& fact : check.facts) {
        const std::string name = ToLowerAscii(fact.name);
        if (fact.kind != FactKind::Group || !told.insert(name).second) {
            continue;
        }
        if (hosts.count(name) != 0) {
            check.problems.push_back({fact.line, "*group=" + fact.name +
                                                     " is also a host of the script: name the "
                                                     "group otherwise"});
        } else if (held.count(name) == 0) {
            check.problems.push_back({fact.line, "*group=" + fact.name +
                                                     " holds no target: a target belongs to the "
                                                     "groups in force at its *host, *port or "
                                                     "*multihost line"});
        }
    }
}

// Workers that will run the current segment: one per pending target, else the current host.
int workersOfSegment(const Analysis& analysis) {
    return std::max<int>(1, static_cast<int>(analysis.targets.size()));
}

void noteSyntaxError(Analysis& analysis, const char* directive, std::string_view line) {
    analysis.syntaxError = {directive, analysis.lineNumber, std::string(line)};
}

// "set" stores its value now, so every worker finds the last value the script gives. The
// value stays where it is in the text, which the buffer keeps: it may be a whole loaded file.
bool storeSetValue(Analysis& analysis, std::string_view argument) {
    const auto comma = argument.find(',');
    if (comma == std::string_view::npos) {
        return false;
    }
    CBufferShared& buffer = FindOrCreate(g_buffers, std::string(argument.substr(0, comma)));
    analysis.collected.push_back(&buffer);
    noteFact(analysis, FactKind::Set, std::string(argument.substr(0, comma)));
    buffer.SetValue(SharedBytes{analysis.text, argument.substr(comma + 1)});
    buffer.Raise();
    return true;
}

// What a host script keeps of a directive line. Workers pass over "set" lines, so their value
// stays out of the host scripts, unless a "^" in it makes further lines of the body.
std::string_view bodyLine(std::string_view line, const DirectiveView& directive) {
    if (directive.entry->kind != DirectiveKind::Set ||
        directive.argument.find('^') != std::string_view::npos) {
        return line;
    }
    const std::size_t argumentStart = directive.argument.data() - line.data();
    return line.substr(0, argumentStart + directive.argument.find(',') + 1);
}

void changeTarget(Analysis& analysis, const DirectiveView& directive) {
    endSegment(analysis);
    const std::string argument(directive.argument);
    analysis.segmentTraits = analysis.traits;
    if (directive.entry->kind == DirectiveKind::Host) {
        analysis.host = argument;
        noteProblem(analysis, HostProblem(argument));
    } else if (directive.entry->kind == DirectiveKind::Port) {
        analysis.port = argument;
        noteProblem(analysis, PortProblem(argument));
    } else {
        analysis.targets.push_back(
            ParseMultiHostTarget(argument, analysis.defaultHost, analysis.defaultPort));
        analysis.targetTraits.push_back(analysis.traits);
        noteProblem(analysis, multihostProblem(analysis.targets.back(), argument));
        for (std::string& name : LoginValueNames(analysis.targets.back())) {
            noteFact(analysis, FactKind::LoginTemplate, name);
            noteFact(analysis, FactKind::Template, std::move(name));
        }
    }
}

// *expect and *until: a pattern that compiles, on a line of its own, with answers to read.
void noteAnswerCheck(Analysis& analysis, const BodyDirective& directive,
                     const std::string& untilProblem) {
    const DirectiveKind kind = directive.entry->kind;
    const std::string& value = directive.value;
    const std::string name = kind == DirectiveKind::Expect ? "*expect" : "*until";
    if (value.find('^') != std::string::npos) {
        noteProblem(analysis, name + " is cut in two by its ^, which ends a line in a script: " +
                                  "write a caret of the pattern as \\x5E");
        return;
    }
    noteFact(analysis, FactKind::AnswerCheck, name);
    std::string pattern = value;
    if (kind == DirectiveKind::Until) {
        if (!directive.readable) {
            noteProblem(analysis, untilProblem);
            return;
        }
        pattern = directive.until.pattern;
        analysis.untilLine = analysis.lineNumber;
    }
    if (!directive.patternProblem.empty()) {
        noteProblem(analysis, name + " pattern " + pattern + ": " + directive.patternProblem);
    }
}

// Prepares the objects of a directive that stays in the body. False when its argument is bad.
// `parsed` is the directive as the worker will read it; `untilProblem` why an *until value does
// not read.
bool prepareObjects(Analysis& analysis, const DirectiveView& directive, std::string_view line,
                    const BodyDirective& parsed, const std::string& untilProblem) {
    const DirectiveKind kind = directive.entry->kind;
    const std::string name(kind == DirectiveKind::Set ? std::string_view() : directive.argument);
    if (kind == DirectiveKind::WaitFor) {
        FindOrCreate(g_events, name);
        noteFact(analysis, FactKind::Await, name);
    } else if (kind == DirectiveKind::Event) {
        analysis.collected.push_back(&FindOrCreate(g_events, name));
        noteFact(analysis, FactKind::Raise, name);
    } else if (kind == DirectiveKind::RendezVous) {
        noteFact(analysis, FactKind::Meet, name);
        CRendezVousShared& point = FindOrCreate(g_rendezVous, name);
        // Every worker of the segment arrives, so each one is expected.
        for (int worker = 0; worker < workersOfSegment(analysis); ++worker) {
            point.AddParticipant();
        }
        analysis.collected.push_back(&point);
    } else if (kind == DirectiveKind::SaveNext) {
        analysis.collected.push_back(&FindOrCreate(g_buffers, name));
        noteFact(analysis, FactKind::SaveNext, name);
    } else if (kind == DirectiveKind::Wait) {
        if (!parsed.readable) {
            noteProblem(analysis, "*wait=" + std::string(directive.argument) +
                                      " is no pause: write a whole number of milliseconds, " +
                                      "or of seconds with \"s\" (*wait=500, *wait=2s)");
        }
    } else if (kind == DirectiveKind::Unknown ||
               directive.entry->stage == DirectiveStage::Expanded) {
        const std::size_t equals = line.find('=');
        noteProblem(analysis, UnknownDirectiveProblem(std::string(line.substr(
                                  1, equals == std::string_view::npos ? equals : equals - 1))));
    } else if (kind == DirectiveKind::Set) {
        return storeSetValue(analysis, directive.argument);
    } else if (kind == DirectiveKind::Expect || kind == DirectiveKind::Until) {
        noteAnswerCheck(analysis, parsed, untilProblem);
    }
    return true;
}

// A limit of the targets started after its line; with no value, theirs is the run's again.
void limitTargets(Analysis& analysis, LimitKind kind, const std::string& argument) {
    int& value = analysis.traits.limits.values[static_cast<std::size_t>(kind)];
    if (argument.empty()) {
        value = -1;
        return;
    }
    const std::string why = ReadLimit(kind, argument, value);
    if (!why.empty()) {
        noteProblem(analysis, std::string("*") + BoundsOf(kind).name + "=" +
                                  EscapedControls(argument) + ": " + why);
    }
}

// The groups of the targets started after a *group line ("*group=" alone ends them), or one of
// their limits.
void nameTargets(Analysis& analysis, const DirectiveView& directive) {
    const std::string argument(directive.argument);
    switch (directive.entry->kind) {
        case DirectiveKind::AnswerTimeout:
            return limitTargets(analysis, LimitKind::AnswerTimeout, argument);
        case DirectiveKind::GreetingTimeout:
            return limitTargets(analysis, LimitKind::GreetingTimeout, argument);
        case DirectiveKind::ConnectTimeout:
            return limitTargets(analysis, LimitKind::ConnectTimeout, argument);
        case DirectiveKind::Attempts:
            return limitTargets(analysis, LimitKind::Attempts, argument);
        default:
            break;
    }
    analysis.traits.groups.clear();
    for (std::size_t start = 0; !argument.empty() && start <= argument.size();) {
        const auto comma = std::min(argument.find(',', start), argument.size());
        const std::string name = TrimBoth(argument.substr(start, comma - start), " \t");
        start = comma + 1;
        if (!isGroupName(name)) {
            noteProblem(analysis, "*group=" + EscapedControls(argument) +
                                      ": a group's name is letters, digits, -, _ and . (" +
                                      EscapedControls(name) + ")");
            continue;
        }
        analysis.traits.groups.push_back(name);
        noteFact(analysis, FactKind::Group, name);
    }
}

// A line that cannot be read is noted as the analysis's syntax error.
void analyseDirective(Analysis& analysis, std::string_view line) {
    const DirectiveView directive = SplitDirectiveView(line);
    const char* errorName = directive.entry->syntaxName;
    if (errorName != nullptr && directive.argument.empty()) {
        noteSyntaxError(analysis, errorName, line);
        return;
    }
    if (directive.entry->stage == DirectiveStage::Target) {
        changeTarget(analysis, directive);
        return;
    }
    if (directive.entry->stage == DirectiveStage::Naming) {
        nameTargets(analysis, directive);
        return;
    }
    std::string untilProblem;
    const BodyDirective parsed = ReadBodyDirective(directive, 0, untilProblem);
    if (!prepareObjects(analysis, directive, line, parsed, untilProblem)) {
        noteSyntaxError(analysis, errorName, line);
        return;
    }
    const std::string_view kept = bodyLine(line, directive);
    appendToBody(analysis, kept, kept.find('^'), &parsed);
}

void analyseLine(Analysis& analysis, std::string_view line, LineMarks marks) {
    if (line.empty()) {
        return;
    }
    if (!IsDirectiveLine(line)) {
        const std::size_t caret = marks.caret ? line.find('^') : std::string_view::npos;
        noteCommand(analysis, line, caret, marks.dollar ? line.find('$') : std::string_view::npos);
        appendToBody(analysis, line, caret);
        return;
    }
    analyseDirective(analysis, line);
}

}  // namespace

ScriptAnalysis::ScriptAnalysis(std::shared_ptr<const std::string> text, std::string defaultHost,
                               std::string defaultPort, ScriptList& scriptList, ScriptCheck* check)
    : text_(std::move(text)),
      defaultHost_(std::move(defaultHost)),
      defaultPort_(std::move(defaultPort)),
      scripts_(scriptList),
      check_(check),
      scriptsBefore_(scriptList.size()) {}

ScriptAnalysis::~ScriptAnalysis() = default;

AnalysisState& ScriptAnalysis::state() {
    if (!state_) {
        state_ =
            std::make_unique<AnalysisState>(text_, defaultHost_, defaultPort_, scripts_, check_);
    }
    return *state_;
}

void ScriptAnalysis::addLine(std::string_view line, LineMarks marks) {
    AnalysisState& analysis = state();
    if (analysis.syntaxError.directive == nullptr) {
        ++analysis.lineNumber;
        analyseLine(analysis, line, marks);
    }
}

void ScriptAnalysis::startOver() {
    if (!state_) {
        return;
    }
    state_.reset();
    scripts_.resize(scriptsBefore_);
    if (check_ != nullptr) {
        check_->facts.clear();
        check_->lastCommandLine.clear();
        check_->problems.clear();
    }
    ClearSharedTables();
}

bool ScriptAnalysis::finish() {
    if (!state_) {
        std::string_view script(*text_);
        script = script.substr(0, script.find('\0'));
        NextByte carets(script, '^');
        NextByte dollars(script, '$');
        std::size_t position = 0;
        std::string_view line;
        AnalysisState& analysis = state();
        while (analysis.syntaxError.directive == nullptr && NextLine(script, position, line)) {
            addLine(line, {carets.before(position), dollars.before(position)});
        }
    }
    AnalysisState& analysis = state();
    const AnalysisState::SyntaxError& error = analysis.syntaxError;
    if (error.directive != nullptr) {
        LogMessage("%s: Error in %s syntax (line %d): %s", g_scriptName.c_str(), error.directive,
                   error.line, error.text.c_str());
        return false;
    }
    endSegment(analysis);
    if (check_ != nullptr) {
        checkGroups(scripts_, *check_);
        CheckWholeRun(*check_);
    }
    return true;
}

bool AnalyseSharedScript(const std::shared_ptr<const std::string>& text,
                         const std::string& defaultHost, const std::string& defaultPort,
                         ScriptList& scriptList, ScriptCheck* check) {
    return ScriptAnalysis(text, defaultHost, defaultPort, scriptList, check).finish();
}
