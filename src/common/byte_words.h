#pragma once
// Tests on eight bytes at once, for the texts a run writes by the hundred thousand: each tells
// exactly whether any byte of the word is of a kind.

#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/pieces.h"

constexpr std::uint64_t kEachByte = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Whether each byte is printable ASCII, 0x20 to 0x7e.
constexpr bool PrintableAsciiWord(std::uint64_t word) {
    const std::uint64_t below = (word - 0x20 * kEachByte) & ~word;  // a byte under 0x20
    const std::uint64_t above = (word + 0x01 * kEachByte) | word;   // a byte over 0x7e
    return ((below | above) & kHighBits) == 0;
}

// The high bit of each byte of the word that is zero, and of no other.
constexpr std::uint64_t ZeroBytes(std::uint64_t word) {
    constexpr std::uint64_t kLowBits = 0x7f * kEachByte;
    return ~(((word & kLowBits) + kLowBits) | word | kLowBits);
}

constexpr bool WordHolds(std::uint64_t word, char byte) {
    const std::uint64_t zeroWhereByte = word ^ (static_cast<unsigned char>(byte) * kEachByte);
    return ((zeroWhereByte - kEachByte) & ~zeroWhereByte & kHighBits) != 0;
}

// Whether `plain`, a test of each byte of a word, holds for every word of `text`, the last
// one padded with spaces: each byte is tested once.
template <typename WordTest>
bool EveryWordOf(std::string_view text, WordTest plain) {
    std::uint64_t word = 0;
    std::size_t at = 0;
    for (; at + sizeof word <= text.size(); at += sizeof word) {
        std::memcpy(&word, text.data() + at, sizeof word);
        if (!plain(word)) {
            return false;
        }
    }
    if (at == text.size()) {
        return true;
    }
    word = 0x20 * kEachByte;
    CopyShortPiece(reinterpret_cast<char*>(&word), text.data() + at, text.size() - at);
    return plain(word);
}

// Whether every byte of `text` is printable ASCII.
inline bool PrintableAscii(std::string_view text) {
    return EveryWordOf(text, [](std::uint64_t word) { return PrintableAsciiWord(word); });
}

// How many LFs `text` holds, when every other byte of it is printable ASCII; npos otherwise.
inline std::size_t PlainLineEnds(std::string_view text) {
    std::size_t lineEnds = 0;
    const bool plain = EveryWordOf(text, [&lineEnds](std::uint64_t word) {
        const std::uint64_t ends = ZeroBytes(word ^ ('\n' * kEachByte));
        // One in each byte that ends a line, summed into the top byte.
        lineEnds += static_cast<std::size_t>(((ends >> 7) * kEachByte) >> 56);
        return PrintableAsciiWord(word ^ ((ends >> 7) * ('\n' ^ ' ')));
    });
    return plain ? lineEnds : std::string_view::npos;
}
