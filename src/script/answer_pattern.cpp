#define PCRE2_CODE_UNIT_WIDTH 8
#include "script/answer_pattern.h"

#include <pcre2.h>

#include "script/script_check.h"

namespace {

// Enough for any pattern a script holds against an answer line; a pathological one stops
// here instead of running for ever.
constexpr std::uint32_t kMatchLimit = 1000000;
constexpr std::uint32_t kDepthLimit = 10000;

// A pause as *wait reads it, but with its unit ("500ms", "2s") and at most seven digits, so that
// a deadline that far ahead still fits the clock.
bool readTime(const std::string& text, long long& milliseconds) {
    const std::size_t digits = text.find_first_not_of("0123456789");
    return digits != std::string::npos && digits <= 7 && readPause(text, milliseconds);
}

}  // namespace

struct AnswerPatternCode {
    pcre2_code* code = nullptr;
    pcre2_match_context* context = nullptr;
    ~AnswerPatternCode() {
        pcre2_match_context_free(context);
        pcre2_code_free(code);
    }
};

AnswerPattern::AnswerPattern(const std::string& text, std::string& problem) : text_(text) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    auto code = std::make_shared<AnswerPatternCode>();
    code->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                               PCRE2_ANCHORED | PCRE2_ENDANCHORED, &error, &offset, nullptr);
    if (code->code == nullptr) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(error, message, sizeof message);
        problem = std::string(reinterpret_cast<const char*>(message)) + " at column " +
                  std::to_string(offset + 1);
        return;
    }
    code->context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(code->context, kMatchLimit);
    pcre2_set_depth_limit(code->context, kDepthLimit);
    code_ = std::move(code);
}

bool AnswerPattern::matches(const std::string& answer) const {
    if (!code_) {
        return false;
    }
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code_->code, nullptr);
    if (data == nullptr) {
        return false;
    }
    const int result = pcre2_match(code_->code, reinterpret_cast<PCRE2_SPTR>(answer.data()),
                                   answer.size(), 0, 0, data, code_->context);
    pcre2_match_data_free(data);
    return result >= 0;
}

bool readUntil(const std::string& value, UntilValue& until, std::string& problem) {
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
