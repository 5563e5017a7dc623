#include <gtest/gtest.h>

#include "exec/shown_command.h"

TEST(ShownCommand, HidesTheLastFieldOfALoginAndNothingElse) {
    const std::pair<const char*, const char*> cases[] = {
        {"LOGIN ovrel,s3cretPW", "LOGIN ovrel,***"},
        {"LOGIN prefix,user,pw", "LOGIN prefix,user,***"},
        {"LOGIN onlyfield", "LOGIN ***"},
        {"login ovrel,pw", "login ovrel,***"},
        {"LOGINX a,b", "LOGINX a,b"},
        {"SET LOGIN a,b", "SET LOGIN a,b"},
        {"LOGIN", "LOGIN"},
    };
    for (const auto& [command, shown] : cases) {
        EXPECT_EQ(ShownCommand(command), shown) << command;
    }
}
