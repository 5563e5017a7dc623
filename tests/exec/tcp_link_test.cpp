#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "exec/tcp_link.h"
#include "support/sim_server.h"

namespace {

// A connection to a sim, closed at the end of the test.
class Link {
  public:
    explicit Link(const SimServer& sim) : connection_(OpenConnection("127.0.0.1", sim.port())) {
        SetReceiveTimeout(connection_, 5000);
    }
    ~Link() { CloseConnection(connection_); }
    Connection get() const { return connection_; }

  private:
    Connection connection_;
};

}  // namespace

TEST(TcpLink, ReceiveLineLeavesTheNextLineOnTheSocket) {
    SimServer sim({"--greeting=FIRST\nSECOND"});
    Link link(sim);
    EXPECT_EQ(ReceiveLine(link.get()), "FIRST");
    char rest[64];
    std::string taken;
    while (taken.find('\n') == std::string::npos) {
        const long count = SocketReceive(link.get(), rest, sizeof rest, false);
        ASSERT_GT(count, 0);
        taken.append(rest, static_cast<std::size_t>(count));
    }
    EXPECT_EQ(taken, "SECOND\n");
}

TEST(TcpLink, AnswerReaderTakesNoMoreThanTheAnswersDue) {
    // Lines passed over do not count: after two answers the third line is still queued.
    SimServer sim({"--greeting=A\n+p\n!q\nB\nC"});
    Link link(sim);
    {
        AnswerReader reader(link.get());
        EXPECT_EQ(reader.next(2), "A");
        EXPECT_EQ(reader.next(1), "B");
    }
    EXPECT_EQ(ReceiveLine(link.get()), "C");
}

TEST(TcpLink, LineArrivedTakesOnlyWholeLinesWithoutWaiting) {
    // One byte every 30 ms: the progress line and the greeting take at least 360 ms in all.
    SimServer sim({"--greeting=+busy\nREADY", "--trickle=30"});
    Link link(sim);
    {
        AnswerReader reader(link.get());
        EXPECT_FALSE(reader.lineArrived(1)) << "nothing is there yet, and nothing is awaited";
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_FALSE(reader.lineArrived(1)) << "half a progress line is not a line";
    }
    // The half line was left on the socket for the next reader, which waits for the rest.
    AnswerReader reader(link.get());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!reader.lineArrived(1) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(reader.next(1), "READY");
}

TEST(TcpLink, LongLinesAreTakenWholeUpToTheLimit) {
    SimServer sim({"--huge-answer=1000000"});
    Link link(sim);
    ASSERT_TRUE(SendText(link.get(), "FORCEREPLY\nA\nB\n"));
    EXPECT_EQ(ReceiveLine(link.get()), "READY");
    EXPECT_EQ(ReceiveLine(link.get()), "OK");
    const std::string first = ReceiveLine(link.get());
    EXPECT_EQ(first.size(), 1000000u);
    EXPECT_EQ(first.substr(0, 3), "OKx");
    EXPECT_EQ(ReceiveLine(link.get()).size(), 1000000u);
}

namespace {

// 100 000 commands of 100 bytes: more than every socket buffer on the way can hold.
std::string manyCommands() {
    std::string text = "FORCEREPLY\n";
    const std::string command = std::string(99, 'C') + "\n";
    for (int i = 0; i < 100000; ++i) {
        text += command;
    }
    return text;
}

}  // namespace

TEST(TcpLink, BlockedSendLetsTheHandlerTakeTheAnswers) {
    // Each answer is written before the next command is read, and answers are not read
    // unless the handler does it: without the handler the send would never end.
    SimServer sim({"--sync"});
    Link link(sim);
    int calls = 0;
    std::size_t dropped = 0;
    std::size_t lastSent = 0;
    const bool sent = SendText(link.get(), manyCommands(), [&](std::size_t out) {
        EXPECT_GE(out, lastSent);
        lastSent = out;
        ++calls;
        dropped += DiscardArrived(link.get());
        return BlockedSend::Drained;
    });
    EXPECT_TRUE(sent);
    EXPECT_GT(calls, 0);
    EXPECT_GT(dropped, 0u);
}

TEST(TcpLink, HandlerThatGivesUpFailsTheSend) {
    SimServer sim({"--sync"});
    Link link(sim);
    int calls = 0;
    std::size_t sent = 0;
    const std::string commands = manyCommands();
    EXPECT_FALSE(SendText(
        link.get(), commands,
        [&](std::size_t) {
            ++calls;
            return BlockedSend::GiveUp;
        },
        &sent));
    EXPECT_EQ(calls, 1);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, commands.size());
}

TEST(TcpLink, OpenConnectionFailuresAreLogged) {
    ClosedPort closed;
    struct Case {
        std::string host;
        std::string port;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", "3004", "Error : Host or Port empty"},
        {"127.0.0.1", "", "Error : Host or Port empty"},
        {"no-such-host.invalid", "3004", "Error no such host no-such-host.invalid:3004"},
        {"127.0.0.1", closed.port(), "Error cannot connect to 127.0.0.1:" + closed.port()},
        {"127.0.0.1", "abc", "Error cannot connect to 127.0.0.1:abc"},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(OpenConnection(c.host, c.port), kNoConnection) << c.message;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(LoggedMessages(err), std::vector<std::string>{c.message}) << err;
    }
}

TEST(TcpLink, PortTextIsReadLikeAtoiModulo65536) {
    EXPECT_EQ(PortNumber("3004"), 3004);
    EXPECT_EQ(PortNumber("abc"), 0);
    EXPECT_EQ(PortNumber("70000"), 4464);
    EXPECT_EQ(PortNumber("  12x"), 12);
    EXPECT_EQ(PortNumber("-1"), 65535);
}

TEST(TcpLink, NoConnectionSendsNothingAndClosesNothing) {
    EXPECT_FALSE(SendText(kNoConnection, "A\n"));
    CloseConnection(kNoConnection);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SetReceiveTimeout(kNoConnection, 500));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(LoggedMessages(err), std::vector<std::string>{"Can not set socket timeout !"});
}

TEST(TcpLink, NameOfTheLocalHostResolves) {
    SimServer sim;
    const Connection connection = OpenConnection("localhost", sim.port());
    EXPECT_NE(connection, kNoConnection);
    CloseConnection(connection);
}
