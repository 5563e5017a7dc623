#pragma once
// Tests on eight bytes at once, for the texts a run writes by the hundred thousand: each tells
// exactly whether any byte of the word is of a kind.

#include <cstdint>
#include <cstring>
#include <string_view>

constexpr std::uint64_t kEachByte = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

// Whether each byte is printable ASCII, 0x20 to 0x7e.
constexpr bool PrintableAsciiWord(std::uint64_t word) {
    const std::uint64_t below = (word - 0x20 * kEachByte) & ~word;  // a byte under 0x20
    const std::uint64_t above = (word + 0x01 * kEachByte) | word;   // a byte over 0x7e
    return ((below | above) & kHighBits) == 0;
}

constexpr bool WordHolds(std::uint64_t word, char byte) {
    const std::uint64_t zeroWhereByte = word ^ (static_cast<unsigned char>(byte) * kEachByte);
    return ((zeroWhereByte - kEachByte) & ~zeroWhereByte & kHighBits) != 0;
}

// Whether `plain` holds for every word of `text`, the last one padded with spaces.
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
    std::memcpy(&word, text.data() + at, text.size() - at);
    return plain(word);
}
