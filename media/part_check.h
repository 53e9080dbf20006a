#pragma once

#include "core/engine_error.h"
#include "split/audio_file.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// Where a part's audio comes from in a source, found by the frames' bytes,
// and whether it plays the source's own samples there: both are decoded
// with libmpg123 and put side by side on the source's timeline, as a
// gapless player plays them (LAME delay and padding dropped).

enum class PartMatch {
    Exact,      // every sample the part plays is the source's
    FramesOnly, // the part copies source frames, but its sound differs somewhere
    NotCut,     // its frames are not a run of the source's
    Gained,     // the source's frames with only their gains changed (volume, fades)
};

// A Gained part's gain in steps of 1.5 dB, and how long its fades last (0 without).
struct PartGain {
    std::int32_t Steps = 0;
    std::int32_t FadeInMs = 0;
    std::int32_t FadeOutMs = 0;
};

struct PartCheck {
    PartMatch Match = PartMatch::NotCut;
    std::int64_t FirstFrame = 0; // the source's audio frames the part copies, from 1
    std::int64_t LastFrame = 0;
    std::int32_t SampleRateHz = 0;
    // The samples the part plays, on the source's timeline: [StartSample, EndSample),
    // and those it plays before the source's first and after its last (a delay
    // or padding the source's LAME tag trims and the part's does not).
    std::int64_t StartSample = 0;
    std::int64_t EndSample = 0;
    std::int64_t SamplesBefore = 0;
    std::int64_t SamplesAfter = 0;
    // For FramesOnly: the first sample in [StartSample, EndSample) that
    // differs (EndSample when none does), and the peak of the difference.
    std::int64_t FirstDifference = 0;
    double PeakDbfs = 0.0;
    PartGain Gain; // for Gained
};

class SourceFrameIndex {
public:
    // Reads every audio frame of the source once.
    static Result<SourceFrameIndex> Build(const std::string& path);
    Result<PartCheck> Check(const std::string& partPath) const;

private:
    struct Run {
        std::int64_t PartFirst = 0; // the part's first frame copied from the source
        std::int64_t SourceFirst = 0;
        std::int64_t Length = 0;
    };
    Run LongestRun(const std::vector<std::uint64_t>& partHashes, std::int64_t from,
                   const std::unordered_multimap<std::uint64_t, std::int64_t>& byHash,
                   const std::vector<std::uint64_t>& hashes) const;
    Result<PartCheck> CheckCopied(const std::string& partPath) const;
    PartCheck CheckGained(const std::string& partPath, const AudioFile& part) const;

    AudioFile source_;
    std::vector<std::int64_t> offsets_; // each audio frame's offset, and the end of the last
    std::vector<std::uint64_t> hashes_;
    std::unordered_multimap<std::uint64_t, std::int64_t> byHash_;
    // Layer III: the same with every gain and CRC set aside.
    std::vector<std::uint64_t> gainless_;
    std::unordered_multimap<std::uint64_t, std::int64_t> byGainless_;
};
