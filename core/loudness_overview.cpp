#include "core/loudness_overview.h"

#include "core/layer3_loudness.h"

#include <algorithm>
#include <cmath>

std::uint8_t LoudnessOverview::Peak(std::int64_t first, std::int64_t end) const {
    first = std::clamp<std::int64_t>(first, 0, static_cast<std::int64_t>(Levels.size()));
    end = std::clamp<std::int64_t>(end, first, static_cast<std::int64_t>(Levels.size()));
    if (first == end)
        return 0;
    return *std::max_element(Levels.begin() + first, Levels.begin() + end);
}

std::int64_t LoudnessOverview::CheckpointBefore(std::int64_t frame) const {
    if (Checkpoints.empty())
        return 0;
    const auto index = std::clamp<std::int64_t>(frame / kCheckpointEvery, 0,
                                                static_cast<std::int64_t>(Checkpoints.size()) - 1);
    return Checkpoints[static_cast<std::size_t>(index)];
}

std::uint8_t LevelFromPeak(std::int32_t peak) {
    if (peak <= 0)
        return 0;
    const double db = 20.0 * std::log10(std::min(peak, 32768) / 32768.0);
    const double steps = 255.0 + db / kLoudnessDbPerStep;
    return static_cast<std::uint8_t>(std::clamp(std::lround(steps), 0L, 255L));
}

Result<LoudnessOverview> EstimateLoudness(const ScanSource& source,
                                          const std::function<bool()>& stop) {
    LoudnessOverview overview;
    const bool layer3 = source.Format.Layer != 1 && source.Format.Layer != 2;
    bool skipInfoFrame = source.Format.HasInfoFrame;
    const auto visit = [&](std::int64_t offset, std::span<const std::uint8_t> head) {
        if (skipInfoFrame) {
            skipInfoFrame = false;
            return true;
        }
        if (overview.FrameCount % LoudnessOverview::kCheckpointEvery == 0) {
            overview.Checkpoints.push_back(offset);
            if (stop && stop())
                return false;
        }
        if (layer3)
            overview.Levels.push_back(
                Layer3Loudness(head.data(), head.size(), source.Format.VersionId));
        ++overview.FrameCount;
        return true;
    };
    const Result<ScanResult> walked = PreloadScan(source, {}, visit, kLayer3SideInfoBytes);
    if (!walked)
        return walked.Failure();
    return overview;
}
