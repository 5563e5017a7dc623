#pragma once
// Text put together from pieces at the end of a string in one step: a record of a run that
// writes hundreds of thousands of them costs one growth of the string, not one per piece.

#include <cstring>
#include <string>
#include <string_view>

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
        if (!view.empty()) {  // an empty view may have no bytes at all to point to
            std::memcpy(&out[at], view.data(), view.size());
            at += view.size();
        }
    }
}
