#include "core/frame_checkpoints.h"

#include <algorithm>
#include <chrono>

namespace {

// A waiter with a stop request looks at it this often.
constexpr std::chrono::milliseconds kStopPoll{10};

} // namespace

void FrameCheckpoints::Keep(const WalkPoint& point) {
    {
        const std::lock_guard lock(mutex_);
        points_.push_back(point);
    }
    kept_.notify_all();
}

void FrameCheckpoints::Finish() {
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    kept_.notify_all();
}

template <typename Passed>
void FrameCheckpoints::WaitUntil(std::unique_lock<std::mutex>& lock, Passed passed,
                                 const Stop& stop) const {
    const auto done = [&] { return finished_ || (!points_.empty() && passed(points_.back())); };
    if (!stop) {
        kept_.wait(lock, done);
        return;
    }
    while (!kept_.wait_for(lock, kStopPoll, done)) {
        if (stop())
            return;
    }
}

WalkPoint FrameCheckpoints::BeforeFrame(std::int64_t frameIndex, const Stop& stop) const {
    std::unique_lock lock(mutex_);
    WaitUntil(
        lock, [&](const WalkPoint& last) { return last.FrameIndex >= frameIndex; }, stop);
    if (points_.empty())
        return WalkPoint{};
    const auto after = std::upper_bound(
        points_.begin(), points_.end(), frameIndex,
        [](std::int64_t index, const WalkPoint& point) { return index < point.FrameIndex; });
    return after == points_.begin() ? points_.front() : *(after - 1);
}

WalkPoint FrameCheckpoints::Before(double startMs, const Stop& stop) const {
    std::unique_lock lock(mutex_);
    WaitUntil(
        lock, [&](const WalkPoint& last) { return last.ElapsedMs >= startMs; }, stop);
    if (points_.empty())
        return WalkPoint{};
    const auto reached =
        std::lower_bound(points_.begin(), points_.end(), startMs,
                         [](const WalkPoint& point, double ms) { return point.ElapsedMs < ms; });
    const auto steps = reached - points_.begin();
    return points_[static_cast<std::size_t>(std::max<std::ptrdiff_t>(steps - 2, 0))];
}

std::vector<WalkPoint> FrameCheckpoints::All(const Stop& stop) const {
    std::unique_lock lock(mutex_);
    WaitUntil(
        lock, [](const WalkPoint&) { return false; }, stop);
    return points_;
}
