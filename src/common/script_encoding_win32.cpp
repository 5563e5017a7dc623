#include <windows.h>

#include <atomic>

#include "common/script_encoding.h"
#include "common/strings.h"

namespace {

std::atomic<bool> g_ansiScript{false};

bool beyondAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

}  // namespace

void NoteScriptText(std::string_view text) {
    g_ansiScript = beyondAscii(text) && !IsUtf8Text(text);
}

bool ScriptLinesNeedConverting() {
    return g_ansiScript;
}

std::string ScriptLineAsUtf8(std::string_view line) {
    if (!g_ansiScript || !beyondAscii(line)) {
        return std::string(line);
    }
    const int size = static_cast<int>(line.size());
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, line.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_ACP, 0, line.data(), size, wide.data(), wideSize);
    const int utf8Size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(utf8Size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), utf8Size, nullptr, nullptr);
    return utf8;
}
