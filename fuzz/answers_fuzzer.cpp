// Answer checking and line receiving against a fake server: the input is the command lines
// of a host script up to its first NUL byte, and after it the bytes the server sends. The
// server's side is a socket pair whose writing end is closed once the bytes are in, so every
// read ends at once, with a line or with the end of the stream, and never on a time-out.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/globals.h"
#include "exec/answers.h"
#include "fuzz_support.h"

namespace {

// A connected pair: `client` as the program's connection, and the server's stream already
// written and ended.
class FakePeer {
  public:
    explicit FakePeer(const std::string& stream) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
            FuzzCheckFailed("socketpair");
        }
        client_ = ends[0];
        ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
        // What does not fit into the pair's buffer is cut off: the stream simply ends there.
        std::size_t written = 0;
        while (written < stream.size()) {
            const ssize_t count =
                ::write(ends[1], stream.data() + written, stream.size() - written);
            if (count <= 0) {
                break;
            }
            written += static_cast<std::size_t>(count);
        }
        ::close(ends[1]);
    }
    ~FakePeer() { ::close(client_); }
    FakePeer(const FakePeer&) = delete;
    FakePeer& operator=(const FakePeer&) = delete;
    Connection connection() const { return client_; }

  private:
    int client_ = -1;
};

// The end of the line in the middle of the body: the first of two checkpoints.
std::size_t middleCheckpoint(const std::string& text, std::size_t bodyStart) {
    const std::size_t middle = bodyStart + (text.size() - bodyStart) / 2;
    const auto end = text.find('\n', middle);
    return end == std::string::npos ? text.size() : end + 1;
}

void checkAnswers(const std::string& body, const std::string& stream) {
    const std::string head = "*host=fuzz\n*port=1\n";
    const std::string text = head + body;
    FakePeer peer(stream);
    CheckProgress progress;
    std::string lastAnswer;
    const std::size_t first = middleCheckpoint(text, head.size());
    int result = CheckAnswers(text, progress, first, peer.connection(), "fuzz", "1", lastAnswer);
    FUZZ_CHECK(result == 0 || result == 1 || result == -1);
    FUZZ_CHECK(progress.position <= text.size());
    if (result != 0) {
        return;
    }
    FUZZ_CHECK(progress.position >= first);
    result = CheckAnswers(text, progress, text.size(), peer.connection(), "fuzz", "1", lastAnswer);
    FUZZ_CHECK(result == 0 || result == 1 || result == -1);
    FUZZ_CHECK(result != 0 || progress.position == text.size());
}

// Lines come without their LF, never as a progress or event line, and each LF ends a line.
void receiveLines(const std::string& stream) {
    FakePeer peer(stream);
    std::size_t lineEnds = 0;
    for (char byte : stream) {
        lineEnds += byte == '\n' ? 1 : 0;
    }
    for (std::size_t call = 0; call <= lineEnds; ++call) {
        const std::string line = ReceiveLine(peer.connection());
        FUZZ_CHECK(line.find('\n') == std::string::npos);
        FUZZ_CHECK(line.empty() || (line[0] != '!' && line[0] != '+'));
        FUZZ_CHECK(line.size() <= stream.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_scriptName = "fuzz.qvtrx";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = InputBytes(data, size);
    const auto split = input.find('\0');
    const std::string body = input.substr(0, split);
    const std::string stream = split == std::string::npos ? std::string() : input.substr(split + 1);
    checkAnswers(body, stream);
    receiveLines(stream);
    return 0;
}
