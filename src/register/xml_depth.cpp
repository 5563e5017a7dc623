#include "register/xml_depth.h"

namespace {

// Position just past `closing` from `from`, or the end of the text.
std::size_t skipPast(std::string_view text, std::size_t from, std::string_view closing) {
    const auto found = text.find(closing, from);
    return found == std::string_view::npos ? text.size() : found + closing.size();
}

// Position of the '>' that ends the tag opened at `from`, quoted values passed over.
std::size_t tagEnd(std::string_view text, std::size_t from) {
    char quote = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        if (quote != 0) {
            quote = text[i] == quote ? 0 : quote;
        } else if (text[i] == '"' || text[i] == '\'') {
            quote = text[i];
        } else if (text[i] == '>') {
            return i;
        }
    }
    return text.size();
}

bool startsAt(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.compare(at, prefix.size(), prefix) == 0;
}

}  // namespace

std::size_t XmlNestingDepth(std::string_view text) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    for (std::size_t at = text.find('<'); at < text.size(); at = text.find('<', at)) {
        if (startsAt(text, at, "<!--")) {
            at = skipPast(text, at + 4, "-->");
        } else if (startsAt(text, at, "<![CDATA[")) {
            at = skipPast(text, at + 9, "]]>");
        } else if (startsAt(text, at, "<?")) {
            at = skipPast(text, at + 2, "?>");
        } else if (startsAt(text, at, "<!")) {
            at = skipPast(text, at + 2, ">");
        } else if (startsAt(text, at, "</")) {
            depth = depth > 0 ? depth - 1 : 0;
            at = skipPast(text, at + 2, ">");
        } else {
            const std::size_t end = tagEnd(text, at + 1);
            const bool selfClosing = end < text.size() && text[end - 1] == '/';
            if (!selfClosing && ++depth > deepest) {
                deepest = depth;
            }
            at = end;
        }
    }
    return deepest;
}
