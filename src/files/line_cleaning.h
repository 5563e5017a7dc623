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

// Cleans `text` where it stands (cleaning only ever removes bytes): splits at every LF, keeps
// each line's CleanScriptLine, drops the lines left empty and ends every kept line with one LF.
// `kept(line, number)` is told each kept line, a view into `text` at its final place, and its
// number (from 1) in the text as it was.
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
    // Comments are rare: the text is searched for the next "#" once, not each line for one.
    // Bytes are only ever moved back over lines already read.
    std::size_t hash = whole.find('#');
    while (NextLine(whole, position, read)) {
        const bool mayHoldHash = hash < position;
        const std::string_view line = CleanScriptLine(read, ++number == 1, mayHoldHash);
        if (mayHoldHash) {
            hash = whole.find('#', position);
        }
        if (line.empty()) {
            continue;
        }
        if (line.data() != text.data() + keptBytes) {
            std::memmove(&text[keptBytes], line.data(), line.size());
        }
        kept(std::string_view(text.data() + keptBytes, line.size()), number);
        keptBytes += line.size();
        text[keptBytes++] = '\n';
    }
    text.resize(keptBytes);
}

// The same, into a text of its own.
std::string CleanScriptLines(std::string text);
