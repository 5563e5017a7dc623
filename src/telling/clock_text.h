#pragma once
// Moments as the report, the stream and the transcripts write them.

#include <chrono>
#include <string>

// "2026-12-09T06:10:42.123+01:00": local time with its offset from UTC.
std::string IsoTime(std::chrono::system_clock::time_point moment);
// The same for now, added to `text`; worked out once a millisecond per thread, so that a line
// per command costs no more than a copy.
void AppendIsoTimeNow(std::string& text);
std::string IsoTimeNow();
