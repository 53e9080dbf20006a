#include "split/frame_walk.h"

#include "core/frame_rule.h"

#include <algorithm>

Result<void> FrameWalk::Open(const ScanSource& source) {
    auto reading = std::make_unique<Reading>();
    if (Result<void> opened = reading->File.Open(source.Path); !opened)
        return opened;
    reader_ = &reading->Reader.emplace(reading->File, reading->Ring);
    start_ = WalkPoint{};
    start_.Position = std::max<std::int64_t>(source.Format.FirstFrameOffset, 0);
    reading->Counting = CountingEnd::Of(reader_->Size(), source.Format.FirstFrameBytes,
                                        source.Format.HasInfoFrame ? -1 : start_.Position);
    reading->Stepper.emplace(*reader_, source.Format.VersionId, source.Format.Layer,
                             reading->Counting);
    reading_ = std::move(reading);
    if (!source.Format.HasInfoFrame)
        return {};
    const std::uint8_t* header = reader_->Fetch(start_.Position, 4);
    const std::int32_t length =
        header == nullptr
            ? 0
            : InformationFrameLength(header, source.Format.VersionId, source.Format.Layer);
    if (length >= 4 && start_.Position + length <= reader_->Size())
        start_.Position += length;
    return {};
}

std::optional<WalkFrame> FrameWalk::Next(WalkPoint& at) {
    FrameStepper<SourceReader>& stepper = *reading_->Stepper;
    for (;;) {
        const FrameStep step = stepper.Evaluate(at.Position);
        if (!step.Readable)
            return std::nullopt;
        if (!step.Frame.Accepted) {
            stepper.Advance(at, step);
            continue;
        }
        WalkFrame frame;
        frame.Offset = at.Position;
        frame.Length = step.Frame.Length;
        frame.StartMs = at.ElapsedMs;
        frame.Counted =
            !at.CountEnded && reading_->Counting.FrameCounts(at.Position, step.Frame.Length);
        frame.Whole = step.Frame.Length <= reader_->Size() - at.Position;
        stepper.Advance(at, step);
        return frame;
    }
}

const std::uint8_t* FrameWalk::Bytes(const WalkFrame& frame) {
    return reader_->Fetch(frame.Offset, frame.Length);
}
