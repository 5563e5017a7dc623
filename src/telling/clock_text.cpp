#include "telling/clock_text.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/calendar.h"

namespace {

using SystemClock = std::chrono::system_clock;

// "2026-12-09T06:10:42" and "+01:00" of a second.
struct SecondText {
    std::time_t second = -1;
    std::string date;
    std::string zone;
};

SecondText secondText(std::time_t seconds) {
    const std::tm local = LocalCalendarTime(seconds);
    const std::tm utc = UtcCalendarTime(seconds);
    const int dayShift = local.tm_year != utc.tm_year ? (local.tm_year < utc.tm_year ? -1 : 1)
                                                      : local.tm_yday - utc.tm_yday;
    const int offset =
        dayShift * 1440 + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                  std::abs(offset) % 60);
    return {seconds, date, zone};
}

std::string joined(const SecondText& second, SystemClock::time_point moment) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(moment.time_since_epoch()).count() %
        1000;
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
    return second.date + fraction + second.zone;
}

}  // namespace

std::string IsoTime(SystemClock::time_point moment) {
    return joined(secondText(SystemClock::to_time_t(moment)), moment);
}

void AppendIsoTimeNow(std::string& text) {
    thread_local SecondText second;
    thread_local long long shownMs = -1;
    thread_local std::string shown;
    const SystemClock::time_point now = SystemClock::now();
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    if (ms != shownMs) {
        const std::time_t seconds = SystemClock::to_time_t(now);
        if (seconds != second.second) {
            second = secondText(seconds);
        }
        shown = joined(second, now);
        shownMs = ms;
    }
    text += shown;
}

std::string IsoTimeNow() {
    std::string text;
    AppendIsoTimeNow(text);
    return text;
}
