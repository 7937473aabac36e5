// Period texts of the API: parsing and checking the from/to a client sends,
// stepping hours and days for the page's gaps and daily volumes.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace statvtk::collect {

// "YYYY", "YYYY-MM", "YYYY-MM-DD", "YYYY-MM-DD HH", "YYYY-MM-DD HH:MM" (a 'T'
// may stand for the blank): the text as the store compares it ("YYYY-MM-DD HH:MM"
// with a blank), or nullopt when it is no real date and time.
std::optional<std::string> NormalizedPeriod(std::string_view text);

// Hours since 1970-01-01 00:00 of an hourly period "YYYY-MM-DD HH:00" read
// as a calendar time without zone (the instrument's own), and back.
std::optional<std::int64_t> HourNumber(std::string_view period);
std::string HourPeriod(std::int64_t hourNumber);
// Days since 1970-01-01 of "YYYY-MM-DD" (the first ten characters), and back.
std::optional<std::int64_t> DayNumber(std::string_view period);
std::string DayPeriod(std::int64_t dayNumber);

// UTC texts "YYYY-MM-DDTHH:MM:SSZ" of the store, and the moment they name.
std::optional<std::chrono::system_clock::time_point> UtcMoment(std::string_view text);
std::string UtcText(std::chrono::system_clock::time_point t);
// "2026-12-10T01:02:03.456Z": the call log's times, to the millisecond.
std::string UtcMillis(std::chrono::system_clock::time_point t);
// Milliseconds since the epoch of such a text (the fraction optional).
std::optional<std::int64_t> UtcMillisOf(const std::string& text);

}  // namespace statvtk::collect
