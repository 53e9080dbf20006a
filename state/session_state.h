#pragma once

#include <cstdint>
#include <string>

class TAudioInfo;
struct ScanResult;

// The state of the open source that the main window, the split list and the
// dialogs share. All times are whole milliseconds from the start of the source.
struct SessionState {
    std::string SourceFileName;
    std::int64_t DurationMs = 0;
    double DurationMsExact = 0.0;
    std::int32_t FrameCount = 0; // 0 means not scanned
    std::int64_t ErrorCount = 0;
    std::int32_t PositionStep = 0; // ms per slider position; 0 before the first open
    double Koef = 0.0;             // player units per ms
    double MsPerFrame = 0.0;
    double SelectionSizeKB = 0.0;
};

// Length of a source as the analysis gives it, before any scan: the VBR play
// time, the CBR formula over the bytes from the first frame on at the audio's
// rate, or the frame count's play time where an information frame's rate is not
// the audio's.
std::int64_t DurationMsFromAnalysis(const TAudioInfo& info);

// The durations of a source just analysed: its length from the analysis, no
// frame count yet.
void BeginSourceDurations(SessionState& state, const TAudioInfo& info);

// Takes the exact frame count, error count and length of a frame scan.
void ApplyScanResult(SessionState& state, const ScanResult& scan);

// Estimated ms per frame: DurationMs / ((FileSize - FirstFrameOffset - 128) / FrameBytes).
// 0 when the frame length or the byte count gives no estimate.
double MsPerFrameOf(std::int64_t durationMs, const TAudioInfo& info);

// The slider step for a source of the given duration: 100, 1000, 4000 or 10000.
std::int32_t ChoosePositionStep(std::int64_t durationMs);

// Player units per ms: the player's length over the exact duration.
void ApplyPlayerLength(SessionState& state, std::int64_t playerLength);

// The ms of a slider position: position * PositionStep as a signed 32-bit product.
std::int32_t PositionToMs(std::int32_t position, std::int32_t positionStep);
// The slider position of a time: ms / PositionStep, truncated; a step not yet
// chosen counts as 1.
std::int32_t MsToPosition(std::int32_t ms, std::int32_t positionStep);
// The slider's last position: DurationMs / PositionStep; 0 before the first open.
std::int32_t SliderMaximumOf(const SessionState& state);
// The ms a section ending at a slider position ends at: the position's ms, or
// at the slider's last position the whole length, whose rest (less than one
// step) no position reaches.
std::int32_t SectionEndMs(std::int32_t position, const SessionState& state);

// trunc(ms * Koef).
std::int64_t MsToPlayer(std::int64_t ms, double koef);
// trunc(position * PositionStep * Koef), the first product in integers.
std::int64_t PositionToPlayer(std::int32_t position, std::int32_t positionStep, double koef);
// trunc(q / PositionStep / Koef), divided in that order as real numbers.
std::int32_t PlayerToPosition(double q, std::int32_t positionStep, double koef);

// The ms a selection in slider positions spans: from its start's ms to the
// end a section ending there has (SectionEndMs).
std::int32_t SelectionMs(const SessionState& state, std::int32_t selectionStart,
                         std::int32_t selectionEnd);

// Recomputes state.SelectionSizeKB from a selection in slider positions and the
// first frame's length in bytes; keeps it when MsPerFrame gives no estimate.
void UpdateSelectionSize(SessionState& state, std::int32_t selectionStart,
                         std::int32_t selectionEnd, std::int32_t frameBytes);

// "mm:ss.t (approx. n.n KB)" for the selection, with the locale's decimal separator.
std::string SelectionLengthText(const SessionState& state, std::int32_t selectionStart,
                                std::int32_t selectionEnd, char decimalSeparator);
