#include "script/script_check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string_view>

#include "common/strings.h"
#include "script/directive.h"

namespace {

// Facts of one kind, by name.
std::multimap<std::string, const LineFact*> byName(const ScriptCheck& check, FactKind kind) {
    std::multimap<std::string, const LineFact*> found;
    for (const LineFact& fact : check.facts) {
        if (fact.kind == kind) {
            found.emplace(fact.name, &fact);
        }
    }
    return found;
}

// True when a line of another host, or an earlier line of the same one, does it.
bool doneInTime(const std::multimap<std::string, const LineFact*>& doers, const LineFact& user) {
    const auto range = doers.equal_range(user.name);
    return std::any_of(range.first, range.second, [&user](const auto& doer) {
        return doer.second->segment != user.segment || doer.second->line < user.line;
    });
}

void add(ScriptCheck& check, int line, std::string message) {
    check.problems.push_back({line, std::move(message)});
}

void checkWaits(ScriptCheck& check) {
    const auto raisers = byName(check, FactKind::Raise);
    for (const LineFact& fact : check.facts) {
        if (fact.kind != FactKind::Await || doneInTime(raisers, fact)) {
            continue;
        }
        add(check, fact.line,
            raisers.count(fact.name) == 0
                ? "*waitfor=" + fact.name + " waits for ever: no *event=" + fact.name +
                      " line raises it"
                : "*waitfor=" + fact.name + " waits for ever: only this host raises it, later");
    }
}

void checkTemplates(ScriptCheck& check) {
    auto storers = byName(check, FactKind::SaveNext);
    for (const auto& [name, fact] : byName(check, FactKind::Set)) {
        storers.emplace(name, fact);
    }
    for (const LineFact& fact : check.facts) {
        if (fact.kind != FactKind::Template || doneInTime(storers, fact) ||
            check.outsideBuffers.count(fact.name) != 0) {
            continue;
        }
        add(check, fact.line,
            storers.count(fact.name) == 0
                ? "buffer '" + fact.name + "' of this template is stored by no *set or " +
                      "*savenext line, nor by --set or --set-file"
                : "buffer '" + fact.name + "' of this template is filled only by this host, " +
                      "later: it would wait for ever");
    }
}

void checkMeetings(ScriptCheck& check) {
    std::set<std::pair<int, std::string>> met;
    for (const LineFact& fact : check.facts) {
        if (fact.kind == FactKind::Meet && !met.insert({fact.segment, fact.name}).second) {
            add(check, fact.line,
                "*rendezvous=" + fact.name + " is met twice by this host: the others would " +
                    "wait for ever at the second");
        }
    }
}

// *savenext, *expect and *until need answers and a command after them.
void checkSaveNext(ScriptCheck& check) {
    for (const LineFact& fact : check.facts) {
        if (fact.kind != FactKind::SaveNext && fact.kind != FactKind::AnswerCheck) {
            continue;
        }
        const std::string shown =
            fact.kind == FactKind::SaveNext ? "*savenext=" + fact.name : fact.name;
        if (!check.answersRead) {
            add(check, fact.line, shown + " needs answers, and --check-none reads none");
            continue;
        }
        const auto segment = static_cast<std::size_t>(fact.segment);
        if (segment >= check.lastCommandLine.size() || check.lastCommandLine[segment] < fact.line) {
            add(check, fact.line, shown + " has no command after it in its host script");
        }
    }
}

}  // namespace

void CheckWholeRun(ScriptCheck& check) {
    checkWaits(check);
    checkTemplates(check);
    checkMeetings(check);
    checkSaveNext(check);
    std::stable_sort(
        check.problems.begin(), check.problems.end(),
        [](const ScriptProblem& a, const ScriptProblem& b) { return a.line < b.line; });
}

std::string UnknownDirectiveProblem(const std::string& written) {
    const std::string keyword = ToLowerAscii(written);
    const DirectiveKind kind = FindDirective(keyword).kind;
    if (kind == DirectiveKind::Include || kind == DirectiveKind::LoadFile) {
        return "*" + written + " inside an included file is not expanded: only the main " +
               "script's *include and *loadfile lines are";
    }
    if (kind != DirectiveKind::Unknown) {
        return std::string();
    }
    const std::string trimmed = TrimBoth(keyword, " \t");
    if (trimmed != keyword && FindDirective(trimmed).kind != DirectiveKind::Unknown) {
        return "a blank between *" + trimmed + " and \"=\": write *" + trimmed + "=VALUE";
    }
    const std::string nearest = NearestName(trimmed, DirectiveNames());
    return "unknown directive *" + written +
           (nearest.empty() ? std::string() : "; did you mean *" + nearest + "?");
}

std::string PortProblem(const std::string& port) {
    if (port.empty()) {
        return kHostOrPortEmpty;
    }
    const bool digits =
        !port.empty() && port.size() <= 5 &&
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
    const long long number = digits ? ReadDecimal(port) : 0;
    if (number >= 1 && number <= 65535) {
        return std::string();
    }
    return "port " + port + " is not a number from 1 to 65535";
}

namespace {

bool isNumberPart(std::string_view part) {
    const bool hex = part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X');
    const std::string_view digits = hex ? part.substr(2) : part;
    return !digits.empty() && std::all_of(digits.begin(), digits.end(), [hex](char c) {
        return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : c >= '0' && c <= '9';
    });
}

// Four decimal numbers from 0 to 255, without leading zeros: the one form of an address that
// means the same to the user and to every network library.
bool isDottedQuad(std::string_view host) {
    int parts = 0;
    for (std::size_t start = 0; start <= host.size(); ++parts) {
        const std::size_t dot = std::min(host.find('.', start), host.size());
        const std::string_view part = host.substr(start, dot - start);
        const bool decimal = !part.empty() && part.size() <= 3 && isNumberPart(part) &&
                             (part.size() == 1 || part[0] != '0');
        if (!decimal || std::stoi(std::string(part)) > 255) {
            return false;
        }
        start = dot + 1;
    }
    return parts == 4;
}

// Every part a number: the network library reads the host as an address, and takes leading
// zeros as octal, 0x as hexadecimal and missing parts as zeros.
bool isNumericHost(std::string_view host) {
    for (std::size_t start = 0; start <= host.size();) {
        const std::size_t dot = std::min(host.find('.', start), host.size());
        if (!isNumberPart(host.substr(start, dot - start))) {
            return false;
        }
        start = dot + 1;
    }
    return true;
}

}  // namespace

std::string HostProblem(const std::string& host) {
    if (host.empty()) {
        return kHostOrPortEmpty;
    }
    const bool name = std::none_of(host.begin(), host.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7f;
    });
    if (!name) {
        return EscapedControls(host) + " is not a host name";
    }
    if (isNumericHost(host) && !isDottedQuad(host)) {
        return host +
               " is not an address as written: write four numbers from 0 to 255 without leading "
               "zeros (the network library reads a leading zero as octal and fills in missing "
               "numbers)";
    }
    return std::string();
}

std::vector<std::string> TemplateBuffers(std::string_view line) {
    std::vector<std::string> names;
    for (auto open = line.find('$', 1); open != std::string_view::npos;) {
        const auto close = line.find('$', open + 1);
        if (close == std::string_view::npos) {
            break;
        }
        names.emplace_back(line.substr(open + 1, close - open - 1));
        open = line.find('$', close + 1);
    }
    return names;
}
