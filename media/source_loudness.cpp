#include "media/source_loudness.h"

#include "media/mpeg_decoder.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::string DecodeLevels(const ScanSource& source, LoudnessOverview& overview,
                         const std::function<bool()>& stop) {
    overview.Levels.reserve(static_cast<std::size_t>(overview.FrameCount));
    return DecodeFile(source.Path, source.Format.FirstFrameOffset, [&](const DecodedFrame& frame) {
        std::int32_t peak = 0;
        for (const std::int16_t sample : frame.Samples)
            peak = std::max(peak, std::abs(static_cast<std::int32_t>(sample)));
        overview.Levels.push_back(LevelFromPeak(peak));
        return !(stop && stop()) &&
               static_cast<std::int64_t>(overview.Levels.size()) < overview.FrameCount;
    });
}

} // namespace

Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop) {
    Result<LoudnessOverview> estimated = EstimateLoudness(source, stop);
    if (!estimated)
        return estimated;
    LoudnessOverview& overview = estimated.Value();
    if (overview.Levels.empty() && overview.FrameCount > 0) {
        const std::string problem = DecodeLevels(source, overview, stop);
        if (!problem.empty())
            return Error{ErrorCategory::Read, -1, problem};
    }
    return estimated;
}
