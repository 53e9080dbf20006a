#include "media/source_loudness.h"

#include "media/mpeg_decoder.h"

namespace {

std::string DecodeLevels(const ScanSource& source, LoudnessOverview& overview,
                         const std::function<bool()>& stop) {
    overview.Levels.reserve(static_cast<std::size_t>(overview.FrameCount));
    return DecodeFile(source.Path, source.Format.FirstFrameOffset, [&](const DecodedFrame& frame) {
        overview.Levels.push_back(LevelFromSamples(frame.Samples));
        return !(stop && stop()) &&
               static_cast<std::int64_t>(overview.Levels.size()) < overview.FrameCount;
    });
}

} // namespace

Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop) {
    Result<LoudnessOverview> walked = WalkOverviewFrames(source, stop);
    if (!walked)
        return walked;
    LoudnessOverview& overview = walked.Value();
    if (overview.FrameCount > 0) {
        const std::string problem = DecodeLevels(source, overview, stop);
        if (!problem.empty())
            return Error{ErrorCategory::Read, -1, problem};
    }
    return walked;
}
