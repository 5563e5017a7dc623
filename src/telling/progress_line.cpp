#include "telling/progress_line.h"

#include "common/strings.h"
#include "files/console.h"
#include "script/directive.h"
#include "telling/listeners.h"

namespace {

constexpr auto kFirstDrawAfter = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

// "9 000": thousands set apart, as a person reads them.
std::string grouped(std::size_t number) {
    std::string digits = std::to_string(number);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, " ");
    }
    return digits;
}

std::size_t commandLines(const CHostScript& script) {
    std::size_t count = 0;
    std::size_t position = 0;
    std::string_view line;
    while (NextLine(script.text, position, line)) {
        count += !line.empty() && !IsDirectiveLine(line) ? 1 : 0;
    }
    return count;
}

// Characters, not bytes: a name may be UTF-8.
std::size_t shownWidth(std::string_view text) {
    std::size_t width = 0;
    for (const char byte : text) {
        width += (static_cast<unsigned char>(byte) & 0xC0) == 0x80 ? 0 : 1;
    }
    return width;
}

// The last `width` characters of `text`, marked as cut.
std::string endOf(const std::string& text, std::size_t width) {
    if (shownWidth(text) <= width) {
        return text;
    }
    std::size_t start = text.size();
    for (std::size_t kept = 0; start > 0 && kept + 1 < width;) {
        --start;
        kept += (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80 ? 0 : 1;
    }
    return width == 0 ? std::string() : "~" + text.substr(start);
}

}  // namespace

ProgressLine::ProgressLine(const ScriptList& scripts, const LineNames& names, int attempts,
                           bool checking)
    : scripts_(scripts),
      names_(names),
      attempts_(attempts),
      checking_(checking),
      targets_(std::make_unique<Target[]>(LastPlace(scripts))) {
    for (const auto& script : scripts) {
        commands_ += commandLines(*script);
    }
    drawer_ = std::thread([this] { draw(); });
}

void ProgressLine::stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (drawer_.joinable()) {
        drawer_.join();
        ShowStatusLine(std::string());
    }
}

long long ProgressLine::msSinceStart() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start_)
        .count();
}

void ProgressLine::touch(Target& target, int line) {
    if (line > 0) {
        target.line.store(line, std::memory_order_relaxed);
    }
    target.quietSinceMs.store(msSinceStart(), std::memory_order_relaxed);
}

void ProgressLine::attemptBegins(const CHostScript& script, int attempt) {
    Target& target = of(script);
    target.attempt.store(attempt, std::memory_order_relaxed);
    target.sentNow.store(0, std::memory_order_relaxed);
    target.ownLineFirst = checking_;
    touch(target, 0);
}

// Each line of a target's script counts once, however many attempts send it.
void ProgressLine::sent(const CHostScript& script, std::string_view commands) {
    Target& target = of(script);
    std::size_t lines = 0;
    for (const char byte : commands) {
        lines += byte == '\n' ? 1 : 0;
    }
    if (target.ownLineFirst && lines > 0) {
        target.ownLineFirst = false;
        --lines;
    }
    const std::size_t now = target.sentNow.load(std::memory_order_relaxed) + lines;
    target.sentNow.store(now, std::memory_order_relaxed);
    if (now > target.sentMost) {
        sent_.fetch_add(now - target.sentMost, std::memory_order_relaxed);
        target.sentMost = now;
    }
    touch(target, 0);
}

void ProgressLine::judged(const CHostScript& script, int line, std::string_view, const std::string&,
                          Verdict) {
    touch(of(script), line);
}

void ProgressLine::waitBegins(const CHostScript& script, int line, WaitKind, const std::string&) {
    touch(of(script), line);
}

void ProgressLine::targetEnds(const CHostScript& script, TargetEnd end) {
    of(script).quietSinceMs.store(-1, std::memory_order_relaxed);
    auto& count = end == TargetEnd::Succeeded ? succeeded_ : failed_;
    count.fetch_add(1, std::memory_order_relaxed);
}

std::string ProgressLine::text(std::size_t width) const {
    const std::size_t total = scripts_.size();
    const std::size_t done = succeeded_.load();
    const std::size_t failed = failed_.load();
    const std::string counted =
        grouped(done) + "/" + grouped(total) + " done, " + grouped(failed) + " failed";
    const std::string whole = counted + ", " + grouped(total - std::min(total, done + failed)) +
                              " at work; " + grouped(std::min(sent_.load(), commands_)) + " of " +
                              grouped(commands_) + " commands";
    const CHostScript* longest = nullptr;
    long long since = 0;
    for (const auto& script : scripts_) {
        const long long quiet = targets_[script->place - 1].quietSinceMs.load();
        if (quiet >= 0 && (longest == nullptr || quiet < since)) {
            longest = script.get();
            since = quiet;
        }
    }
    if (longest == nullptr) {
        return endOf(whole, width);
    }
    const Target& target = targets_[longest->place - 1];
    const int line = target.line.load();
    const std::string where = line > 0 ? names_(line) : std::string();
    // A target's own *attempts wins over the run's.
    const int own = longest->ownLimits.of(LimitKind::Attempts);
    const std::string waiting = "waiting: " + TargetName(*longest) + " attempt " +
                                std::to_string(target.attempt.load()) + "/" +
                                std::to_string(own > 0 ? own : attempts_) +
                                (where.empty() ? std::string() : " at " + where);
    // The waiting target is what the person looks for: the counts give way first.
    for (const std::string* counts : {&whole, &counted}) {
        const std::string text = *counts + "; " + EscapedControls(waiting);
        if (shownWidth(text) <= width) {
            return text;
        }
    }
    return endOf(EscapedControls(waiting), width);
}

void ProgressLine::draw() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_for(lock, kFirstDrawAfter, [this] { return stopping_; })) {
        return;
    }
    do {
        // One column short of the terminal: a line that fills it would wrap on some terminals.
        const int columns = StatusLineWidth();
        ShowStatusLine(text(columns > 1 ? static_cast<std::size_t>(columns) - 1 : 0));
    } while (!wake_.wait_for(lock, kRedrawEvery, [this] { return stopping_; }));
}
