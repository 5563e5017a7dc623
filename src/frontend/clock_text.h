#pragma once
// Moments as the report, the stream and the transcripts write them.

#include <chrono>
#include <string>

// "2026-12-09T06:10:42.123+01:00": local time with its offset from UTC.
std::string IsoTime(std::chrono::system_clock::time_point moment);
// The same for now; the calendar is worked out once a second per thread, so that a record
// per command costs no more than a copy.
std::string IsoTimeNow();
