#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "script/synchro.h"

namespace {

using namespace std::chrono_literals;

// Long enough for a blocked call to have reached its wait; a call that should block and
// returns within it is a fault.
constexpr auto kBlockWindow = 100ms;
// A call that should return and has not within this is taken as hung.
constexpr auto kDeadline = 10s;

// Runs a possibly blocking call on a thread of its own. Should the call still block when the
// test ends, `unblock` is applied until it returns, so a failing test never hangs.
class BackgroundCall {
  public:
    BackgroundCall(std::function<void()> call, std::function<void()> unblock)
        : unblock_(std::move(unblock)) {
        std::promise<void> entered;
        auto enteredFuture = entered.get_future();
        std::promise<void> done;
        done_ = done.get_future();
        thread_ = std::thread([call = std::move(call), entered = std::move(entered),
                               done = std::move(done)]() mutable {
            entered.set_value();
            call();
            done.set_value();
        });
        enteredFuture.wait();
    }
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;
    // Each rescue runs on a thread of its own, since it may block as well until enough of
    // them have run (arrivals at a rendezvous point).
    ~BackgroundCall() {
        std::vector<std::thread> rescues;
        while (done_.wait_for(10ms) != std::future_status::ready) {
            rescues.emplace_back(unblock_);
        }
        thread_.join();
        for (auto& rescue : rescues) {
            rescue.join();
        }
    }
    bool stillBlocked() const {
        return done_.wait_for(kBlockWindow) == std::future_status::timeout;
    }
    bool returnsInTime() const { return done_.wait_for(kDeadline) == std::future_status::ready; }

  private:
    std::function<void()> unblock_;
    std::future<void> done_;
    std::thread thread_;
};

std::unique_ptr<BackgroundCall> waitOn(CEventShared& event) {
    return std::make_unique<BackgroundCall>([&event] { event.Wait(); },
                                            [&event] { event.Release(); });
}

std::unique_ptr<BackgroundCall> waitOn(CBufferShared& buffer) {
    return std::make_unique<BackgroundCall>([&buffer] { buffer.Wait(); },
                                            [&buffer] { buffer.Release(); });
}

std::string valueOf(CBufferShared& buffer) {
    return std::string(buffer.ShareValue().bytes);
}

std::unique_ptr<BackgroundCall> arriveAt(CRendezVousShared& point) {
    return std::make_unique<BackgroundCall>([&point] { point.Arrive(); },
                                            [&point] { point.Release(); });
}

}  // namespace

TEST(EventShared, RaisedBeforeTheWaitReturnsAtOnce) {
    CEventShared event;
    event.Raise();
    auto waiter = waitOn(event);
    EXPECT_TRUE(waiter->returnsInTime());
    EXPECT_FALSE(event.IsReleased());
}

TEST(EventShared, OneRaiseWakesEveryWaiter) {
    CEventShared event;
    auto first = waitOn(event);
    auto second = waitOn(event);
    EXPECT_TRUE(first->stillBlocked());
    EXPECT_TRUE(second->stillBlocked());
    event.Raise();
    EXPECT_TRUE(first->returnsInTime());
    EXPECT_TRUE(second->returnsInTime());
    EXPECT_FALSE(event.IsReleased());
}

TEST(EventShared, ReleaseOfAnUnraisedEventFreesPresentAndLaterWaiters) {
    CEventShared event;
    auto early = waitOn(event);
    EXPECT_TRUE(early->stillBlocked());
    event.Release();
    EXPECT_TRUE(early->returnsInTime());
    EXPECT_TRUE(event.IsReleased());
    auto late = waitOn(event);
    EXPECT_TRUE(late->returnsInTime());
}

TEST(EventShared, NoRaiseIsLostWhenItMeetsTheWait) {
    // Raiser and waiter start together many times; a lost wake-up shows as a hung waiter.
    for (int round = 0; round < 200; ++round) {
        CEventShared event;
        std::thread raiser([&event] { event.Raise(); });
        auto waiter = waitOn(event);
        raiser.join();
        ASSERT_TRUE(waiter->returnsInTime()) << "round " << round;
    }
}

TEST(RendezVousShared, OpensWhenTheLastOfThreeArrives) {
    CRendezVousShared point;
    for (int i = 0; i < 3; ++i) {
        point.AddParticipant();
    }
    auto first = arriveAt(point);
    auto second = arriveAt(point);
    EXPECT_TRUE(first->stillBlocked());
    EXPECT_TRUE(second->stillBlocked());
    auto third = arriveAt(point);
    EXPECT_TRUE(third->returnsInTime());
    EXPECT_TRUE(first->returnsInTime());
    EXPECT_TRUE(second->returnsInTime());
    EXPECT_FALSE(point.IsReleased());
}

TEST(RendezVousShared, AnOpenPointNeverBlocksAgain) {
    CRendezVousShared point;
    point.AddParticipant();
    auto only = arriveAt(point);
    EXPECT_TRUE(only->returnsInTime());
    auto again = arriveAt(point);
    EXPECT_TRUE(again->returnsInTime());
}

TEST(RendezVousShared, AReleaseCountsAsAnArrival) {
    CRendezVousShared point;
    point.AddParticipant();
    point.AddParticipant();
    point.AddParticipant();
    auto present = arriveAt(point);
    // A worker that gave up before reaching the point passes on at once: it may still have
    // other objects to release that the present participant needs.
    BackgroundCall release([&point] { point.Release(); }, [&point] { point.Arrive(); });
    EXPECT_TRUE(release.returnsInTime());
    EXPECT_TRUE(present->stillBlocked());
    auto last = arriveAt(point);
    EXPECT_TRUE(last->returnsInTime());
    EXPECT_TRUE(present->returnsInTime());
    EXPECT_TRUE(point.IsReleased());
}

TEST(RendezVousShared, AReleaseOfAnOpenPointPassesAtOnce) {
    CRendezVousShared point;
    point.AddParticipant();
    auto only = arriveAt(point);
    ASSERT_TRUE(only->returnsInTime());
    BackgroundCall release([&point] { point.Release(); }, [&point] { point.Arrive(); });
    EXPECT_TRUE(release.returnsInTime());
    EXPECT_TRUE(point.IsReleased());
}

TEST(RendezVousShared, ManyParticipantsAllPassTogether) {
    for (int round = 0; round < 20; ++round) {
        CRendezVousShared point;
        const int participants = 6;
        for (int i = 0; i < participants; ++i) {
            point.AddParticipant();
        }
        std::vector<std::unique_ptr<BackgroundCall>> arrivals;
        for (int i = 0; i < participants; ++i) {
            arrivals.push_back(arriveAt(point));
        }
        for (const auto& arrival : arrivals) {
            ASSERT_TRUE(arrival->returnsInTime()) << "round " << round;
        }
    }
}

TEST(BufferShared, ARaiseHandsTheValueToItsWaiter) {
    CBufferShared buffer;
    buffer.SetValue("abc");
    auto waiter = waitOn(buffer);
    EXPECT_TRUE(waiter->stillBlocked()) << "SetValue alone must not raise";
    buffer.Raise();
    EXPECT_TRUE(waiter->returnsInTime());
    EXPECT_FALSE(buffer.IsReleased());
    EXPECT_EQ(valueOf(buffer), "abc");
    const std::string bytes("a\0b\xff", 4);
    buffer.SetValue(bytes);
    EXPECT_EQ(valueOf(buffer), bytes);
}

TEST(BufferShared, ReleaseWithoutAValueFreesWaitersEmptyHanded) {
    CBufferShared buffer;
    auto waiter = waitOn(buffer);
    EXPECT_TRUE(waiter->stillBlocked());
    buffer.Release();
    EXPECT_TRUE(waiter->returnsInTime());
    EXPECT_TRUE(buffer.IsReleased());
    EXPECT_EQ(valueOf(buffer), "");
}

TEST(BufferShared, ReleaseAfterASetValueIsSeenAsReleased) {
    CBufferShared buffer;
    buffer.SetValue("1");
    buffer.Raise();
    buffer.Release();
    auto waiter = waitOn(buffer);
    EXPECT_TRUE(waiter->returnsInTime());
    EXPECT_TRUE(buffer.IsReleased());
}

TEST(BufferShared, AWriterAndReadersRunTogether) {
    // Values written while other threads read them: every reader sees a whole value.
    CBufferShared buffer;
    buffer.SetValue("even");
    std::thread writer([&buffer] {
        buffer.Raise();
        for (int i = 0; i < 500; ++i) {
            buffer.SetValue(i % 2 ? "odd-value" : "even");
        }
    });
    std::vector<std::thread> readers;
    std::atomic<int> torn{0};
    for (int r = 0; r < 2; ++r) {
        readers.emplace_back([&buffer, &torn] {
            buffer.Wait();
            for (int i = 0; i < 200; ++i) {
                const std::string value = valueOf(buffer);
                if (value != "odd-value" && value != "even") {
                    ++torn;
                }
            }
        });
    }
    writer.join();
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(torn.load(), 0);
}
