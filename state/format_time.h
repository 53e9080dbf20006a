#pragma once

#include <cstdint>
#include <string>

// "mm:ss.t" below one hour, "hh:mm:ss.t" from one hour on; tenths truncated;
// negative times read "00:00.0".
std::string FormatTime(std::int32_t ms);

// The widest time below 100 hours, "99:59:59.9": what a column of times must
// have room for.
std::string WidestTimeText();

// Reads a time typed by a user: whole milliseconds ("12500") or
// "mm:ss.t" / "hh:mm:ss.t" ("00:12.5"). Returns false when the text is neither.
bool ParseTime(const std::string& text, std::int32_t& ms);
