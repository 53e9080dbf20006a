#pragma once

#include "core/loudness_overview.h"

#include <cstdint>
#include <vector>

// The stretch of a source an overview shows, in ms, and the arithmetic between
// its columns, ms and frames. A zoom keeps the play position in view and goes
// down to a few frames; a zoomed view pages along with playback.
class OverviewView {
public:
    // The smallest view shows this many frames.
    static constexpr std::int64_t kFewestFrames = 8;

    // The whole source in view; frames of about 26 ms until their count is known.
    void Reset(std::int64_t durationMs);
    void SetFrameCount(std::int64_t frames) { frameCount_ = frames; }

    void ZoomIn(std::int64_t playMs) { ZoomTo(span_ / 2, playMs); }
    void ZoomOut(std::int64_t playMs) { ZoomTo(span_ * 2, playMs); }
    // Scrolls by an eighth of the view per step, back for negative steps.
    void ScrollBy(int steps) { ScrollTo(start_ + steps * span_ / 8); }
    // Pages to playMs when a zoomed view has lost it; true when the view moved.
    bool Follow(std::int64_t playMs);

    std::int64_t StartMs() const { return start_; }
    std::int64_t SpanMs() const { return span_; }
    std::int64_t DurationMs() const { return durationMs_; }

    double XOfMs(std::int64_t ms, int width) const;
    std::int64_t MsOfX(double x, int width) const;
    std::int64_t FrameOfMs(std::int64_t ms) const;

private:
    void ZoomTo(std::int64_t span, std::int64_t playMs);
    void ScrollTo(std::int64_t start);

    std::int64_t durationMs_ = 0;
    std::int64_t frameCount_ = 0;
    std::int64_t start_ = 0;
    std::int64_t span_ = 0;
};

// The loudest level under each of width columns of the view, 0 for silence.
std::vector<std::uint8_t> ColumnLevels(const LoudnessOverview& overview, const OverviewView& view,
                                       int width);

// How much of its half height a column of level fills: the top 60 dB span it,
// anything quieter but not silent fills 0.
double ShownShare(std::uint8_t level);
