#include "split/part_frames.h"

#include "core/bridge_frame.h"

#include <algorithm>

Result<void> PartFrames::Open(const ScanSource& source) {
    // As the frame rule reads it: 1 MPEG 1, 3 MPEG 2.5, anything else MPEG 2.
    const std::int32_t versionId = source.Format.VersionId;
    versionId_ = versionId == 1 || versionId == 3 ? versionId : 2;
    return walk_.Open(source);
}

// The part begins with the first frame whose elapsed time reaches its start.
// The split takes that frame without condition when the walk's state at the
// start stands on it, and by the usual rule when bytes that start no frame lie between.
void PartFrames::Begin(const WalkPoint& from, std::int32_t startMs,
                       std::optional<std::int32_t> endMs, int leadFrames) {
    at_ = from;
    endMs_ = endMs;
    lastFrame_.reset();
    queued_.clear();
    ended_ = true;
    std::int64_t previousEnd = from.Position;
    for (;;) {
        const std::int64_t index = at_.FrameIndex;
        const std::optional<WalkFrame> frame = walk_.Next(at_);
        if (!frame)
            break;
        if (frame->StartMs < startMs) {
            queued_.push_back({*frame, true, index, {}});
            if (static_cast<int>(queued_.size()) > leadFrames)
                queued_.pop_front();
            previousEnd = frame->Offset + frame->Length;
            continue;
        }
        const bool taken = frame->Offset == previousEnd || Belongs(*frame);
        if (!taken || !frame->Whole) {
            queued_.clear();
            return;
        }
        queued_.push_back({*frame, false, index, {}});
        ended_ = false;
        return;
    }
    queued_.clear();
}

// An exact part's frames: the walk's own, by index, whatever their times.
void PartFrames::BeginFrames(const WalkPoint& from, std::int64_t first, std::int64_t last,
                             int leadFrames, bool bridge) {
    at_ = from;
    endMs_.reset();
    lastFrame_ = last;
    queued_.clear();
    ended_ = true;
    std::vector<std::uint8_t> mainData;
    while (at_.FrameIndex <= first) {
        const std::int64_t index = at_.FrameIndex;
        const std::optional<WalkFrame> frame = walk_.Next(at_);
        const std::uint8_t* bytes = frame ? walk_.Bytes(*frame) : nullptr;
        if (!frame || !frame->Whole || bytes == nullptr) {
            queued_.clear();
            return;
        }
        const auto length = static_cast<std::size_t>(frame->Length);
        if (index < first - leadFrames) {
            const auto begin = static_cast<std::size_t>(Layer3MainDataOffset(bytes, versionId_));
            constexpr std::size_t kLongestReservoir = 511;
            if (bridge && begin < length)
                mainData.insert(mainData.end(), bytes + begin, bytes + length);
            if (mainData.size() > 8 * kLongestReservoir)
                mainData.erase(mainData.begin(),
                               mainData.end() - static_cast<std::ptrdiff_t>(kLongestReservoir));
            continue;
        }
        if (bridge && queued_.empty() && index > 0) {
            const std::int32_t borrowed =
                std::max(0, Layer3MainDataBegin(bytes, length, versionId_));
            std::vector<std::uint8_t> held(static_cast<std::size_t>(borrowed), 0);
            const std::size_t kept = std::min(held.size(), mainData.size());
            std::copy(mainData.end() - static_cast<std::ptrdiff_t>(kept), mainData.end(),
                      held.end() - static_cast<std::ptrdiff_t>(kept));
            std::vector<std::uint8_t> silent = SilentLayer3Frame(bytes, versionId_, held);
            if (!silent.empty())
                queued_.push_back({*frame, true, index - 1, std::move(silent)});
        }
        queued_.push_back({*frame, index < first, index, {}});
    }
    ended_ = false;
}

bool PartFrames::Belongs(const WalkFrame& frame) const {
    return (!endMs_ || frame.StartMs <= *endMs_) && frame.Counted && frame.Whole;
}

std::optional<PartFrame> PartFrames::Next() {
    Queued taken;
    if (!queued_.empty()) {
        taken = std::move(queued_.front());
        queued_.pop_front();
    } else {
        if (ended_ || (lastFrame_ && at_.FrameIndex > *lastFrame_))
            return std::nullopt;
        taken.Index = at_.FrameIndex;
        const std::optional<WalkFrame> next = walk_.Next(at_);
        if (!next || !Belongs(*next)) {
            ended_ = true;
            return std::nullopt;
        }
        taken.Frame = *next;
    }
    if (!taken.Made.empty()) {
        made_ = std::move(taken.Made);
        return PartFrame{{made_.data(), made_.size()}, taken.Frame.StartMs, true, taken.Index};
    }
    const WalkFrame& frame = taken.Frame;
    const std::uint8_t* bytes = walk_.Bytes(frame);
    if (bytes == nullptr) {
        ended_ = true;
        queued_.clear();
        return std::nullopt;
    }
    return PartFrame{
        {bytes, static_cast<std::size_t>(frame.Length)}, frame.StartMs, taken.Lead, taken.Index};
}
