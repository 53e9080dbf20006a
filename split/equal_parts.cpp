#include "split/equal_parts.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// The count text as a decimal integer: an optional sign and digits, nothing else.
bool ParseCount(const std::string& text, std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > std::numeric_limits<std::int32_t>::max() + std::int64_t{1})
            return false;
    }
    value = negative ? -magnitude : magnitude;
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

std::int32_t Saturate(long double value) {
    if (value >= static_cast<long double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (value <= static_cast<long double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// Nearest integer, an exact half going to the even neighbour.
std::int32_t RoundHalfToEven(long double value) {
    const long double below = std::floor(value);
    const long double fraction = value - below;
    long double rounded = below;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(below, 2.0L) != 0.0L))
        rounded = below + 1.0L;
    return Saturate(rounded);
}

std::int32_t ClampedPartCount(std::int64_t count) {
    if (count < 2)
        return 2;
    if (count > SplitList::MaxParts)
        return SplitList::MaxParts;
    return static_cast<std::int32_t>(count);
}

} // namespace

Result<EqualPartsResult> SplitByEqualParts(SplitList& list, const EqualPartsInput& input,
                                           const TID3v1Tag& sourceTag) {
    EqualPartsResult result;
    result.CountText = input.CountText.empty() ? "2" : input.CountText;
    result.FirstNewIndex = list.SplitCount();

    std::int64_t typed = 0;
    if (!ParseCount(result.CountText, typed))
        return Error{ErrorCategory::Input, -1,
                     "'" + result.CountText + "' is not a valid integer value"};
    const std::int32_t partCount = ClampedPartCount(typed);
    const long double totalMs = input.TotalMs;
    const std::int32_t partLengthMs = RoundHalfToEven(totalMs / partCount);
    const std::int64_t overlapMs = std::int64_t{input.OverlapPositions} * input.PositionStep;

    std::int64_t cursor = 0;
    for (std::int32_t i = 1; i <= partCount; ++i) {
        const std::int32_t endMs = i == partCount ? Saturate(std::trunc(totalMs))
                                                  : Saturate(overlapMs + cursor + partLengthMs);
        if (list.IsFull()) {
            result.LeftOut.push_back({Saturate(cursor), endMs});
        } else {
            list.AddEntry(Saturate(cursor), endMs, sourceTag);
            ++result.PartsAdded;
        }
        cursor += partLengthMs;
    }
    return result;
}
