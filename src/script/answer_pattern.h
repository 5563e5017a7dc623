#pragma once
// Patterns that an answer must match (*expect, *until): PCRE2 regular expressions matched
// against the whole answer line, with a bound on the work one match may take.

#include <memory>
#include <string>

struct AnswerPatternCode;  // the compiled expression

class AnswerPattern {
  public:
    // Compiles `text`; on failure the pattern matches nothing and `problem` gives PCRE2's own
    // message and the column (from 1) where it stopped.
    AnswerPattern(const std::string& text, std::string& problem);
    enum class Match { Yes, No, TooManySteps };
    // Whether the whole answer matches; TooManySteps when finding out would take more work than
    // one answer is allowed, which is never taken for a mismatch.
    Match match(const std::string& answer) const;
    const std::string& text() const { return text_; }

  private:
    std::string text_;
    std::shared_ptr<AnswerPatternCode> code_;
};

// A pause as written: a whole number of milliseconds, with "ms" or "s" as its unit. False
// for anything else.
bool ReadPause(const std::string& value, long long& milliseconds);

// *until's value, read from the right: "PATTERN,WITHIN[,EVERY]", each time with its unit.
struct UntilValue {
    std::string pattern;
    long long withinMs = 0;
    long long everyMs = 500;
};
// False, with `problem` set, when the value has no WITHIN with its unit.
bool ReadUntil(const std::string& value, UntilValue& until, std::string& problem);
