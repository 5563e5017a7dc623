// The script-file reader on a file of any bytes (plain or, with a first byte 0x01, enciphered),
// and line cleaning on the same bytes as plain text.

#include "files/line_cleaning.h"
#include "files/script_file.h"
#include "fuzz_support.h"

namespace {

bool isBlank(char byte) {
    return byte == ' ' || byte == '\t';
}

// Every cleaned line is kept whole: no edge blanks, no CR at its end, no "##" tail, one LF.
void checkCleaned(const std::string& cleaned) {
    FUZZ_CHECK(cleaned.empty() || cleaned.back() == '\n');
    std::size_t start = 0;
    while (start < cleaned.size()) {
        const std::size_t end = cleaned.find('\n', start);
        const std::string line = cleaned.substr(start, end - start);
        FUZZ_CHECK(!line.empty());
        FUZZ_CHECK(!isBlank(line.front()));
        FUZZ_CHECK(!isBlank(line.back()) && line.back() != '\r');
        FUZZ_CHECK(line.find("##") == std::string::npos);
        start = end + 1;
    }
}

// Each kept line is the cleaning of the line of its number, in the order of the text.
void checkNumbers(const std::string& bytes) {
    std::string text = bytes;
    int last = 0;
    CleanScriptLinesInPlace(text, [&](std::string_view line, int number, LineMarks) {
        FUZZ_CHECK(number > last);
        last = number;
        std::size_t position = 0;
        std::string_view read;
        for (int n = 0; n < number; ++n) {
            FUZZ_CHECK(NextLine(bytes, position, read));
        }
        FUZZ_CHECK(line == CleanScriptLine(read, number == 1));
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = InputBytes(data, size);
    const std::string cleaned = CleanScriptLines(bytes);
    checkCleaned(cleaned);
    FUZZ_CHECK(cleaned.size() <= bytes.size() + 1);
    checkNumbers(bytes);

    const std::string path = WriteScratchFile("input.qvtrx", bytes);
    std::string read = "untouched";
    if (readScriptFile(path, &read)) {
        checkCleaned(read);
        if (bytes.empty() || bytes[0] != '\x01') {
            FUZZ_CHECK(read == cleaned);
        }
    } else {
        // Only an enciphered file, or text that is not 8-bit text, can be refused here, and a
        // refusal leaves the output alone.
        int line = 0;
        FUZZ_CHECK((!bytes.empty() && bytes[0] == '\x01') ||
                   !TextEncodingProblem(bytes, line).empty());
        FUZZ_CHECK(read == "untouched");
    }
    return 0;
}
