#pragma once

#include "core/frame_checkpoints.h"
#include "core/frame_rule.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// The frame rule, asked again only when a header's first three bytes differ
// from the last one's (the rule reads nothing else), as they seldom do.
class RememberedRule {
public:
    RememberedRule(std::int32_t versionId, std::int32_t layer)
        : versionId_(versionId), layer_(layer) {}

    const FrameCandidate& Evaluate(const std::uint8_t* b) {
        const std::uint32_t key = std::uint32_t{b[0]} << 16 | std::uint32_t{b[1]} << 8 | b[2];
        if (key != lastKey_) {
            last_ = EvaluateFrame(b, versionId_, layer_);
            lastKey_ = key;
        }
        return last_;
    }

private:
    std::int32_t versionId_;
    std::int32_t layer_;
    std::uint32_t lastKey_ = 0xFFFFFFFF;
    FrameCandidate last_;
};

// Moves a walk over an accepted frame whose duration is known.
[[gnu::always_inline]] inline void PassFrame(WalkPoint& at, std::int32_t length,
                                             long double durationMs) {
    at.Position += length;
    ++at.FrameIndex;
    at.ElapsedMs = static_cast<double>(static_cast<long double>(at.ElapsedMs) + durationMs);
}

// What the walk finds at a position.
struct FrameStep {
    bool Readable = false;      // four header bytes were there to read
    bool CanStartFrame = false; // the first byte is 0xFF
    FrameCandidate Frame;
};

// The step the split's walk and the preview's take alike, so that a preview
// plays the frames a part holds: the first frame's rule for every header, a
// frame moved over whole, bytes that start no frame passed by. Reader gives
// the source's bytes: Fetch(offset, count), null where they cannot be had,
// Size(), and kMaxSpan, the most it gives at once.
template <typename Reader> class FrameStepper {
public:
    FrameStepper(Reader& reader, std::int32_t versionId, std::int32_t layer,
                 const CountingEnd& counting)
        : reader_(reader), rule_(versionId, layer), counting_(counting) {}

    FrameStep Evaluate(std::int64_t position) {
        FrameStep step;
        const std::uint8_t* header = reader_.Fetch(position, 4);
        if (header == nullptr)
            return step;
        step.Readable = true;
        step.CanStartFrame = header[0] == 0xFF;
        step.Frame = rule_.Evaluate(header);
        return step;
    }
    const FrameCandidate& Rule(const std::uint8_t* header) { return rule_.Evaluate(header); }

    // A rejected candidate adds no time and no frame: the walk moves one byte
    // on, or where no frame can start there, on to the next 0xFF at once.
    // Inlined: it runs once a frame, in the loops that copy.
    [[gnu::always_inline]] inline void Advance(WalkPoint& at, const FrameStep& step) {
        if (!step.Frame.Accepted) {
            const std::int64_t next =
                step.CanStartFrame ? at.Position + 1 : NextPossibleFrame(at.Position);
            at.CountEnded = at.CountEnded || counting_.StepEndsCount(at.Position, next);
            at.Position = next;
            return;
        }
        PassFrame(at, step.Frame.Length, FrameDurationMs(step.Frame.Length, step.Frame.BitrateBps));
    }
    // The next position after position (which holds no 0xFF) at which a frame
    // can start, looked for within a span of the source; at most the first
    // position too close to the end to hold a header, where every walk ends.
    std::int64_t NextPossibleFrame(std::int64_t position) {
        const std::int64_t span = std::min(Reader::kMaxSpan, reader_.Size() - 3 - position);
        const std::uint8_t* bytes = span > 1 ? reader_.Fetch(position, span) : nullptr;
        if (bytes == nullptr)
            return position + 1;
        const void* found = std::memchr(bytes, 0xFF, static_cast<std::size_t>(span));
        return found == nullptr ? position + span
                                : position + (static_cast<const std::uint8_t*>(found) - bytes);
    }

private:
    Reader& reader_;
    RememberedRule rule_;
    const CountingEnd& counting_;
};
