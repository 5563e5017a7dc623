#pragma once
// A moment a wait must not pass, made from a limit in milliseconds: every time-out of the
// program is one, asked what is left and whether it has passed.

#include <chrono>

class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(long long milliseconds, Clock::time_point from = Clock::now())
        : at_(from + std::chrono::milliseconds(milliseconds)) {}

    // Whole milliseconds left, 0 once it has passed.
    int millisecondsLeft() const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(at_ - Clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }
    bool passed() const { return Clock::now() >= at_; }
    Clock::time_point at() const { return at_; }

  private:
    Clock::time_point at_;
};
