#pragma once
// Byte-string helpers shared by the subsystems.

#include <cstdarg>
#include <string>
#include <string_view>
#include <vector>

#if defined(__GNUC__)
#define TRANSMITTER_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TRANSMITTER_PRINTF(fmt, args)
#endif

// Removes the leading and trailing characters that belong to `set`; a text made only of them
// becomes empty.
std::string TrimBoth(const std::string& text, const std::string& set);

// Replaces every occurrence of `from`, scanning from the start and resuming just after each
// inserted text, so the inserted text is never matched again. An empty `from` changes nothing.
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);

// ASCII A..Z to a..z only; every other byte unchanged.
std::string ToLowerAscii(const std::string& text);
// Whether two texts are the same but for the case of ASCII letters.
bool EqualsIgnoringAsciiCase(std::string_view first, std::string_view second);

// Inline: the executor and the line walkers call these for every line.
inline bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}
inline bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}
inline bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// The line of `text` that starts at `position`: up to the next LF or the end of the text, the
// LF not included; `position` moves to the start of the next line. False once `position` has
// reached the end. The one way every part of the program walks the lines of a text.
inline bool NextLine(std::string_view text, std::size_t& position, std::string_view& line) {
    if (position >= text.size()) {
        return false;
    }
    const auto end = text.find('\n', position);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    line = text.substr(position, stop - position);
    position = end == std::string_view::npos ? text.size() : end + 1;
    return true;
}

// A number in decimal digits, appended.
void AppendDecimal(std::string& output, long long number);
// The decimal number that ends `text` made one higher, in place ("a:199" -> "a:200").
void CountUp(std::string& text);
// The same for the number that ends at `end` in `text`.
void CountUpAt(std::string& text, std::size_t end);

// Two hexadecimal digits per byte, high four bits first, "0"-"9" and "A"-"F", appended.
void AppendHex(std::string_view bytes, std::string& output);
// The value of one digit appendHex writes; -1 for any other byte.
int HexDigitValue(char digit);
// The bytes of appendHex's digits.
std::string BytesOfHex(std::string_view hex);

// Reads a decimal integer as the C runtime's atoi does: leading blanks skipped, optional sign,
// digits up to the first other byte, no digits giving 0. Saturates instead of overflowing.
long long ReadDecimal(const std::string& text);

// printf-style formatting into a string of any length.
std::string FormatStringV(const char* format, va_list args);

// The name of `names` that `word` is a typo of (at most two edits: a letter added, dropped,
// changed, or two neighbours swapped), or empty.
std::string NearestName(const std::string& word, const std::vector<std::string>& names);

// Text as a message, the log or a terminal may show it, taken as UTF-8: C0 controls but tab
// (line breaks among them) and DEL written \xNN, C1 controls and the bidirectional embeddings,
// overrides and isolates (U+202A-U+202E, U+2066-U+2069) written \u{...}, and every byte that is
// not part of valid UTF-8 written \xNN; so that what a script or a server sends can neither
// start a line of its own nor act on the terminal.
std::string EscapedControls(std::string_view text);
// True for valid UTF-8 that holds at least one byte outside ASCII.
bool IsUtf8Text(std::string_view text);
