#pragma once

#include "core/block_reader.h"
#include "core/byte_source.h"
#include "core/frame_checkpoints.h"
#include "core/frame_rule.h"
#include "core/frame_step.h"
#include "core/preload_scan.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A frame the walk accepted.
struct WalkFrame {
    std::int64_t Offset = 0;
    std::int32_t Length = 0;
    long double DurationMs = 0.0;
    double StartMs = 0.0; // the elapsed time before it
    bool Counted = false; // the scan counts it: a part may hold it
    bool Whole = false;   // it lies wholly within the source
};

// The walk over a source's frames that every reader of them takes: the first
// frame's rule for every header, bytes that start no frame passed one by one.
class FrameWalk {
public:
    // The split's walk of the file, from the first audio frame: the
    // information frame is left out by its own length. An Open error whose
    // text is the system's reason when the source cannot be opened.
    Result<void> Open(const ScanSource& source);
    // The scan's walk of bytes already open, read ahead on a second thread:
    // from the first frame, which counts however near the end it lies, and
    // an information frame walked like any other.
    void OpenForScan(const ScanSource& source, ByteSource& bytes);
    // The state the walk begins in.
    const WalkPoint& Start() const { return start_; }
    // The next frame the walk accepts from at, with at moved past it; nothing
    // once no header is left to read. Inlined: the scan runs it once a frame.
    std::optional<WalkFrame> Next(WalkPoint& at) {
        FrameStepper<BlockReader>& stepper = *reading_->Stepper;
        const CountingEnd& counting = reading_->Counting;
        for (;;) {
            const FrameStep step = stepper.Evaluate(at.Position);
            if (!step.Readable)
                return std::nullopt;
            if (step.Frame.Accepted)
                return Take(at, step.Frame);
            const WalkPoint before = at;
            stepper.Advance(at, step);
            if (!before.CountEnded)
                skipped_ += counting.CountedSkip(before.Position, at.Position);
        }
    }
    // A frame's bytes, valid until the next call; null when they cannot be read.
    const std::uint8_t* Bytes(const WalkFrame& frame);
    // The bytes passed that start no frame while the scan's count went on.
    std::int64_t Skipped() const { return skipped_; }
    const BlockReader& Reader() const { return *reading_->Reader; }

private:
    // The source, the one block the walk reads it through, and the step.
    struct Reading {
        std::optional<FileSource> File;
        std::optional<BlockReader> Reader;
        CountingEnd Counting;
        std::optional<FrameStepper<BlockReader>> Stepper;
    };
    void Begin(const ScanSource& source, std::int64_t alwaysCounted);
    WalkFrame Take(WalkPoint& at, const FrameCandidate& accepted) {
        WalkFrame frame;
        frame.Offset = at.Position;
        frame.Length = accepted.Length;
        frame.DurationMs = FrameDurationMs(accepted.Length, accepted.BitrateBps);
        frame.StartMs = at.ElapsedMs;
        frame.Counted =
            !at.CountEnded && reading_->Counting.FrameCounts(at.Position, accepted.Length);
        frame.Whole = accepted.Length <= reading_->Reader->Size() - at.Position;
        PassFrame(at, accepted.Length, frame.DurationMs);
        return frame;
    }

    std::unique_ptr<Reading> reading_;
    WalkPoint start_;
    std::int64_t skipped_ = 0;
};
