#include "core/frame_walk.h"

#include <algorithm>

Result<void> FrameWalk::Open(const ScanSource& source) {
    auto reading = std::make_unique<Reading>();
    if (Result<void> opened = reading->File.emplace().Open(source.Path); !opened)
        return opened;
    reading->Reader.emplace(*reading->File);
    reading_ = std::move(reading);
    const std::int64_t first = std::max<std::int64_t>(source.Format.FirstFrameOffset, 0);
    Begin(source, source.Format.HasInfoFrame ? -1 : first);
    if (!source.Format.HasInfoFrame)
        return {};
    const std::uint8_t* header = reading_->Reader->Fetch(start_.Position, 4);
    const std::int32_t length =
        header == nullptr
            ? 0
            : InformationFrameLength(header, source.Format.VersionId, source.Format.Layer);
    if (length >= 4 && start_.Position + length <= reading_->Reader->Size())
        start_.Position += length;
    return {};
}

void FrameWalk::OpenForScan(const ScanSource& source, ByteSource& bytes) {
    reading_ = std::make_unique<Reading>();
    const std::int64_t first = source.Format.FirstFrameOffset;
    reading_->Reader.emplace(bytes, BlockReader::ReadingAhead{first});
    Begin(source, first);
}

void FrameWalk::Begin(const ScanSource& source, std::int64_t alwaysCounted) {
    BlockReader& reader = *reading_->Reader;
    start_ = WalkPoint{};
    start_.Position = std::max<std::int64_t>(source.Format.FirstFrameOffset, 0);
    skipped_ = 0;
    reading_->Counting =
        CountingEnd::Of(reader.Size(), source.Format.FirstFrameBytes, alwaysCounted);
    reading_->Stepper.emplace(reader, source.Format.VersionId, source.Format.Layer,
                              reading_->Counting);
}

const std::uint8_t* FrameWalk::Bytes(const WalkFrame& frame) {
    return reading_->Reader->Fetch(frame.Offset, frame.Length);
}
