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

Result<LoudnessOverview> SourceLoudness(SourceWalk& walk, const std::function<bool()>& stop) {
    const Result<ScanResult> walked = walk.Await(stop);
    if (!walked)
        return walked.Failure();
    LoudnessOverview overview;
    overview.FrameCount = walked.Value().FrameCount;
    if (overview.FrameCount > 0) {
        const std::string problem = DecodeLevels(walk.Source(), overview, stop);
        if (!problem.empty())
            return Error{ErrorCategory::Read, -1, problem};
    }
    return overview;
}

Result<LoudnessOverview> SourceLoudness(const ScanSource& source,
                                        const std::function<bool()>& stop) {
    SourceWalk walk(source);
    walk.Run();
    return SourceLoudness(walk, stop);
}
