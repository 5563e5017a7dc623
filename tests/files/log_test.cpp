#include <gtest/gtest.h>

#include <fstream>
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

class LogTest : public ::testing::Test {
  protected:
    void TearDown() override { CloseLog(); }
    ScratchFolder folder_;
};

}  // namespace

// Between opening and closing, every line goes to the file and to standard error; outside
// them, to standard error only.
TEST_F(LogTest, EachLineIsATimestampThenTheMessageWhole) {
    const std::string big(10000, 'q');
    testing::internal::CaptureStderr();
    LogMessage("before %d", 1);
    OpenLog(folder_.path() + "/");
    LogMessage("%s: Command %s is not supported", "show.qvtrx", "*nope");
    LogMessage("%s", "");
    LogText("Background launch: User: 100%s %d %n");  // a finished line, never a format
    LogMessage("%s", big.c_str());
    CloseLog();
    LogMessage("after %d", 3);
    const auto errLines = splitLines(testing::internal::GetCapturedStderr());
    const auto fileLines = splitLines(ReadWholeFile(folder_.file("transmitter.log")));
    std::vector<std::string> inFile;
    for (const auto& line : fileLines) {
        inFile.push_back(messageOf(line));
    }
    EXPECT_EQ(inFile, (std::vector<std::string>{"show.qvtrx: Command *nope is not supported", "",
                                                "Background launch: User: 100%s %d %n", big}));
    ASSERT_EQ(errLines.size(), 6u);
    EXPECT_EQ(messageOf(errLines.front()), "before 1");
    EXPECT_EQ(std::vector<std::string>(errLines.begin() + 1, errLines.end() - 1), fileLines);
    EXPECT_EQ(messageOf(errLines.back()), "after 3");
}

TEST_F(LogTest, SecondOpenKeepsTheFirstFileAndAppends) {
    ScratchFolder other;
    std::ofstream(folder_.file("transmitter.log")) << "earlier line\n";
    OpenLog(folder_.path() + "/");
    OpenLog(other.path() + "/");
    testing::internal::CaptureStderr();
    LogMessage("kept");
    testing::internal::GetCapturedStderr();
    CloseLog();
    const auto lines = splitLines(ReadWholeFile(folder_.file("transmitter.log")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier line");
    EXPECT_EQ(messageOf(lines[1]), "kept");
    EXPECT_FALSE(FileExists(other.file("transmitter.log")));
}

TEST_F(LogTest, ConcurrentLinesAreNeverSplit) {
    OpenLog(folder_.path() + "/");
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
    const auto lines = splitLines(ReadWholeFile(folder_.file("transmitter.log")));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    for (const auto& line : lines) {
        const std::string message = messageOf(line);
        ASSERT_NE(message, "<bad line>");
        const int t = message[0] - '0';
        ASSERT_EQ(message,
                  std::to_string(t) + ":" + std::string(500 + t * 300, static_cast<char>('a' + t)));
    }
}
