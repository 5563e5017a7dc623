#pragma once
// The limits a target may have of its own: those of the options --answer-timeout,
// --greeting-timeout, --connect-timeout and --attempts, which the script's *answer-timeout=MS,
// *greeting-timeout=MS, *connect-timeout=MS and *attempts=N set for the targets started after
// them.

#include <array>
#include <cstddef>
#include <string>

enum class LimitKind { AnswerTimeout, GreetingTimeout, ConnectTimeout, Attempts };
constexpr std::size_t kLimitKinds = 4;

struct LimitBounds {
    const char* name;  // as the option and the directive write it, without "--" or "*"
    long long lowest;
    long long highest;
    const char* unit;
};
const LimitBounds& BoundsOf(LimitKind kind);

// A whole number within the bounds of `kind`, into `value`; else why not ("a whole number of
// milliseconds from 10 to 600000"), and `value` is left as it was.
std::string ReadLimit(LimitKind kind, const std::string& text, int& value);

// What a script gives one target: -1 where it gives nothing, and the run's limit holds.
struct TargetLimits {
    std::array<int, kLimitKinds> values{-1, -1, -1, -1};
    int of(LimitKind kind) const { return values[static_cast<std::size_t>(kind)]; }
};
