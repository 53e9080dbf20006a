#include "media/range_decoder.h"

#include <algorithm>
#include <thread>

RangeDecoder::RangeDecoder(const std::string& path, std::int64_t firstFrameOffset)
    : offset_(firstFrameOffset), file_(std::fopen(path.c_str(), "rb"), &std::fclose),
      bytes_(1 << 16) {
    if (!file_)
        problem_ = "cannot be opened";
    else if (!decoder_.Ready())
        problem_ = decoder_.ErrorText();
}

std::string RangeDecoder::Decode(const DecodeRange& range, const OnFrame& onFrame,
                                 const std::atomic<bool>& stop) {
    decoder_.Restart();
    if (fseeko(file_.get(), static_cast<off_t>(offset_ + range.ReadFrom), SEEK_SET) != 0)
        return "cannot be read";
    std::int64_t frameIndex = range.FirstIndex;
    // A little past the last frame, so that the decoder sees where it ends.
    std::int64_t left = range.ReadTo - range.ReadFrom + 4096;
    const auto framesLeft = [&] { return frameIndex < range.End; };
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
            if (index < range.DecodeFrom)
                continue;
            const std::optional<DecodedFrame> frame = decoder_.DecodeRead();
            onFrame(index, frame ? &*frame : nullptr);
        }
    }
    return std::ferror(file_.get()) ? "cannot be read" : std::string();
}

std::string DecodeOnThreads(
    const std::string& path, std::int64_t firstFrameOffset, std::size_t items,
    const std::function<std::string(RangeDecoder&, std::size_t item, bool callingThread)>& work,
    const std::atomic<bool>& stop) {
    std::atomic<std::size_t> next{0};
    const auto share = [&](bool callingThread) {
        RangeDecoder decoder(path, firstFrameOffset);
        if (!decoder.Problem().empty())
            return decoder.Problem();
        for (std::size_t i = next++; i < items && !stop; i = next++)
            if (std::string error = work(decoder, i, callingThread); !error.empty())
                return error;
        return std::string();
    };
    std::vector<std::string> errors(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < errors.size() && t < items; ++t)
        helpers.emplace_back([&, t] { errors[t] = share(false); });
    errors[0] = share(true);
    for (std::thread& helper : helpers)
        helper.join();
    for (const std::string& error : errors)
        if (!error.empty())
            return error;
    return {};
}
