#pragma once

#include "core/preload_scan.h"
#include "split/frame_walk.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Checkpoints of the split's walk over a whole source, so that the frame a part
// from any time begins with is found by a short walk, even in a long file.
// Build runs once, on a thread of its own; Before may be asked meanwhile from
// other threads and waits only until the walk has passed the time it asks for.
class FrameIndex {
public:
    // Frames between checkpoints: at most this many are walked to find a frame.
    static constexpr std::int32_t kStride = 64;

    explicit FrameIndex(ScanSource source) : source_(std::move(source)) {}

    // Walks the source to its end, or until Stop. An error when the source
    // cannot be opened; Before then gives the start.
    Result<void> Build();
    void Stop();

    // A checkpoint at least one stride before the first frame whose elapsed
    // time reaches startMs (or the walk's start), so that a walk from it also
    // meets up to kStride frames before that one.
    WalkPoint Before(double startMs) const;
    // A checkpoint at or before the frame of that index (among the audio frames).
    WalkPoint BeforeFrame(std::int64_t frameIndex) const;

private:
    void Keep(const WalkPoint& point, bool done);

    ScanSource source_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable walked_;
    std::vector<WalkPoint> checkpoints_;
    bool done_ = false;
};
