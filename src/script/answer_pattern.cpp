#define PCRE2_CODE_UNIT_WIDTH 8
#include "script/answer_pattern.h"

#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "common/strings.h"

namespace {

// A match may create this many backtracking points for each byte of the answer, and a
// constant more: patterns that walk an answer once (LOGO\.DATA=([0-9A-F]{2})+ on a 16 MiB
// answer) stay far below, patterns that backtrack without end stop here.
constexpr std::uint32_t kMatchStepsBase = 1000000;
constexpr std::uint32_t kMatchStepsPerByte = 2;
// The stack of one compiled match; a pattern that needs more stops there.
constexpr PCRE2_SIZE kJitStackBytes = 256u << 20;
// A pattern whose single step may walk the whole answer (a look-around, an atomic group, a
// possessive repeat) is matched step by step with its time watched, since counting steps does
// not bound it: a look-ahead with a possessive scan at every byte is quadratic.
constexpr auto kWatchedMatchTime = std::chrono::milliseconds(1000);
// What the step-by-step matcher may take of the heap.
constexpr std::uint32_t kHeapLimitKib = 256u << 10;

// A pause as *wait reads it, but with its unit ("500ms", "2s") and at most seven digits, so that
// a deadline that far ahead still fits the clock.
bool readTime(const std::string& text, long long& milliseconds) {
    const std::size_t digits = text.find_first_not_of("0123456789");
    return digits != std::string::npos && digits <= 7 && ReadPause(text, milliseconds);
}

// The repeats without an upper bound ("*", "+", "{N,}") outside escapes and classes.
int unboundedRepeats(const std::string& text) {
    int repeats = 0;
    bool inClass = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '\\') {
            ++at;
        } else if (inClass) {
            inClass = c != ']';
        } else if (c == '[') {
            inClass = true;
            at += at + 1 < text.size() && text[at + 1] == ']' ? 1 : 0;
        } else if (c == '*' || c == '+') {
            repeats += at > 0 && (text[at - 1] == '*' || text[at - 1] == '+') ? 0 : 1;
        } else if (c == '{') {
            const auto close = text.find('}', at);
            repeats += close != std::string::npos && text[close - 1] == ',' ? 1 : 0;
        }
    }
    return repeats;
}

// Constructs whose one step may scan far, and repeats that backtrack into one another
// (".*.*=.*" walks the answer again for every place of the first repeat): counting steps
// does not bound them. Text that merely looks like one (an escaped "*" before a "+") only
// costs the watched, slower road.
bool mayScanInOneStep(const std::string& text) {
    for (const char* construct : {"(?=", "(?!", "(?<", "(?>", "(*", "*+", "++", "?+", "}+"}) {
        if (text.find(construct) != std::string::npos) {
            return true;
        }
    }
    return unboundedRepeats(text) > 1;
}

int stopWhenLate(pcre2_callout_block*, void* deadline) {
    const auto& until = *static_cast<std::chrono::steady_clock::time_point*>(deadline);
    return std::chrono::steady_clock::now() > until ? PCRE2_ERROR_CALLOUT : 0;
}

}  // namespace

struct AnswerPatternCode {
    pcre2_code* code = nullptr;
    bool watched = false;
    ~AnswerPatternCode() { pcre2_code_free(code); }
};

AnswerPattern::AnswerPattern(const std::string& text, std::string& problem) : text_(text) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    auto code = std::make_shared<AnswerPatternCode>();
    code->watched = mayScanInOneStep(text);
    // A repeat made possessive behind the script's back would scan without being counted.
    const std::uint32_t options = PCRE2_ANCHORED | PCRE2_ENDANCHORED | PCRE2_NO_AUTO_POSSESS |
                                  (code->watched ? PCRE2_AUTO_CALLOUT : 0);
    code->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), options,
                               &error, &offset, nullptr);
    if (code->code == nullptr) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, sizeof message);
        problem = std::string(reinterpret_cast<const char*>(message)) + " at column " +
                  std::to_string(offset + 1);
        return;
    }
    if (!code->watched) {
        pcre2_jit_compile(code->code, PCRE2_JIT_COMPLETE);  // without it, the same limits hold
    }
    code_ = std::move(code);
}

AnswerPattern::Match AnswerPattern::match(const std::string& answer) const {
    if (!code_) {
        return Match::No;
    }
    using MatchContext = std::unique_ptr<pcre2_match_context, void (*)(pcre2_match_context*)>;
    using MatchData = std::unique_ptr<pcre2_match_data, void (*)(pcre2_match_data*)>;
    using JitStack = std::unique_ptr<pcre2_jit_stack, void (*)(pcre2_jit_stack*)>;
    MatchContext context(pcre2_match_context_create(nullptr), pcre2_match_context_free);
    MatchData data(pcre2_match_data_create_from_pattern(code_->code, nullptr),
                   pcre2_match_data_free);
    JitStack stack(
        code_->watched ? nullptr : pcre2_jit_stack_create(32768, kJitStackBytes, nullptr),
        pcre2_jit_stack_free);
    if (!context || !data) {
        return Match::TooManySteps;
    }
    const std::uint64_t steps = kMatchStepsBase + kMatchStepsPerByte * std::uint64_t{answer.size()};
    pcre2_set_match_limit(context.get(),
                          static_cast<std::uint32_t>(std::min<std::uint64_t>(steps, UINT32_MAX)));
    pcre2_set_heap_limit(context.get(), kHeapLimitKib);
    auto deadline = std::chrono::steady_clock::now() + kWatchedMatchTime;
    if (code_->watched) {
        pcre2_set_callout(context.get(), stopWhenLate, &deadline);
    } else if (stack) {
        pcre2_jit_stack_assign(context.get(), nullptr, stack.get());
    }
    const int result = pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(answer.data()),
                                   answer.size(), 0, 0, data.get(), context.get());
    if (result >= 0) {
        return Match::Yes;
    }
    return result == PCRE2_ERROR_NOMATCH || result == PCRE2_ERROR_PARTIAL ? Match::No
                                                                          : Match::TooManySteps;
}

bool ReadPause(const std::string& value, long long& milliseconds) {
    std::size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9') {
        ++digits;
    }
    const std::string unit = value.substr(digits);
    if (digits == 0 || digits > 9 || (unit != "" && unit != "ms" && unit != "s")) {
        return false;
    }
    milliseconds = ReadDecimal(value.substr(0, digits)) * (unit == "s" ? 1000 : 1);
    return milliseconds > 0;
}

bool ReadUntil(const std::string& value, UntilValue& until, std::string& problem) {
    const auto last = value.rfind(',');
    long long first = 0;
    if (last == std::string::npos || !readTime(value.substr(last + 1), first)) {
        problem = "*until=" + value + " needs a time to wait within, with its unit: " +
                  "*until=PATTERN,10s or *until=PATTERN,10s,500ms";
        return false;
    }
    const auto before = last == 0 ? std::string::npos : value.rfind(',', last - 1);
    long long second = 0;
    if (before != std::string::npos &&
        readTime(value.substr(before + 1, last - before - 1), second)) {
        until.pattern = value.substr(0, before);
        until.withinMs = second;
        until.everyMs = first;
    } else {
        until.pattern = value.substr(0, last);
        until.withinMs = first;
    }
    return true;
}
