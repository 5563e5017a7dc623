#include "files/script_file.h"

#include <algorithm>
#include <new>
#include <string_view>

#include "common/globals.h"
#include "common/strings.h"
#include "files/enciphered_format.h"
#include "files/folders.h"
#include "files/line_cleaning.h"
#include "files/log.h"
#include "files/raw_file.h"
#include "files/script_names.h"

namespace {

void logCryptError(const std::string& path, const char* reason) {
    LogMessage("Error in crypt file invalid file \"%s\"%s", path.c_str(), reason);
}

void logTooLarge(const std::string& path) {
    LogMessage("%s: File \"%s\" is too large: script files must be smaller than 2 GiB",
               g_scriptName.c_str(), path.c_str());
}

// Reads the file, or its enciphered twin when the file itself cannot be opened.
RawRead readScriptBytes(const std::string& path, std::string& bytes) {
    const RawRead result = ReadRawFile(path, bytes, kLargestScriptFile);
    if (result != RawRead::CannotOpen || !HasScriptExtension(path)) {
        return result;
    }
    return ReadRawFile(EncipheredName(path), bytes, kLargestScriptFile);
}

bool writeEncipheredFile(const std::string& path, const std::string& plain) {
    const std::string outputPath = EncipheredName(path);
    const RawWrite written = WriteRawFile(outputPath, EncipherFileBytes(plain));
    if (written == RawWrite::CannotCreate) {
        logCryptError(outputPath, ": can not create file");
        return false;
    }
    if (written == RawWrite::WriteFailed) {
        // A partial file would only be refused when read: leave none behind.
        RemoveFile(outputPath);
        logCryptError(outputPath, ": can not write file");
        return false;
    }
    return true;
}

}  // namespace

bool encipherScriptFile(const std::string& path) {
    std::string plain;
    const RawRead read = ReadRawFile(path, plain, kLargestScriptFile);
    if (read == RawRead::CannotOpen) {
        logCryptError(path, ": Cannot open file or does not exist");
        return false;
    }
    if (read == RawRead::TooLarge) {
        logCryptError(path, ": File too large (2 GiB or more)");
        return false;
    }
    if (plain.empty()) {
        logCryptError(path, ": Empty File");
        return false;
    }
    if (!HasScriptExtension(path)) {
        logCryptError(path, "");
        return false;
    }
    if (plain[0] == kFormatByte) {
        logCryptError(path, ": the file is already enciphered");
        return false;
    }
    try {
        return writeEncipheredFile(path, plain);
    } catch (const std::bad_alloc&) {
        logCryptError(path, ": File too large (not enough memory)");
        return false;
    }
}

bool readScriptContent(const std::string& path, std::string& text) {
    std::string bytes;
    const RawRead read = readScriptBytes(path, bytes);
    if (read == RawRead::TooLarge) {
        logTooLarge(path);
    }
    if (read != RawRead::Done) {
        return false;
    }
    if (bytes.empty()) {
        return true;
    }
    if (bytes[0] != kFormatByte) {
        text.swap(bytes);
        return true;
    }
    try {
        return DecipherFileBytes(bytes, text);
    } catch (const std::bad_alloc&) {
        logTooLarge(path);
        return false;
    }
}

std::string TextEncodingProblem(const std::string& text, int& line) {
    static const char kSaveAs[] = ": save it as ANSI or UTF-8 (in Notepad: Save as, Encoding)";
    line = 1;
    for (const char* mark : {"\xFF\xFE", "\xFE\xFF", "\0\0\xFE\xFF"}) {
        const std::string_view bom(mark, mark[0] == '\0' ? 4 : 2);
        if (StartsWith(text, bom)) {
            return std::string("the script is saved as UTF-") +
                   (bom.size() == 4 || StartsWith(text, std::string_view("\xFF\xFE\0\0", 4))
                        ? "32"
                        : "16") +
                   kSaveAs;
        }
    }
    const auto nul = text.find('\0');
    if (nul != std::string::npos) {
        line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + nul, '\n'));
        return std::string("a NUL byte in this line: is the script saved as UTF-16?") + kSaveAs;
    }
    const auto cr = text.find('\r');
    if (cr != std::string::npos && cr + 1 < text.size() && text.find('\n') == std::string::npos) {
        return "lines end with CR alone: save the script with CR LF or LF line ends";
    }
    return std::string();
}

bool readScriptFile(const std::string& path, std::string* output, const std::string& shownName,
                    const std::function<void(const KeptLine&)>& kept) {
    std::string content;
    if (!readScriptContent(path, content)) {
        return false;
    }
    int line = 0;
    const std::string problem = TextEncodingProblem(content, line);
    if (!problem.empty()) {
        LogMessage("%s:%d: %s", (shownName.empty() ? path : shownName).c_str(), line,
                   problem.c_str());
        return false;
    }
    std::string& text = output != nullptr ? *output : content;
    if (output != nullptr) {
        output->swap(content);
    }
    CleanScriptLinesInPlace(text, [&](std::string_view line, int number, LineMarks marks) {
        if (kept) {
            kept({line, static_cast<std::size_t>(line.data() - text.data()), number, marks});
        }
    });
    return true;
}
