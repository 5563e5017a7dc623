#pragma once
// A moment's calendar fields. The C library's localtime and gmtime share one result and read the
// time zone into shared memory: the log and the record times both ask for them, from any thread,
// so every call goes through here, one at a time.

#include <ctime>

std::tm LocalCalendarTime(std::time_t moment);
std::tm UtcCalendarTime(std::time_t moment);
