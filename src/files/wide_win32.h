#pragma once
// Windows only: the program keeps paths as UTF-8, and meets the system with its wide calls,
// so that a path works whatever its characters, not only those of the ANSI code page.

#include <windows.h>

#include <string>

inline std::wstring WideText(const std::string& utf8, UINT codePage = CP_UTF8) {
    if (utf8.empty()) {
        return std::wstring();
    }
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(codePage, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(codePage, 0, utf8.data(), size, wide.data(), length);
    }
    return wide;
}

inline std::string Utf8Text(const wchar_t* wide, int length = -1) {
    if (wide == nullptr || length == 0) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8.data(), size, nullptr, nullptr);
    }
    if (length < 0 && !utf8.empty()) {
        utf8.pop_back();  // the terminating zero, counted when the length was not given
    }
    return utf8;
}

inline std::string Utf8Text(const std::wstring& wide) {
    return Utf8Text(wide.data(), static_cast<int>(wide.size()));
}

// The system's words for an error code, without the line end it gives them.
inline std::string SystemErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string words = length == 0 ? std::string() : Utf8Text(text, static_cast<int>(length));
    LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ' ||
                              words.back() == '.')) {
        words.pop_back();
    }
    return words.empty() ? "error " + std::to_string(error) : words;
}
