// Answer lines and answer checking, fed with bytes: the input is the command lines of a host
// script up to its first NUL byte, and after it the bytes the server sends. When they begin
// with 0x01, the next byte sets a piece size and the one after how the stream ends (closed,
// timed out, broken), and the rest comes in pieces of that size, so that lines arrive cut at
// any byte; otherwise the whole stream comes at once and then closes. The lines are checked
// against the stream cut at its LFs; the checking must end in one of its results.

#include <algorithm>
#include <cstring>
#include <vector>

#include "exec/answers.h"
#include "fuzz_support.h"

namespace {

constexpr char kTrickled = '\x01';

struct ServerBytes {
    std::string bytes;
    std::size_t piece = kReceiveChunkBytes;
    AnswerSource::Outcome end = AnswerSource::Outcome::Closed;
};

ServerBytes serverBytes(const std::string& stream) {
    if (stream.size() < 3 || stream[0] != kTrickled) {
        return {stream};
    }
    static constexpr AnswerSource::Outcome kEnds[] = {AnswerSource::Outcome::Closed,
                                                      AnswerSource::Outcome::TimedOut,
                                                      AnswerSource::Outcome::Broken};
    return {stream.substr(3), 1 + static_cast<unsigned char>(stream[1]) % 16u,
            kEnds[static_cast<unsigned char>(stream[2]) % 3]};
}

// The server's bytes in pieces; a take that does not wait finds every other piece not yet come.
class Pieces final : public AnswerSource {
  public:
    explicit Pieces(ServerBytes server) : server_(std::move(server)) {}
    Taken take(char* into, std::size_t room, bool wait) override {
        if (!wait && ++looks_ % 2 != 0) {
            return {Outcome::Nothing, 0};
        }
        if (at_ == server_.bytes.size()) {
            return {server_.end, 0};
        }
        const std::size_t size = std::min({server_.piece, room, server_.bytes.size() - at_});
        std::memcpy(into, server_.bytes.data() + at_, size);
        at_ += size;
        return {Outcome::Bytes, size};
    }
    bool setWaitLimit(int) override { return true; }
    void awaitBytes(int) override {}

  private:
    ServerBytes server_;
    std::size_t at_ = 0;
    unsigned looks_ = 0;
};

// The answers in the stream, cut at its LFs without the reader: events and progress passed
// over, one CR before the LF dropped.
std::vector<std::string> answersIn(const std::string& bytes) {
    std::vector<std::string> answers;
    for (std::size_t start = 0, end; (end = bytes.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && (line[0] == '!' || line[0] == '+')) {
            continue;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        answers.push_back(line);
    }
    return answers;
}

void checkLines(const ServerBytes& server) {
    const std::vector<std::string> expected = answersIn(server.bytes);
    AnswerLines lines;
    std::size_t handedOut = 0;
    std::string line;
    for (std::size_t at = 0; at < server.bytes.size(); at += server.piece) {
        lines.add(server.bytes.data() + at, std::min(server.piece, server.bytes.size() - at));
        for (bool ready = lines.ready(); ready; ready = lines.ready()) {
            FUZZ_CHECK(lines.next(line) == AnswerLines::Next::Line);
            FUZZ_CHECK(handedOut < expected.size() && line == expected[handedOut]);
            ++handedOut;
        }
        FUZZ_CHECK(lines.next(line) == AnswerLines::Next::Partial);
    }
    FUZZ_CHECK(handedOut == expected.size());
}

// The answers due to the body's command lines, as the sender queues them: those of the first
// half of the body, then those of the rest.
void queueAnswers(const std::string& text, bool firstHalf, AnswersDue& due) {
    int line = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        ++line;
        if ((start < text.size() / 2) == firstHalf && end > start && text[start] != '*') {
            due.push({start, line});
        }
        start = end + 1;
    }
}

void checkAnswers(const std::string& body, const ServerBytes& server) {
    CHostScript script;
    script.text = body;  // the script goes before the body
    script.host = "fuzz";
    script.port = "1";
    CheckProgress progress(script.text);
    std::string lastAnswer;
    AttemptReport report;
    RunObserver silent;
    RunSettings settings;
    settings.observer = &silent;
    queueAnswers(body, true, progress.due);
    AnswerReader answers(std::make_unique<Pieces>(server), settings.limits.answerTimeoutMs);
    int result = ExitStatusOf(CheckAnswers(script, settings, progress, AnswersTaken::Arrived,
                                           answers, lastAnswer, report));
    FUZZ_CHECK(result == 0 || result == 1 || result == -1);
    FUZZ_CHECK(progress.greeted);
    if (result != 0) {
        return;
    }
    queueAnswers(body, false, progress.due);
    result = ExitStatusOf(
        CheckAnswers(script, settings, progress, AnswersTaken::All, answers, lastAnswer, report));
    FUZZ_CHECK(result == 0 || result == 1 || result == -1);
    FUZZ_CHECK(result != 0 || progress.due.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = InputBytes(data, size);
    const auto split = input.find('\0');
    const std::string body = input.substr(0, split);
    const std::string stream = split == std::string::npos ? std::string() : input.substr(split + 1);
    const ServerBytes server = serverBytes(stream);
    checkLines(server);
    checkAnswers(body, server);
    return 0;
}
