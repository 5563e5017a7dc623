#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "files/log.h"
#include "support/scratch.h"

namespace {

// The timestamp alone: a pattern over a whole long line would recurse deep enough to overflow
// a Windows thread's stack.
const std::regex kStampPattern(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d : )");
const std::size_t kStampLength = 20;

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();  // a text-mode file on Windows ends its lines with CRLF
        }
        lines.push_back(line);
    }
    return lines;
}

// Message text of a log line, or "<bad line>" when the timestamp is missing or malformed.
std::string messageOf(const std::string& line) {
    if (line.size() < kStampLength ||
        !std::regex_match(line.substr(0, kStampLength), kStampPattern)) {
        return "<bad line>";
    }
    return line.substr(kStampLength);
}

}  // namespace

// Lines written by many threads at once reach the file whole, each with its own time stamp.
TEST(Log, ConcurrentLinesAreNeverSplit) {
    ScratchFolder folder;
    OpenLog(folder.path() + "/");
    constexpr int kThreads = 8;
    constexpr int kLines = 200;
    testing::internal::CaptureStderr();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string body(500 + t * 300, static_cast<char>('a' + t));
            for (int i = 0; i < kLines; ++i) {
                LogMessage("%d:%s", t, body.c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    testing::internal::GetCapturedStderr();
    CloseLog();
    const auto lines = splitLines(ReadWholeFile(folder.file("transmitter.log")));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    for (const auto& line : lines) {
        const std::string message = messageOf(line);
        ASSERT_NE(message, "<bad line>");
        const int t = message[0] - '0';
        ASSERT_EQ(message,
                  std::to_string(t) + ":" + std::string(500 + t * 300, static_cast<char>('a' + t)));
    }
}
