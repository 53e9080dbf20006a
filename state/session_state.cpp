#include "state/session_state.h"

#include "core/audio_info.h"
#include "core/preload_scan.h"
#include "state/format_time.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// The product of a position and the step is a signed 32-bit product: it
// wraps as such instead of overflowing.
std::int32_t PositionTimesStep(std::int64_t position, std::int32_t positionStep) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(position) *
                                     static_cast<std::uint32_t>(positionStep));
}

template <typename Integer> Integer TruncateToInteger(long double value) {
    if (!std::isfinite(value))
        return 0;
    const long double truncated = std::trunc(value);
    if (truncated <= static_cast<long double>(std::numeric_limits<Integer>::min()))
        return std::numeric_limits<Integer>::min();
    if (truncated >= static_cast<long double>(std::numeric_limits<Integer>::max()))
        return std::numeric_limits<Integer>::max();
    return static_cast<Integer>(truncated);
}

} // namespace

std::int64_t DurationMsFromAnalysis(const TAudioInfo& info) {
    if (info.IsVbr || info.IsTimedByFrameCount())
        return info.PlayTimeMs;
    const std::int64_t audioBytes = info.FileSize - info.FirstFrameOffset;
    // The tag bytes counted here can lift a length the analysis accepted just past
    // the 32-bit range that every time of the session lives in.
    return std::min<std::int64_t>(info.ConstantBitrateMs(audioBytes),
                                  std::numeric_limits<std::int32_t>::max());
}

void BeginSourceDurations(SessionState& state, const TAudioInfo& info) {
    state.DurationMs = DurationMsFromAnalysis(info);
    state.DurationMsExact = static_cast<double>(state.DurationMs);
    state.FrameCount = 0;
    state.ErrorCount = 0;
}

void ApplyScanResult(SessionState& state, const ScanResult& scan) {
    state.FrameCount = scan.FrameCount;
    state.ErrorCount = scan.ErrorCount;
    state.DurationMsExact = scan.DurationMsExact;
    state.DurationMs = static_cast<std::int64_t>(std::trunc(state.DurationMsExact));
}

double MsPerFrameOf(std::int64_t durationMs, const TAudioInfo& info) {
    const std::int64_t audioBytes = info.FileSize - info.FirstFrameOffset - 128;
    if (info.Header.FrameBytes <= 0 || audioBytes <= 0)
        return 0.0;
    const double frames = static_cast<double>(audioBytes) / info.Header.FrameBytes;
    return static_cast<double>(durationMs) / frames;
}

std::int32_t ChoosePositionStep(std::int64_t durationMs) {
    const auto d = static_cast<std::uint32_t>(durationMs);
    if (d < 1000000u)
        return 100;
    if (d < 40000000u)
        return 1000;
    if (d < 100000000u)
        return 4000;
    return 10000;
}

void ApplyPlayerLength(SessionState& state, std::int64_t playerLength) {
    state.Koef = static_cast<double>(static_cast<long double>(playerLength) /
                                     static_cast<long double>(state.DurationMsExact));
}

std::int32_t PositionToMs(std::int32_t position, std::int32_t positionStep) {
    return PositionTimesStep(position, positionStep);
}

std::int32_t MsToPosition(std::int32_t ms, std::int32_t positionStep) {
    return ms / (positionStep > 0 ? positionStep : 1);
}

std::int32_t SliderMaximumOf(const SessionState& state) {
    if (state.PositionStep <= 0)
        return 0;
    return static_cast<std::int32_t>(static_cast<long double>(state.DurationMs) /
                                     static_cast<long double>(state.PositionStep));
}

std::int32_t SectionEndMs(std::int32_t position, const SessionState& state) {
    if (state.PositionStep > 0 && position == SliderMaximumOf(state))
        return static_cast<std::int32_t>(
            std::min<std::int64_t>(state.DurationMs, std::numeric_limits<std::int32_t>::max()));
    return PositionToMs(position, state.PositionStep);
}

std::int64_t MsToPlayer(std::int64_t ms, double koef) {
    return TruncateToInteger<std::int64_t>(static_cast<long double>(ms) * koef);
}

std::int64_t PositionToPlayer(std::int32_t position, std::int32_t positionStep, double koef) {
    return MsToPlayer(PositionTimesStep(position, positionStep), koef);
}

std::int32_t PlayerToPosition(double q, std::int32_t positionStep, double koef) {
    if (positionStep == 0 || koef == 0.0)
        return 0;
    return TruncateToInteger<std::int32_t>(static_cast<long double>(q) / positionStep / koef);
}

// From the start's ms to the end its section has: at the slider's last
// position the rest of the source no position reaches is in it.
std::int32_t SelectionMs(const SessionState& state, std::int32_t selectionStart,
                         std::int32_t selectionEnd) {
    const std::int64_t ms = std::int64_t{SectionEndMs(selectionEnd, state)} -
                            PositionToMs(selectionStart, state.PositionStep);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        ms, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

void UpdateSelectionSize(SessionState& state, std::int32_t selectionStart,
                         std::int32_t selectionEnd, std::int32_t frameBytes) {
    if (state.MsPerFrame == 0.0 || std::isnan(state.MsPerFrame))
        return;
    const std::int32_t lengthMs = SelectionMs(state, selectionStart, selectionEnd);
    const double frames = lengthMs / state.MsPerFrame;
    const double bytes = frames * frameBytes;
    const double sizeKB = bytes / 1024.0;
    state.SelectionSizeKB = sizeKB < 0.0 ? 0.0 : sizeKB;
}

std::string SelectionLengthText(const SessionState& state, std::int32_t selectionStart,
                                std::int32_t selectionEnd, char decimalSeparator) {
    const std::int32_t lengthMs = SelectionMs(state, selectionStart, selectionEnd);
    // to_chars ignores the C locale, which a GUI toolkit may have changed.
    char size[400];
    const auto written =
        std::to_chars(size, size + sizeof size, state.SelectionSizeKB, std::chars_format::fixed, 1);
    std::string sizeText(size, written.ptr);
    if (const std::size_t point = sizeText.find('.'); point != std::string::npos)
        sizeText[point] = decimalSeparator;
    return FormatTime(lengthMs) + " (approx. " + sizeText + " KB)";
}
