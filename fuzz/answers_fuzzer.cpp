// Answer checking against a fake server: the input is the command lines
// of a host script up to its first NUL byte, and after it the bytes the server sends. The
// server's side is a socket pair. When the server's bytes begin with 0x01, the next byte sets
// a piece size and the rest is trickled in pieces of that size with short pauses, as a slow or
// stalling server sends, so that lines arrive cut at any byte; otherwise the whole stream is
// written and ended at once. Either way the writing end is closed once the bytes are out, so
// no read waits for a time-out.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "exec/answers.h"
#include "fuzz_support.h"

namespace {

constexpr char kTrickled = '\x01';

// Writes what fits into the pair's buffer within a short time; what does not fit is cut off:
// the stream simply ends there, as when the reader has stopped reading.
void writeWithin(int fd, const char* data, std::size_t size) {
    for (int idle = 0; size > 0 && idle < 200;) {
        const ssize_t count = ::send(fd, data, size, MSG_NOSIGNAL);
        if (count > 0) {
            data += count;
            size -= static_cast<std::size_t>(count);
            idle = 0;
        } else {
            ++idle;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }
}

// A connected pair: `client` as the program's connection, and the server's side writing the
// stream, at once or in trickled pieces, then ending it.
class FakePeer {
  public:
    explicit FakePeer(const std::string& stream) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
            FuzzCheckFailed("socketpair");
        }
        client_ = ends[0];
        const int server = ends[1];
        ::fcntl(server, F_SETFL, O_NONBLOCK);
        if (stream.size() < 2 || stream[0] != kTrickled) {
            writeWithin(server, stream.data(), stream.size());
            ::close(server);
            return;
        }
        const std::size_t piece = 1 + static_cast<unsigned char>(stream[1]) % 16;
        writer_ = std::thread([server, piece, bytes = stream.substr(2)] {
            for (std::size_t at = 0; at < bytes.size(); at += piece) {
                writeWithin(server, bytes.data() + at, std::min(piece, bytes.size() - at));
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            ::close(server);
        });
    }
    ~FakePeer() {
        if (writer_.joinable()) {
            writer_.join();
        }
        ::close(client_);
    }
    FakePeer(const FakePeer&) = delete;
    FakePeer& operator=(const FakePeer&) = delete;
    Connection connection() const { return client_; }

  private:
    int client_ = -1;
    std::thread writer_;
};

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

void checkAnswers(const std::string& body, const std::string& stream) {
    CHostScript script;
    script.text = body;  // the script goes before the body
    script.host = "fuzz";
    script.port = "1";
    FakePeer peer(stream);
    CheckProgress progress(script.text);
    std::string lastAnswer;
    AttemptReport report;
    RunObserver silent;
    RunSettings settings;
    settings.observer = &silent;
    queueAnswers(body, true, progress.due);
    AnswerReader answers(peer.connection(), settings.limits.answerTimeoutMs);
    int result = ExitStatusOf(CheckAnswers(script, settings, progress, AnswersTaken::Arrived,
                                           answers, peer.connection(), lastAnswer, report));
    FUZZ_CHECK(result == 0 || result == 1 || result == -1);
    FUZZ_CHECK(progress.greeted);
    if (result != 0) {
        return;
    }
    queueAnswers(body, false, progress.due);
    result = ExitStatusOf(CheckAnswers(script, settings, progress, AnswersTaken::All, answers,
                                       peer.connection(), lastAnswer, report));
    FUZZ_CHECK(result == 0 || result == 1 || result == -1);
    FUZZ_CHECK(result != 0 || progress.due.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = InputBytes(data, size);
    const auto split = input.find('\0');
    const std::string body = input.substr(0, split);
    const std::string stream = split == std::string::npos ? std::string() : input.substr(split + 1);
    checkAnswers(body, stream);
    return 0;
}
