#pragma once
// Text put together from pieces at the end of a string in one step: a record of a run that
// writes hundreds of thousands of them costs one growth of the string, not one per piece.

#include <cstring>
#include <string>
#include <string_view>

// Copies `size` bytes, fewer than eight, in fixed-size moves.
inline void CopyShortPiece(char* to, const char* from, std::size_t size) {
    if (size >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + size - 4, from + size - 4, 4);
    } else if (size > 0) {
        to[0] = from[0];
        to[size / 2] = from[size / 2];
        to[size - 1] = from[size - 1];
    }
}

// Copies `size` bytes. Most pieces of a record are a few bytes long: they are copied in
// fixed-size moves the compiler writes out, not in a call to the library's copy each.
inline void CopyPiece(char* to, const char* from, std::size_t size) {
    if (size > 32) {
        std::memcpy(to, from, size);
    } else if (size >= 16) {
        std::memcpy(to, from, 16);
        std::memcpy(to + size - 16, from + size - 16, 16);
    } else if (size >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else {
        CopyShortPiece(to, from, size);
    }
}

template <typename... Pieces>
void AppendPieces(std::string& out, const Pieces&... pieces) {
    const std::string_view views[] = {std::string_view(pieces)...};
    std::size_t at = out.size();
    std::size_t total = at;
    for (const std::string_view view : views) {
        total += view.size();
    }
    out.resize(total);
    for (const std::string_view view : views) {
        CopyPiece(&out[at], view.data(), view.size());
        at += view.size();
    }
}
