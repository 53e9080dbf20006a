#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

// Frames are decoded or passed over in blocks of this many granules.
// libmpg123's synthesis rounds by a buffer offset that turns with every 32
// samples and comes round every 8 granules, so passing over whole blocks
// keeps the decoded samples bit for bit those of a decode of every frame.
inline constexpr std::int64_t kGranulesPerBlock = 8;
inline constexpr std::int32_t kGranuleSamples = 576;

// What a walk over a source's frames learns of every frame without decoding
// it, in libmpg123's own framing (so damage is passed over as a decode would).
struct FrameSurvey {
    std::vector<bool> Silent; // one per frame: Layer III frames that code no bits at all
    // Each granule's energy bound (Layer3Loudness); frames of another layer,
    // rate or channel count than the first frame's count as granules of
    // their length with an infinite bound.
    std::vector<float> GranuleEnergy;
    std::vector<std::uint8_t> GranuleWindows; // their window shapes (Layer3WindowsContinue)
    // Each granule's spectral energy (GranuleEnergy, decoded until it holds
    // the energy enough asked for), NaN where it cannot be told.
    std::vector<float> GranuleSpectrum;
    // Granule g begins at sample frame 576 g plus the Samples of the last
    // shift at or before it: a frame whose samples are no whole number of
    // granules (Layer I's 384) moves the granules after it.
    struct GranuleShift {
        std::int64_t Granule = 0;
        std::int64_t Samples = 0;
    };
    std::vector<GranuleShift> GranuleShifts;
    std::vector<std::int64_t> BlockStarts; // sample frame at each block, and the end
    // Where each block's first frame and the frame before it lie, from the first frame.
    std::vector<std::int64_t> BlockOffsets;
    std::vector<std::int64_t> OffsetsBefore;
    std::int64_t EndOffset = 0;
    std::int64_t BlockFrames = kGranulesPerBlock;
    std::int32_t Rate = 0;
    std::int32_t Channels = 0;
    std::int32_t SmallestFrame = std::numeric_limits<std::int32_t>::max();

    std::int64_t Frames() const { return static_cast<std::int64_t>(Silent.size()); }
    std::int64_t Blocks() const { return static_cast<std::int64_t>(BlockStarts.size()) - 1; }
    // Blocks decoded ahead of a stretch so that the bit reservoir (up to 511
    // bytes back) and the overlap of the transforms are in place.
    std::int64_t SettleBlocks() const;
};

struct SurveyResult {
    FrameSurvey Survey;
    std::string Error; // the reason, empty on success; the caller names the file
    bool Cancelled = false;
    // One line per stretch of bytes that could not be decoded, naming the
    // file, where it lies and the time it comes at.
    std::vector<std::string> Warnings;
};

// Walks every frame of the file from firstFrameOffset on. A long source has
// its second half walked from the middle on a thread of its own at the same
// time: where the first walk's framing meets the second half's first frame,
// the halves join; where it passes over it (the middle began on a false
// sync), the first walk goes on alone. progress gets the share of the bytes
// walked (0..1) now and then, and stops the walk by returning false.
// Granules' spectral energy is decoded until it reaches enoughEnergy.
SurveyResult SurveyFrames(const std::string& path, std::int64_t firstFrameOffset,
                          const std::function<bool(double done)>& progress,
                          double enoughEnergy = std::numeric_limits<double>::infinity());
