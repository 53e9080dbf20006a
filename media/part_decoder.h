#pragma once

#include "media/mpeg_decoder.h"
#include "split/part_frames.h"

#include <cstdint>
#include <optional>
#include <string>

// Decodes the frames a part holds, for listening. Each part is begun a few
// frames early and their sound dropped, so that its first frame sounds whole:
// a Layer III frame borrows bits from the frames before it.
class PartDecoder {
public:
    static constexpr int kLeadFrames = 8;

    Result<void> Open(const ScanSource& source);
    // As PartFrames::Begin.
    void Begin(const WalkPoint& from, std::int32_t startMs, std::optional<std::int32_t> endMs);
    // As PartFrames::BeginFrames, with leadFrames lead frames and a bridge.
    void BeginFrames(const WalkPoint& from, std::int64_t first, std::int64_t last, int leadFrames);
    // The part's next frame, decoded; nothing after its last.
    std::optional<DecodedFrame> Next();
    // The elapsed time at which the part's first frame begins, once it has been fed.
    std::optional<double> FirstFrameMs() const { return firstFrameMs_; }
    // The index among the source's audio frames of a frame Next gave.
    std::int64_t SourceIndex(const DecodedFrame& frame) const {
        return firstFrameIndex_ + frame.Index - leadFed_;
    }

private:
    void Restart();

    PartFrames frames_;
    MpegDecoder decoder_;
    std::int64_t leadFed_ = 0;
    bool allFed_ = true;
    std::optional<double> firstFrameMs_;
    std::int64_t firstFrameIndex_ = 0;
};
