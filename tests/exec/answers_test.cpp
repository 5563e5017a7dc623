#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exec/answers.h"
#include "support/sim_server.h"

// The answers themselves are judged in the scenarios, through the real executable; what no
// server can show is a check on a connection that is not there.
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
