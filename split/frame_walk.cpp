#include "split/frame_walk.h"

#include "core/frame_rule.h"

#include <algorithm>
#include <cstring>

Result<void> FrameWalk::Open(const ScanSource& source) {
    auto reading = std::make_unique<Reading>();
    if (Result<void> opened = reading->File.Open(source.Path); !opened)
        return opened;
    reader_ = &reading->Reader.emplace(reading->File, reading->Ring);
    reading_ = std::move(reading);
    versionId_ = source.Format.VersionId;
    layer_ = source.Format.Layer;
    start_ = WalkPoint{};
    start_.Position = std::max<std::int64_t>(source.Format.FirstFrameOffset, 0);
    counting_ = CountingEnd::Of(reader_->Size(), source.Format.FirstFrameBytes,
                                source.Format.HasInfoFrame ? -1 : start_.Position);
    if (!source.Format.HasInfoFrame)
        return {};
    const std::uint8_t* header = reader_->Fetch(start_.Position, 4);
    const std::int32_t length =
        header == nullptr ? 0 : InformationFrameLength(header, versionId_, layer_);
    if (length >= 4 && start_.Position + length <= reader_->Size())
        start_.Position += length;
    return {};
}

std::optional<WalkFrame> FrameWalk::Next(WalkPoint& at) {
    for (;;) {
        const std::uint8_t* header = reader_->Fetch(at.Position, 4);
        if (header == nullptr)
            return std::nullopt;
        const FrameCandidate candidate = EvaluateFrame(header, versionId_, layer_);
        if (!candidate.Accepted) {
            const std::int64_t next =
                header[0] == 0xFF ? at.Position + 1 : NextPossibleFrame(at.Position);
            at.CountEnded = at.CountEnded || counting_.StepEndsCount(at.Position, next);
            at.Position = next;
            continue;
        }
        WalkFrame frame;
        frame.Offset = at.Position;
        frame.Length = candidate.Length;
        frame.StartMs = at.ElapsedMs;
        frame.Counted = !at.CountEnded && counting_.FrameCounts(at.Position, candidate.Length);
        frame.Whole = candidate.Length <= reader_->Size() - at.Position;
        at.Position += candidate.Length;
        ++at.FrameIndex;
        at.ElapsedMs = AddFrameDuration(at.ElapsedMs, candidate.Length, candidate.BitrateBps);
        return frame;
    }
}

const std::uint8_t* FrameWalk::Bytes(const WalkFrame& frame) {
    return reader_->Fetch(frame.Offset, frame.Length);
}

// The next position at which a frame can start (a 0xFF), looked for within a
// span; at most the first position too close to the end to hold a header.
std::int64_t FrameWalk::NextPossibleFrame(std::int64_t position) {
    const std::int64_t span = std::min(SourceReader::kMaxSpan, reader_->Size() - 3 - position);
    const std::uint8_t* bytes = span > 1 ? reader_->Fetch(position, span) : nullptr;
    if (bytes == nullptr)
        return position + 1;
    const void* found = std::memchr(bytes, 0xFF, static_cast<std::size_t>(span));
    return found == nullptr ? position + span
                            : position + (static_cast<const std::uint8_t*>(found) - bytes);
}
