#include "split/frame_index.h"

#include <algorithm>

Result<void> FrameIndex::Build() {
    FrameWalk walk;
    if (Result<void> opened = walk.Open(source_); !opened) {
        Keep(WalkPoint{}, true);
        return opened;
    }
    WalkPoint at = walk.Start();
    Keep(at, false);
    while (!stop_ && walk.Next(at)) {
        if (at.FrameIndex % kStride == 0)
            Keep(at, false);
    }
    Keep(at, true);
    return {};
}

void FrameIndex::Stop() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    walked_.notify_all();
}

void FrameIndex::Keep(const WalkPoint& point, bool done) {
    {
        const std::lock_guard lock(mutex_);
        if (checkpoints_.empty() || checkpoints_.back().Position != point.Position)
            checkpoints_.push_back(point);
        done_ = done;
    }
    walked_.notify_all();
}

WalkPoint FrameIndex::BeforeFrame(std::int64_t frameIndex) const {
    std::unique_lock lock(mutex_);
    walked_.wait(lock, [&] {
        return done_ || stop_ ||
               (!checkpoints_.empty() && checkpoints_.back().FrameIndex >= frameIndex);
    });
    const auto after = std::upper_bound(
        checkpoints_.begin(), checkpoints_.end(), frameIndex,
        [](std::int64_t index, const WalkPoint& point) { return index < point.FrameIndex; });
    if (checkpoints_.empty())
        return WalkPoint{};
    return after == checkpoints_.begin() ? checkpoints_.front() : *(after - 1);
}

WalkPoint FrameIndex::Before(double startMs) const {
    std::unique_lock lock(mutex_);
    walked_.wait(lock, [&] {
        return done_ || stop_ ||
               (!checkpoints_.empty() && checkpoints_.back().ElapsedMs >= startMs);
    });
    if (checkpoints_.empty())
        return WalkPoint{};
    const auto reached =
        std::lower_bound(checkpoints_.begin(), checkpoints_.end(), startMs,
                         [](const WalkPoint& point, double ms) { return point.ElapsedMs < ms; });
    const auto steps = reached - checkpoints_.begin();
    return checkpoints_[static_cast<std::size_t>(std::max<std::ptrdiff_t>(steps - 2, 0))];
}
