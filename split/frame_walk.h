#pragma once

#include "core/byte_source.h"
#include "core/frame_checkpoints.h"
#include "core/frame_rule.h"
#include "core/frame_step.h"
#include "core/preload_scan.h"
#include "split/source_reader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A frame the walk accepted.
struct WalkFrame {
    std::int64_t Offset = 0;
    std::int32_t Length = 0;
    double StartMs = 0.0; // the elapsed time before it
    bool Counted = false; // the scan counts it: a part may hold it
    bool Whole = false;   // it lies wholly within the source
};

// The split's walk over a source: the first frame's rule for every header,
// bytes that start no frame passed one by one, the information frame left out.
class FrameWalk {
public:
    // An Open error whose text is the system's reason when the source cannot be opened.
    Result<void> Open(const ScanSource& source);
    // The state before the first audio frame.
    const WalkPoint& Start() const { return start_; }
    // The next frame the walk accepts from at, with at moved past it; nothing
    // once no header is left to read.
    std::optional<WalkFrame> Next(WalkPoint& at);
    // A frame's bytes, valid until the next call; null when they cannot be read.
    const std::uint8_t* Bytes(const WalkFrame& frame);

private:
    // The file, the one block the walk reads it through, and the step.
    struct Reading {
        FileSource File;
        SourceRing Ring{1};
        std::optional<SourceReader> Reader;
        CountingEnd Counting;
        std::optional<FrameStepper<SourceReader>> Stepper;
    };
    std::unique_ptr<Reading> reading_;
    SourceReader* reader_ = nullptr;
    WalkPoint start_;
};
