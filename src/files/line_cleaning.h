#pragma once
// Line cleaning of script files: what the preprocessor and the analyser work on.

#include <cstring>
#include <string>
#include <string_view>

#include "common/strings.h"

// The kept part of one line (without its LF): without a UTF-8 byte-order mark (`firstLine`
// only), nothing of a comment line (first byte "#"), without a "##" tail, without leading
// blanks and tabs and without trailing blanks, tabs, CR and LF. Empty when nothing is kept.
// Without `mayHoldHash`, the caller knows the line holds no "#".
std::string_view CleanScriptLine(std::string_view line, bool firstLine, bool mayHoldHash = true);

// Whether a kept line may hold a "^" (which cuts it into several) and a "$" (which begins a
// template): false when it surely holds none.
struct LineMarks {
    bool caret;
    bool dollar;
};

// Where the next given byte is in a text, at or after a place that only ever moves on: the text
// is searched once from each place where one was found, rather than each line for one. The
// text after the place asked about must not change.
class NextByte {
  public:
    NextByte(std::string_view text, char byte) : text_(text), byte_(byte), at_(text.find(byte)) {}
    // Whether one lies before `end`; the next search then begins at `end`.
    bool before(std::size_t end) {
        if (at_ >= end) {
            return false;
        }
        at_ = text_.find(byte_, end);
        return true;
    }

  private:
    std::string_view text_;
    char byte_;
    std::size_t at_;
};

// Cleans `text` where it stands (cleaning only ever removes bytes): splits at every LF, keeps
// each line's CleanScriptLine, drops the lines left empty and ends every kept line with one LF.
// `kept(line, number, marks)` is told each kept line, a view into `text` at its final place with
// its LF already after it, its number (from 1) in the text as it was, and what it may hold.
template <typename Kept>
void CleanScriptLinesInPlace(std::string& text, Kept&& kept) {
    // With a final LF, every kept line and its LF fit where the line was.
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    const std::string_view whole(text);
    std::size_t keptBytes = 0;
    std::size_t position = 0;
    int number = 0;
    std::string_view read;
    // Comments, "^" and "$" are rare: the text is searched for the next of each, not each line.
    // Bytes are only ever moved back over lines already read, so the text ahead stays as it was.
    NextByte hashes(whole, '#');
    NextByte carets(whole, '^');
    NextByte dollars(whole, '$');
    while (NextLine(whole, position, read)) {
        const bool mayHoldHash = hashes.before(position);
        const LineMarks marks{carets.before(position), dollars.before(position)};
        const std::string_view line = CleanScriptLine(read, ++number == 1, mayHoldHash);
        if (line.empty()) {
            continue;
        }
        if (line.data() != text.data() + keptBytes) {
            std::memmove(&text[keptBytes], line.data(), line.size());
        }
        text[keptBytes + line.size()] = '\n';
        kept(std::string_view(text.data() + keptBytes, line.size()), number, marks);
        keptBytes += line.size() + 1;
    }
    text.resize(keptBytes);
}

// The same, into a text of its own.
std::string CleanScriptLines(std::string text);
