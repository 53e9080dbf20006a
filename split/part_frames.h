#pragma once

#include "core/frame_walk.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

// One frame handed out; Lead frames come before the part's first frame, for a
// decoder to begin with (their sound belongs before the part).
struct PartFrame {
    std::span<const std::uint8_t> Bytes; // valid until the next call
    double StartMs = 0.0;
    bool Lead = false;
    std::int64_t Index = 0; // among the source's audio frames
};

// The frames a part from startMs to endMs holds, exactly those the split
// writes, read one by one: so a preview plays what a part will hold.
class PartFrames {
public:
    Result<void> Open(const ScanSource& source);

    // Walks on from a state at or before the part's first frame (FrameIndex::Before).
    // Without endMs the part runs to the end of the source.
    void Begin(const WalkPoint& from, std::int32_t startMs, std::optional<std::int32_t> endMs,
               int leadFrames);
    // Walks on from a state at or before frame first - leadFrames; the part
    // is frames first to last (by their index among the audio frames), or to
    // the end of the source. With bridge, a Layer III lead begins with a
    // silent frame holding what its first frame reads from the reservoir,
    // gathered from the frames walked before it, so that every lead frame
    // decodes whole.
    void BeginFrames(const WalkPoint& from, std::int64_t first, std::int64_t last, int leadFrames,
                     bool bridge = false);
    // The next frame, nothing after the part's last one.
    std::optional<PartFrame> Next();

private:
    bool Belongs(const WalkFrame& frame) const;

    FrameWalk walk_;
    WalkPoint at_;
    std::optional<std::int32_t> endMs_;
    std::optional<std::int64_t> lastFrame_;
    struct Queued {
        WalkFrame Frame;
        bool Lead = false;
        std::int64_t Index = 0;
        std::vector<std::uint8_t> Made; // a frame of its own instead of the walk's
    };
    std::int32_t versionId_ = 1;
    std::vector<std::uint8_t> made_; // the frame Next handed out last, when made
    std::deque<Queued> queued_;
    bool ended_ = true;
};
