#include "split/part_frames.h"

bool PartFrames::Open(const ScanSource& source, std::string& error) {
    return walk_.Open(source, error);
}

// The part begins with the first frame whose elapsed time reaches its start.
// The split takes that frame without condition when the walk's state at the
// start stands on it, and by the usual rule when bytes that start no frame lie between.
void PartFrames::Begin(const WalkPoint& from, std::int32_t startMs,
                       std::optional<std::int32_t> endMs, int leadFrames) {
    at_ = from;
    endMs_ = endMs;
    queued_.clear();
    ended_ = true;
    std::int64_t previousEnd = from.Position;
    while (const std::optional<WalkFrame> frame = walk_.Next(at_)) {
        if (frame->StartMs < startMs) {
            queued_.emplace_back(*frame, true);
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
        queued_.emplace_back(*frame, false);
        ended_ = false;
        return;
    }
    queued_.clear();
}

bool PartFrames::Belongs(const WalkFrame& frame) const {
    return (!endMs_ || frame.StartMs <= *endMs_) && frame.Counted && frame.Whole;
}

std::optional<PartFrame> PartFrames::Next() {
    WalkFrame frame;
    bool lead = false;
    if (!queued_.empty()) {
        frame = queued_.front().first;
        lead = queued_.front().second;
        queued_.pop_front();
    } else {
        if (ended_)
            return std::nullopt;
        const std::optional<WalkFrame> next = walk_.Next(at_);
        if (!next || !Belongs(*next)) {
            ended_ = true;
            return std::nullopt;
        }
        frame = *next;
    }
    const std::uint8_t* bytes = walk_.Bytes(frame);
    if (bytes == nullptr) {
        ended_ = true;
        queued_.clear();
        return std::nullopt;
    }
    return PartFrame{{bytes, static_cast<std::size_t>(frame.Length)}, frame.StartMs, lead};
}
