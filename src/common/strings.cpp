#include "common/strings.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <vector>

namespace {

std::string trimLeft(const std::string& text, const std::string& set) {
    const auto first = text.find_first_not_of(set);
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::string trimRight(const std::string& text, const std::string& set) {
    const auto last = text.find_last_not_of(set);
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

}  // namespace

std::string TrimBoth(const std::string& text, const std::string& set) {
    return trimLeft(trimRight(text, set), set);
}

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return text;
    }
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    for (auto found = text.find(from); found != std::string::npos; found = text.find(from, start)) {
        result.append(text, start, found - start);
        result += to;
        start = found + from.size();
    }
    result.append(text, start, std::string::npos);
    return result;
}

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string ToLowerAscii(const std::string& text) {
    std::string result = text;
    for (char& c : result) {
        c = lowerAscii(c);
    }
    return result;
}

bool EqualsIgnoringAsciiCase(std::string_view first, std::string_view second) {
    return first.size() == second.size() &&
           std::equal(first.begin(), first.end(), second.begin(),
                      [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
}

long long ReadDecimal(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (value > (LLONG_MAX - digit) / 10) {
            return negative ? LLONG_MIN : LLONG_MAX;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

std::string FormatStringV(const char* format, va_list args) {
    if (format == nullptr) {
        return std::string();
    }
    // First try room for twice the format's length, then exactly what the formatter asks.
    std::vector<char> buffer(2 * std::char_traits<char>::length(format) + 1);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        const int needed = std::vsnprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (needed < 0) {
            if (buffer.size() > (std::size_t{1} << 30)) {
                return std::string();  // encoding error, not a size problem
            }
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (static_cast<std::size_t>(needed) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(needed));
        }
        buffer.resize(static_cast<std::size_t>(needed) + 1);
    }
}

void AppendDecimal(std::string& output, long long number) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    output.append(digits, end);
}

void CountUp(std::string& text) {
    CountUpAt(text, text.size());
}

void CountUpAt(std::string& text, std::size_t end) {
    std::size_t at = end;
    while (at > 0 && text[at - 1] == '9') {
        text[--at] = '0';
    }
    if (at > 0 && text[at - 1] >= '0' && text[at - 1] <= '8') {
        ++text[at - 1];
    } else {
        text.insert(at, 1, '1');
    }
}

void AppendHex(std::string_view bytes, std::string& output) {
    static const char kDigits[] = "0123456789ABCDEF";
    const std::size_t start = output.size();
    output.resize(start + bytes.size() * 2);
    char* hex = &output[start];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        hex[2 * i] = kDigits[byte >> 4];
        hex[2 * i + 1] = kDigits[byte & 0x0F];
    }
}

int HexDigitValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

std::string BytesOfHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1]));
    }
    return bytes;
}

namespace {

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = i + j;
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

}  // namespace

std::string NearestName(const std::string& word, const std::vector<std::string>& names) {
    std::string nearest;
    std::size_t best = 3;
    for (const std::string& name : names) {
        const std::size_t distance = editDistance(word, name);
        if (distance < best) {
            best = distance;
            nearest = name;
        }
    }
    return nearest;
}

namespace {

// The length of the valid UTF-8 sequence at `at` and its code point; 0 when none stands there
// (a stray or missing continuation byte, an overlong form, a surrogate, past U+10FFFF).
std::size_t utf8Sequence(std::string_view text, std::size_t at, char32_t& code) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    static constexpr char32_t kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid =
        code >= kLowest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    return valid ? length : 0;
}

// Controls that would act on a terminal or turn the text around where it is shown: C0 but tab,
// DEL, C1, and the bidirectional embeddings, overrides and isolates.
bool actsOnDisplay(char32_t code) {
    return (code < 0x20 && code != '\t') || (code >= 0x7F && code <= 0x9F) ||
           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

std::string EscapedControls(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t code = 0;
        const std::size_t length = utf8Sequence(text, at, code);
        if (length == 0 || (length == 1 && actsOnDisplay(code))) {
            escaped += "\\x";
            AppendHex(text.substr(at, 1), escaped);
            at += 1;
        } else if (actsOnDisplay(code)) {
            char written[16];
            std::snprintf(written, sizeof written, "\\u{%X}", static_cast<unsigned>(code));
            escaped += written;
            at += length;
        } else {
            escaped.append(text, at, length);
            at += length;
        }
    }
    return escaped;
}

bool IsUtf8Text(std::string_view text) {
    bool beyondAscii = false;
    for (std::size_t at = 0; at < text.size();) {
        char32_t code = 0;
        const std::size_t length = utf8Sequence(text, at, code);
        if (length == 0) {
            return false;
        }
        beyondAscii = beyondAscii || length > 1;
        at += length;
    }
    return beyondAscii;
}
