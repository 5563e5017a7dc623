#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "exec/batch.h"

namespace {

// A host script of numbered lines; a command is one of its lines (by number, from 1) or a
// text from elsewhere (FORCEREPLY, a read-back), which is due nothing.
const std::string kScript = "A=1\nB?\n*wait=10\nC=3\nD?\nE=5\n";

struct Add {
    int line;  // 0: `other`
    std::string other;
};

// What goes out for `add`: the script's line itself, where it stands, or the other text.
std::pair<std::string_view, DueAnswer> queuedFor(const Add& add) {
    if (add.line == 0) {
        return {add.other, DueAnswer{}};
    }
    std::size_t start = 0;
    for (int line = 1; line < add.line; ++line) {
        start = kScript.find('\n', start) + 1;
    }
    const std::string_view script(kScript);
    return {script.substr(start, script.find('\n', start) - start), {start, add.line}};
}

std::vector<int> handedOnLines(AnswersDue& due) {
    std::vector<int> lines;
    while (!due.empty()) {
        const auto [text, line] = due.take();
        EXPECT_EQ(text, queuedFor({line, ""}).first);
        lines.push_back(line);
    }
    return lines;
}

// Whatever mix of script lines and other commands a batch holds, it sends them one after
// another with their LFs, names the command a short send cut, and hands on, in order, the
// answers due to the commands a send took whole: at every count of bytes sent, and then the
// rest once the whole batch is out.
TEST(CommandBatch, SendsCutsAndHandsOnAsQueued) {
    const std::vector<std::vector<Add>> cases = {
        {{1, ""}, {2, ""}},                      // a run of the script's own lines
        {{0, "FORCEREPLY"}, {1, ""}, {2, ""}},   // copied after a command from elsewhere
        {{1, ""}, {2, ""}, {0, "B?"}, {4, ""}},  // a run taken over by one
        {{4, ""}, {5, ""}, {6, ""}, {1, ""}},    // a line out of order ends the run
    };
    for (const auto& adds : cases) {
        std::string wire;
        for (const Add& add : adds) {
            wire += std::string(queuedFor(add).first) + "\n";
        }
        for (std::size_t sent = 0; sent <= wire.size(); ++sent) {
            CommandBatch batch(kScript);
            for (const Add& add : adds) {
                batch.add(queuedFor(add).first, queuedFor(add).second);
            }
            ASSERT_EQ(batch.bytes(), wire);
            std::vector<int> whole;
            std::vector<int> rest;
            std::size_t start = 0;
            for (const Add& add : adds) {
                const std::string_view command = queuedFor(add).first;
                const std::size_t end = start + command.size() + 1;
                if (start <= sent && sent < end) {
                    EXPECT_EQ(batch.commandCutAt(sent), command) << wire << sent;
                }
                if (add.line > 0) {
                    (end <= sent ? whole : rest).push_back(add.line);
                }
                start = end;
            }
            AnswersDue due(kScript);
            batch.handOnSent(sent, due);
            EXPECT_EQ(handedOnLines(due), whole) << wire << sent;
            batch.handOnSent(wire.size(), due);
            EXPECT_EQ(handedOnLines(due), rest) << wire << sent;
        }
    }
}

}  // namespace
