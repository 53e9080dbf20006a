#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// Where a walk from the first audio frame stands: the position, the frames
// passed and their running elapsed time. The walk from such a state goes on
// exactly as the walk from the first frame would, so a state kept once serves
// any later walk.
struct WalkPoint {
    std::int64_t Position = 0;
    std::int32_t FrameIndex = 0;
    double ElapsedMs = 0.0;
    bool CountEnded = false; // the scan's count ended before here

    bool operator==(const WalkPoint&) const = default;
};

// The walk's state before every kStride-th audio frame, kept as one walk over
// the source passes it, so that the frame a part from any time begins with is
// found by a short walk, even in a long file. Readers on other threads wait
// only until the walk has passed what they ask for; stop, asked now and then
// while they wait, ends a wait early with what is there.
class FrameCheckpoints {
public:
    // Frames between checkpoints: at most this many are walked to find a frame.
    static constexpr std::int32_t kStride = 64;
    using Stop = std::function<bool()>;

    // From the walking thread, in the walk's order.
    void Keep(const WalkPoint& point);
    // No more will come: the walk reached its end, failed or was stopped.
    void Finish();

    // A checkpoint at least one stride before the first frame whose elapsed
    // time reaches startMs (or the walk's start), so that a walk from it also
    // meets up to kStride frames before that one.
    WalkPoint Before(double startMs, const Stop& stop = {}) const;
    // A checkpoint at or before the frame of that index (among the audio frames).
    WalkPoint BeforeFrame(std::int64_t frameIndex, const Stop& stop = {}) const;
    // Every checkpoint once the walk has ended.
    std::vector<WalkPoint> All(const Stop& stop = {}) const;

private:
    template <typename Passed>
    void WaitUntil(std::unique_lock<std::mutex>& lock, Passed passed, const Stop& stop) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable kept_;
    std::vector<WalkPoint> points_;
    bool finished_ = false;
};
