#include "media/block_decoder.h"

#include <algorithm>
#include <thread>

BlockDecoder::BlockDecoder(const std::string& path, std::int64_t firstFrameOffset,
                           const FrameSurvey& survey)
    : offset_(firstFrameOffset), survey_(survey),
      file_(std::fopen(path.c_str(), "rb"), &std::fclose), bytes_(1 << 16) {
    if (!file_)
        problem_ = "cannot be opened";
    else if (!decoder_.Ready())
        problem_ = decoder_.ErrorText();
}

// The frame before the settling blocks is fed but not decoded: it gives the
// first decoded frame a frame before it, as a whole decode would have.
std::string BlockDecoder::Decode(BlockRun& run, const OnFrame& onFrame, const Extend& extend,
                                 const std::atomic<bool>& stop) {
    const std::int64_t start = std::max<std::int64_t>(0, run.First - survey_.SettleBlocks());
    const std::int64_t startFrame = start * survey_.BlockFrames;
    std::int64_t endFrame = EndFrameOf(run.Last);
    const bool lead = start > 0;
    const std::int64_t from =
        lead ? survey_.OffsetsBefore[static_cast<std::size_t>(start)] : survey_.BlockOffsets[0];
    decoder_.Restart();
    if (fseeko(file_.get(), static_cast<off_t>(offset_ + from), SEEK_SET) != 0)
        return "cannot be read";
    std::int64_t frameIndex = startFrame - (lead ? 1 : 0);
    // A little past the last frame, so that the decoder sees where it ends.
    std::int64_t left = EndOffsetOf(run.Last) - from + 4096;
    const auto framesLeft = [&] {
        if (frameIndex < endFrame)
            return true;
        if (!extend || !extend(run))
            return false;
        endFrame = EndFrameOf(run.Last);
        left += EndOffsetOf(run.Last) - EndOffsetOf(run.Last - 1);
        return true;
    };
    while (framesLeft() && left > 0 && !stop) {
        const std::size_t got = std::fread(
            bytes_.data(), 1, static_cast<std::size_t>(std::min<std::int64_t>(left, 1 << 16)),
            file_.get());
        if (got == 0)
            break;
        left -= static_cast<std::int64_t>(got);
        decoder_.Feed({bytes_.data(), got});
        while (framesLeft() && !stop && decoder_.Read()) {
            const std::int64_t index = frameIndex++;
            if (index < startFrame)
                continue;
            const std::optional<DecodedFrame> frame = decoder_.DecodeRead();
            onFrame(index, frame ? &*frame : nullptr);
        }
    }
    return std::ferror(file_.get()) ? "cannot be read" : std::string();
}

std::int64_t BlockDecoder::EndFrameOf(std::int64_t block) const {
    return std::min(survey_.Frames(), (block + 1) * survey_.BlockFrames);
}

// Where the block after this one starts: the end of the frames when none.
std::int64_t BlockDecoder::EndOffsetOf(std::int64_t block) const {
    return block + 1 < survey_.Blocks() ? survey_.BlockOffsets[static_cast<std::size_t>(block) + 1]
                                        : survey_.EndOffset;
}

std::string DecodeRunsOnThreads(
    const std::string& path, std::int64_t firstFrameOffset, const FrameSurvey& survey,
    std::vector<BlockRun>& runs,
    const std::function<std::string(BlockDecoder&, BlockRun&, bool callingThread)>& work,
    const std::atomic<bool>& stop) {
    std::atomic<std::size_t> next{0};
    const auto share = [&](bool callingThread) {
        BlockDecoder decoder(path, firstFrameOffset, survey);
        if (!decoder.Problem().empty())
            return decoder.Problem();
        for (std::size_t i = next++; i < runs.size() && !stop; i = next++)
            if (std::string error = work(decoder, runs[i], callingThread); !error.empty())
                return error;
        return std::string();
    };
    std::vector<std::string> errors(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < errors.size() && t < runs.size(); ++t)
        helpers.emplace_back([&, t] { errors[t] = share(false); });
    errors[0] = share(true);
    for (std::thread& helper : helpers)
        helper.join();
    for (const std::string& error : errors)
        if (!error.empty())
            return error;
    return {};
}
