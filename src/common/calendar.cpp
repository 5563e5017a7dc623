#include "common/calendar.h"

#include <mutex>

namespace {

std::mutex& calendarMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

std::tm LocalCalendarTime(std::time_t moment) {
    const std::lock_guard<std::mutex> lock(calendarMutex());
    return *std::localtime(&moment);
}

std::tm UtcCalendarTime(std::time_t moment) {
    const std::lock_guard<std::mutex> lock(calendarMutex());
    return *std::gmtime(&moment);
}
