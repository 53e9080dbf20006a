#include "state/overview_view.h"

#include <algorithm>

namespace {

// The strip's height spans the top 60 dB.
constexpr double kShownLevels = -kLoudnessFloorDb / kLoudnessDbPerStep;
// A Layer III frame at 44.1 kHz, until the frame count is known.
constexpr double kUsualFrameMs = 26.0;

} // namespace

void OverviewView::Reset(std::int64_t durationMs) {
    durationMs_ = std::max<std::int64_t>(durationMs, 1);
    frameCount_ = 0;
    start_ = 0;
    span_ = durationMs_;
}

void OverviewView::ZoomTo(std::int64_t span, std::int64_t playMs) {
    const double frameMs =
        frameCount_ > 0 ? static_cast<double>(durationMs_) / frameCount_ : kUsualFrameMs;
    const auto fewest =
        std::max<std::int64_t>(static_cast<std::int64_t>(frameMs * kFewestFrames), 1);
    span_ = std::clamp(span, std::min(fewest, durationMs_), durationMs_);
    // The play position keeps the middle where it can.
    ScrollTo(playMs - span_ / 2);
}

void OverviewView::ScrollTo(std::int64_t start) {
    start_ = std::clamp<std::int64_t>(start, 0, durationMs_ - span_);
}

bool OverviewView::Follow(std::int64_t playMs) {
    if (span_ >= durationMs_ || (playMs >= start_ && playMs <= start_ + span_))
        return false;
    const std::int64_t before = start_;
    ScrollTo(playMs - span_ / 10);
    return start_ != before;
}

double OverviewView::XOfMs(std::int64_t ms, int width) const {
    return span_ <= 0 ? 0.0 : static_cast<double>(ms - start_) * width / static_cast<double>(span_);
}

std::int64_t OverviewView::MsOfX(double x, int width) const {
    const double ms = start_ + x * static_cast<double>(span_) / std::max(width, 1);
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(ms), 0, durationMs_);
}

std::int64_t OverviewView::FrameOfMs(std::int64_t ms) const {
    return static_cast<std::int64_t>(static_cast<double>(ms) * frameCount_ /
                                     static_cast<double>(std::max<std::int64_t>(durationMs_, 1)));
}

std::vector<std::uint8_t> ColumnLevels(const LoudnessOverview& overview, const OverviewView& view,
                                       int width) {
    std::vector<std::uint8_t> levels(static_cast<std::size_t>(std::max(width, 0)));
    if (overview.Levels.empty())
        return levels;
    for (int x = 0; x < width; ++x) {
        const std::int64_t first = view.FrameOfMs(view.MsOfX(x, width));
        const std::int64_t end = std::max(view.FrameOfMs(view.MsOfX(x + 1, width)), first + 1);
        levels[static_cast<std::size_t>(x)] = overview.Peak(first, end);
    }
    return levels;
}

double ShownShare(std::uint8_t level) {
    return std::max(0.0, level - (255 - kShownLevels)) / kShownLevels;
}
