#pragma once

#include "media/mpeg_decoder.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A stretch of a source's frames to decode apart from the frames before it.
// Offsets count from the source's first frame; frame indices are those of a
// decode from there (libmpg123's framing, so damage is passed over as a whole
// decode would pass over it).
struct DecodeRange {
    std::int64_t ReadFrom = 0;   // where reading begins: a frame's offset
    std::int64_t FirstIndex = 0; // that frame's index
    // Frames before this index are read but not decoded. The frames decoded
    // before those wanted settle the decoder: the bit reservoir reaches up to
    // 511 bytes back, the transforms overlap one granule, and libmpg123's
    // synthesis rounds by a phase that comes round every 8 granules, so the
    // first frame decoded is to stand a whole number of 8 granules from the
    // source's first frame.
    std::int64_t DecodeFrom = 0;
    std::int64_t End = 0;    // the index after the last frame to decode
    std::int64_t ReadTo = 0; // the offset where the last frame ends
};

// Decodes stretches of one source, each a fresh start of the decoder. One per
// thread: it holds its own file and decoder.
class RangeDecoder {
public:
    // Every frame decoded (a frame the library could not decode comes as null).
    using OnFrame = std::function<void(std::int64_t frameIndex, const DecodedFrame* frame)>;

    RangeDecoder(const std::string& path, std::int64_t firstFrameOffset);

    // Why the file or decoder could not be had, empty when they are ready.
    const std::string& Problem() const { return problem_; }

    // An error text, empty on success.
    std::string Decode(const DecodeRange& range, const OnFrame& onFrame,
                       const std::atomic<bool>& stop);

private:
    std::int64_t offset_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
    MpegDecoder decoder_;
    std::vector<std::uint8_t> bytes_;
    std::string problem_;
};

// work(decoder, item, callingThread) for every item in [0, items), shared
// among up to four threads, the calling one among them (told so, to report
// progress), each with a decoder of its own. The first error, empty when
// none; a set stop ends the work early.
std::string DecodeOnThreads(
    const std::string& path, std::int64_t firstFrameOffset, std::size_t items,
    const std::function<std::string(RangeDecoder&, std::size_t item, bool callingThread)>& work,
    const std::atomic<bool>& stop);
