#pragma once

#include "media/frame_survey.h"
#include "media/mpeg_decoder.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Blocks First..Last of a surveyed source.
struct BlockRun {
    std::int64_t First = 0;
    std::int64_t Last = 0;
};

// Decodes runs of a surveyed source's blocks, each after the blocks that
// settle the decoder, so that every frame of a run decodes bit for bit as in a
// decode of the whole source. One per thread: it holds its own file and decoder.
class BlockDecoder {
public:
    // Every frame decoded, the settling ones too (their index is before the
    // run's first frame); a frame the library could not decode comes as null.
    using OnFrame = std::function<void(std::int64_t frameIndex, const DecodedFrame* frame)>;
    // Asked at the end of the run: true when it took in the block after it (run.Last grown).
    using Extend = std::function<bool(BlockRun& run)>;

    BlockDecoder(const std::string& path, std::int64_t firstFrameOffset, const FrameSurvey& survey);

    // Why the file or decoder could not be had, empty when they are ready.
    const std::string& Problem() const { return problem_; }

    // Decodes the run; an error text, empty on success.
    std::string Decode(BlockRun& run, const OnFrame& onFrame, const Extend& extend,
                       const std::atomic<bool>& stop);

private:
    std::int64_t EndFrameOf(std::int64_t block) const;
    std::int64_t EndOffsetOf(std::int64_t block) const;

    std::int64_t offset_;
    const FrameSurvey& survey_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
    MpegDecoder decoder_;
    std::vector<std::uint8_t> bytes_;
    std::string problem_;
};

// The runs' work shared among up to four threads, the calling one among
// them (its work is told so, to report progress). The first error, empty
// when none; a set stop ends the work early.
std::string DecodeRunsOnThreads(
    const std::string& path, std::int64_t firstFrameOffset, const FrameSurvey& survey,
    std::vector<BlockRun>& runs,
    const std::function<std::string(BlockDecoder&, BlockRun&, bool callingThread)>& work,
    const std::atomic<bool>& stop);
