#include "script/target_limits.h"

#include "common/strings.h"

namespace {

constexpr LimitBounds kBounds[kLimitKinds] = {
    {"answer-timeout", 10, 600000, "milliseconds"},
    {"greeting-timeout", 10, 600000, "milliseconds"},
    {"connect-timeout", 10, 600000, "milliseconds"},
    {"attempts", 1, 100, "attempts"},
};

}  // namespace

const LimitBounds& BoundsOf(LimitKind kind) {
    return kBounds[static_cast<std::size_t>(kind)];
}

std::string ReadLimit(LimitKind kind, const std::string& text, int& value) {
    const LimitBounds& bounds = BoundsOf(kind);
    if (!text.empty() && text.size() <= 9 &&
        text.find_first_not_of("0123456789") == std::string::npos) {
        const long long number = ReadDecimal(text);
        if (number >= bounds.lowest && number <= bounds.highest) {
            value = static_cast<int>(number);
            return std::string();
        }
    }
    return std::string("a whole number of ") + bounds.unit + " from " +
           std::to_string(bounds.lowest) + " to " + std::to_string(bounds.highest);
}
