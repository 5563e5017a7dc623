#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/globals.h"
#include "exec/answers.h"
#include "support/sim_server.h"

namespace {

// Sends FORCEREPLY and the command lines of a host script to a sim, as the executor does,
// then checks the answers up to the end of the script.
class AnswerCheck {
  public:
    // Lines whose numbers are in `unsent` are left out, as templates that came out empty.
    AnswerCheck(const std::vector<std::string>& simOptions, const std::string& body,
                const std::set<int>& unsent = {})
        : sim_(simOptions) {
        progress.unsentLines = unsent;
        text_ = "*host=127.0.0.1\n*port=" + sim_.port() + "\n" + body;
        connection_ = OpenConnection("127.0.0.1", sim_.port());
        std::string wire = "FORCEREPLY\n";
        std::size_t start = text_.find('\n', text_.find('\n') + 1) + 1;
        for (int number = 3; start < text_.size(); ++number) {
            const auto end = text_.find('\n', start);
            const std::string line = text_.substr(start, end - start);
            if (!line.empty() && line[0] != '*' && unsent.count(number) == 0) {
                wire += line + "\n";
            }
            start = end + 1;
        }
        SendText(connection_, wire);
    }
    ~AnswerCheck() { CloseConnection(connection_); }

    // Checks up to `limit` (the whole text when npos); stdout and stderr are captured.
    int check(std::size_t limit = std::string::npos) {
        if (limit == std::string::npos) {
            limit = text_.size();
        }
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int result = ExitStatusOf(CheckAnswers(text_, progress, limit, connection_,
                                                     "127.0.0.1", sim_.port(), lastAnswer));
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        return result;
    }
    const std::string& text() const { return text_; }
    std::string peer() const { return "127.0.0.1:" + sim_.port(); }

    CheckProgress progress;
    std::string lastAnswer;
    std::string out;
    std::string err;

  private:
    SimServer sim_;
    std::string text_;
    Connection connection_ = kNoConnection;
};

std::vector<std::string> noMessages() {
    return {};
}

}  // namespace

TEST(CheckAnswers, GoodAnswersPassAndOnlyQueriesArePrinted) {
    AnswerCheck c({"--value=GET.LEVEL=3"}, "A=1\nB\nGET.LEVEL?  \nGET.LEVEL? x\n");
    EXPECT_EQ(c.check(), 0);
    EXPECT_EQ(c.out, "GET.LEVEL=3\n");
    EXPECT_EQ(LoggedMessages(c.err), noMessages());
    EXPECT_EQ(c.lastAnswer, "OK");
    EXPECT_EQ(c.progress.lineCount, 6);
    EXPECT_EQ(c.progress.position, c.text().size());
}

TEST(CheckAnswers, ProgressAndEventLinesArePassedOver) {
    AnswerCheck c({"--interleave", "--crlf", "--value=V=7"}, "V?\nX\n");
    EXPECT_EQ(c.check(), 0);
    EXPECT_EQ(c.out, "V=7\n");
    EXPECT_EQ(c.lastAnswer, "OK");
}

TEST(CheckAnswers, SilentServerIsTooOldOrDown) {
    AnswerCheck c({"--silent"}, "A\n");
    EXPECT_EQ(c.check(), 1);
    const auto messages = LoggedMessages(c.err);
    ASSERT_EQ(messages.size(), 2u) << c.err;
    EXPECT_EQ(messages[0].rfind("SOCKET_ERROR: ", 0), 0u);
    EXPECT_EQ(messages[1], ": No answer (" + c.peer() + "): server is too old or is down");
}

TEST(CheckAnswers, UnexpectedForceReplyAnswerIsLoggedAndTheCheckGoesOn) {
    AnswerCheck c({"--forcereply-answer=ERR"}, "A\n");
    EXPECT_EQ(c.check(), 0);
    EXPECT_EQ(LoggedMessages(c.err),
              std::vector<std::string>{": Host (" + c.peer() +
                                       ") did not reply as expected to FORCEREPLY ! (ERR)"});
    AnswerCheck refused({"--forcereply-answer=*NO"}, "A\n");
    EXPECT_EQ(refused.check(), 0);
    EXPECT_EQ(LoggedMessages(refused.err), noMessages());
}

TEST(CheckAnswers, GreetingOtherThanReadyIsDroppedAlone) {
    // The answer to FORCEREPLY is then taken for the first command, and the last command's
    // answer is still on the connection.
    AnswerCheck c({"--greeting=OK", "--forcereply-answer=FIRST"}, "A=1\nB?\n");
    EXPECT_EQ(c.check(), 0);
    EXPECT_EQ(c.out, "OK\n");
    EXPECT_EQ(LoggedMessages(c.err), noMessages());
}

TEST(CheckAnswers, BadAnswerFailsForGoodAfterTheGoodOnes) {
    AnswerCheck c({"--refuse=THIRD"}, "FIRST?\nSECOND\nTHIRD  \nFOURTH\n");
    EXPECT_EQ(c.check(), -1);
    EXPECT_EQ(c.out, "FIRST=\n");
    EXPECT_EQ(LoggedMessages(c.err),
              std::vector<std::string>{": Bad answer (" + c.peer() +
                                       ") to command THIRD (*ERROR refused: THIRD  )"});
    EXPECT_EQ(c.lastAnswer, "*ERROR refused: THIRD  ");
}

TEST(CheckAnswers, LateAnswerIsNoAnswer) {
    AnswerCheck c({"--delay=1500"}, "SLOW \n");
    EXPECT_EQ(c.check(), 1);
    const auto messages = LoggedMessages(c.err);
    ASSERT_FALSE(messages.empty()) << c.err;
    EXPECT_EQ(messages.back(), ": No answer (" + c.peer() + ") to command SLOW");
}

TEST(CheckAnswers, ClosedConnectionIsNoAnswer) {
    AnswerCheck c({"--close-after=1"}, "A\nB\n");
    EXPECT_EQ(c.check(), 1);
    EXPECT_EQ(LoggedMessages(c.err),
              std::vector<std::string>{": No answer (" + c.peer() + ") to command B"});
}

TEST(CheckAnswers, DirectivesEmptyLinesAndUnsentLinesTakeNoAnswer) {
    // Line 7 is a template that went out as nothing.
    AnswerCheck c({}, "*wait=10\n\nA?\n*event=x\n$T\nB?\n", {7});
    EXPECT_EQ(c.check(), 0);
    EXPECT_EQ(c.out, "A=\nB=\n");
}

TEST(CheckAnswers, CheckpointsWalkEachLineOnce) {
    AnswerCheck c({"--value=A=1", "--value=B=2"}, "A?\nB?\n");
    const std::size_t afterA = c.text().find("B?");
    EXPECT_EQ(c.check(afterA), 0);
    EXPECT_EQ(c.out, "A=1\n");
    EXPECT_EQ(c.lastAnswer, "A=1");
    EXPECT_EQ(c.check(afterA), 0);
    EXPECT_EQ(c.out, "");
    EXPECT_EQ(c.lastAnswer, "");
    EXPECT_EQ(c.check(), 0);
    EXPECT_EQ(c.out, "B=2\n");
}

TEST(CheckAnswers, NoConnectionCannotSetTheTimeOut) {
    const std::string text = "*host=h\n*port=1\nA\n";
    CheckProgress progress;
    std::string last;
    testing::internal::CaptureStderr();
    EXPECT_EQ(CheckAnswers(text, progress, text.size(), kNoConnection, "h", "1", last),
              AttemptResult::GiveUp);
    EXPECT_EQ(LoggedMessages(testing::internal::GetCapturedStderr()),
              std::vector<std::string>{"Can not set socket timeout !"});
}
