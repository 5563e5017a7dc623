#include "script/directive.h"

#include "common/strings.h"

namespace {

const DirectiveEntry kDirectives[] = {
    {DirectiveKind::Include, "include", DirectiveStage::Expanded, "FILE", nullptr, false},
    {DirectiveKind::LoadFile, "loadfile", DirectiveStage::Expanded, "NAME,FILE", nullptr, false},
    {DirectiveKind::Host, "host", DirectiveStage::Target, "HOST", "Host", false},
    {DirectiveKind::Port, "port", DirectiveStage::Target, "PORT", "Port", false},
    {DirectiveKind::MultiHost, "multihost", DirectiveStage::Target,
     "HOST[:PORT],[PREFIX,]USER,PASSWORD", "multihost", false},
    {DirectiveKind::WaitFor, "waitfor", DirectiveStage::Run, "EVENT", "waitfor", true},
    {DirectiveKind::Event, "event", DirectiveStage::Run, "EVENT", "event", true},
    {DirectiveKind::RendezVous, "rendezvous", DirectiveStage::Run, "NAME", "rendezvous", true},
    {DirectiveKind::SaveNext, "savenext", DirectiveStage::Run, "BUFFER", "savenext", true},
    {DirectiveKind::Set, "set", DirectiveStage::Run, "BUFFER,VALUE", "set", true},
    {DirectiveKind::Wait, "wait", DirectiveStage::Run, "MILLISECONDS", nullptr, false},
    {DirectiveKind::Expect, "expect", DirectiveStage::Run, "PATTERN", "expect", false},
    {DirectiveKind::Until, "until", DirectiveStage::Run, "PATTERN,WITHIN[,EVERY]", "until", false},
    {DirectiveKind::Group, "group", DirectiveStage::Naming, "NAME[,NAME...]", nullptr, false},
    {DirectiveKind::AnswerTimeout, "answer-timeout", DirectiveStage::Naming, "MILLISECONDS",
     nullptr, false},
    {DirectiveKind::GreetingTimeout, "greeting-timeout", DirectiveStage::Naming, "MILLISECONDS",
     nullptr, false},
    {DirectiveKind::ConnectTimeout, "connect-timeout", DirectiveStage::Naming, "MILLISECONDS",
     nullptr, false},
    {DirectiveKind::Attempts, "attempts", DirectiveStage::Naming, "N", nullptr, false},
};

const DirectiveEntry kUnknownDirective{
    DirectiveKind::Unknown, "", DirectiveStage::Unknown, "", nullptr, false};

std::string keywordOf(std::string_view line) {
    const std::size_t start = line.empty() ? 0 : 1;
    const auto equals = line.find('=', start);
    return ToLowerAscii(std::string(
        line.substr(start, equals == std::string_view::npos ? equals : equals - start)));
}

}  // namespace

const DirectiveEntry& FindDirective(std::string_view keyword) {
    for (const DirectiveEntry& entry : kDirectives) {
        if (keyword == entry.name) {
            return entry;
        }
    }
    return kUnknownDirective;
}

std::vector<std::string> DirectiveNames() {
    std::vector<std::string> names;
    for (const DirectiveEntry& entry : kDirectives) {
        names.emplace_back(entry.name);
    }
    return names;
}

bool IsDirectiveLine(std::string_view line) {
    return !line.empty() && line[0] == '*';
}

const DirectiveEntry& DirectiveOf(std::string_view line) {
    return FindDirective(keywordOf(line));
}

DirectiveView SplitDirectiveView(std::string_view line) {
    std::string keyword = keywordOf(line);
    const DirectiveEntry* entry = &FindDirective(keyword);
    const std::size_t start = line.empty() ? 0 : 1;
    const auto equals = line.find('=', start);
    if (equals == std::string_view::npos) {
        return {std::move(keyword), std::string_view(), entry};
    }
    const char* const blanks = " \t";
    const auto first = line.find_first_not_of(blanks, equals + 1);
    if (first == std::string_view::npos) {
        return {std::move(keyword), std::string_view(), entry};
    }
    const auto last = line.find_last_not_of(blanks);
    return {std::move(keyword), line.substr(first, last - first + 1), entry};
}

Directive SplitDirective(std::string_view line) {
    DirectiveView view = SplitDirectiveView(line);
    return {std::move(view.keyword), std::string(view.argument), view.entry};
}

BodyDirective ReadBodyDirective(const DirectiveView& view, int bodyLine, std::string& problem) {
    BodyDirective directive;
    directive.line = bodyLine;
    directive.entry = view.entry;
    const DirectiveKind kind = view.entry->kind;
    // A "set" value may be a whole loaded file: the buffer holds it, not the directive.
    const std::string_view value = kind == DirectiveKind::Set
                                       ? view.argument.substr(0, view.argument.find(','))
                                       : view.argument;
    directive.value = std::string(value);
    if (kind == DirectiveKind::Wait) {
        directive.readable = ReadPause(directive.value, directive.pauseMs);
    } else if (kind == DirectiveKind::Until) {
        directive.readable = ReadUntil(directive.value, directive.until, problem);
    }
    if (kind == DirectiveKind::Expect || (kind == DirectiveKind::Until && directive.readable)) {
        directive.pattern = std::make_shared<const AnswerPattern>(
            kind == DirectiveKind::Expect ? directive.value : directive.until.pattern,
            directive.patternProblem);
    }
    return directive;
}
