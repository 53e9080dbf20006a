#include "media/part_decoder.h"

Result<void> PartDecoder::Open(const ScanSource& source) {
    if (!decoder_.Ready())
        return Error{ErrorCategory::Internal, -1, decoder_.ErrorText()};
    return frames_.Open(source);
}

void PartDecoder::Begin(const WalkPoint& from, std::int32_t startMs,
                        std::optional<std::int32_t> endMs) {
    frames_.Begin(from, startMs, endMs, kLeadFrames);
    Restart();
}

void PartDecoder::BeginFrames(const WalkPoint& from, std::int64_t first, std::int64_t last,
                              int leadFrames) {
    frames_.BeginFrames(from, first, last, leadFrames, true);
    Restart();
}

void PartDecoder::Restart() {
    decoder_.Restart();
    leadFed_ = 0;
    allFed_ = false;
    firstFrameMs_.reset();
}

// The decoder gives one frame of sound for every frame fed, in order (the
// first only once the next header is there), so lead frames are known by index.
std::optional<DecodedFrame> PartDecoder::Next() {
    for (;;) {
        if (std::optional<DecodedFrame> decoded = decoder_.NextFrame()) {
            if (decoded->Index < leadFed_)
                continue;
            return decoded;
        }
        if (allFed_)
            return std::nullopt;
        const std::optional<PartFrame> frame = frames_.Next();
        if (!frame) {
            allFed_ = true;
            continue;
        }
        if (frame->Lead)
            ++leadFed_;
        else if (!firstFrameMs_) {
            firstFrameMs_ = frame->StartMs;
            firstFrameIndex_ = frame->Index;
        }
        decoder_.Feed(frame->Bytes);
    }
}
