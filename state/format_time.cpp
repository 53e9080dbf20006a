#include "state/format_time.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

namespace {

std::string TwoDigits(std::int64_t value) {
    std::string digits = std::to_string(value);
    if (value < 10)
        digits.insert(digits.begin(), '0');
    return digits;
}

bool ParseDigits(std::string_view text, std::int64_t& value) {
    if (text.empty() || text.size() > 12)
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

std::vector<std::string_view> SplitAtColons(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t begin = 0;
    for (std::size_t colon; (colon = text.find(':', begin)) != std::string_view::npos;
         begin = colon + 1)
        fields.push_back(text.substr(begin, colon - begin));
    fields.push_back(text.substr(begin));
    return fields;
}

// ".5" is 500 ms, ".25" 250 ms, ".125" 125 ms; no more than millisecond digits.
bool ParseFraction(std::string_view digits, std::int64_t& ms) {
    if (digits.size() > 3 || !ParseDigits(digits, ms))
        return false;
    for (std::size_t i = digits.size(); i < 3; ++i)
        ms *= 10;
    return true;
}

bool ParseClock(std::string_view text, std::int64_t& ms) {
    const std::vector<std::string_view> fields = SplitAtColons(text);
    if (fields.size() < 2 || fields.size() > 3)
        return false;
    std::string_view secondsText = fields.back();
    std::int64_t fraction = 0;
    if (const std::size_t point = secondsText.find('.'); point != std::string_view::npos) {
        if (!ParseFraction(secondsText.substr(point + 1), fraction))
            return false;
        secondsText = secondsText.substr(0, point);
    }
    std::int64_t hours = 0, minutes = 0, seconds = 0;
    const bool withHours = fields.size() == 3;
    if (withHours && !ParseDigits(fields[0], hours))
        return false;
    if (!ParseDigits(fields[fields.size() - 2], minutes) || !ParseDigits(secondsText, seconds))
        return false;
    if (seconds >= 60 || (withHours && minutes >= 60))
        return false;
    ms = ((hours * 60 + minutes) * 60 + seconds) * 1000 + fraction;
    return true;
}

} // namespace

std::string FormatTime(std::int32_t ms) {
    if (ms < 0)
        return "00:00.0";
    std::int64_t minutes = ms / 60000;
    const std::int64_t msInMinute = ms - minutes * 60000;
    const std::int64_t tenths = (ms % 1000) / 100;
    std::int64_t hours = 0;
    if (minutes >= 60) {
        hours = minutes / 60;
        minutes -= hours * 60;
    }
    std::string text = hours > 0 ? TwoDigits(hours) + ":" : "";
    return text + TwoDigits(minutes) + ":" + TwoDigits(msInMinute / 1000) + "." +
           std::to_string(tenths);
}

std::string WidestTimeText() {
    return FormatTime(100 * 3600000 - 1);
}

bool ParseTime(const std::string& text, std::int32_t& ms) {
    std::int64_t value = 0;
    const bool parsed =
        text.find(':') == std::string::npos ? ParseDigits(text, value) : ParseClock(text, value);
    if (!parsed || value > std::numeric_limits<std::int32_t>::max())
        return false;
    ms = static_cast<std::int32_t>(value);
    return true;
}
