#include "session/volume_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

std::int32_t NormalizeSteps(const PartLevel& level, double targetLufs) {
    const auto wanted = static_cast<std::int32_t>(
        std::lround((targetLufs - level.IntegratedLufs) / kExactGainStepDb));
    const auto unclipped =
        static_cast<std::int32_t>(std::floor(-level.PeakDbfs / kExactGainStepDb));
    return std::clamp(std::min(wanted, unclipped), -PartVolume::kMaxSteps, PartVolume::kMaxSteps);
}

double PeakWith(const PartLevel& level, std::int32_t steps) {
    return level.PeakDbfs + steps * kExactGainStepDb;
}

namespace {

std::string Decibels(double db) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f", db);
    return text;
}

// Only parts whose gain goes up can clip; normalize measures every part.
bool NeedsLevel(const SplitJobRow& row, const SaveOptions& options) {
    return row.ToWrite() && (options.NormalizeLufs || row.Volume.GainSteps > 0);
}

} // namespace

// A fade out ends where the part does: for a part that runs to the end of
// the source, the frame count tells where that is.
Result<void> CountFramesForFades(SplitJob& job, const ScanSource& source) {
    const bool needed =
        job.FrameCount == 0 && std::any_of(job.Rows.begin(), job.Rows.end(), [](const auto& row) {
            return row.ToWrite() && row.Volume.FadeOutMs > 0 &&
                   row.EndMs == std::numeric_limits<std::int32_t>::max();
        });
    if (!needed)
        return {};
    const Result<ScanResult> scanned = PreloadScan(source);
    if (!scanned)
        return scanned.Failure();
    job.FrameCount = scanned.Value().FrameCount;
    return {};
}

Result<std::vector<std::string>> SettleVolume(SplitJob& job, const SaveOptions& options,
                                              const ScanSource& source) {
    if (Result<void> counted = CountFramesForFades(job, source); !counted)
        return counted.Failure();
    std::vector<LevelSpan> spans;
    for (const SplitJobRow& row : job.Rows) {
        if (NeedsLevel(row, options))
            spans.push_back({row.StartMs, row.EndMs});
    }
    std::vector<std::string> lines;
    if (spans.empty())
        return lines;
    const Result<std::vector<PartLevel>> measured = MeasureLevels(source, spans);
    if (!measured)
        return measured.Failure();
    auto level = measured.Value().begin();
    for (SplitJobRow& row : job.Rows) {
        if (!NeedsLevel(row, options))
            continue;
        if (options.NormalizeLufs)
            row.Volume.GainSteps = NormalizeSteps(*level, *options.NormalizeLufs);
        if (const double peak = PeakWith(*level, row.Volume.GainSteps); peak > 0.0)
            lines.push_back(row.OutPath + ": a gain of " +
                            Decibels(row.Volume.GainSteps * kGainStepDb) +
                            " dB clips: its peak would reach " + Decibels(peak) + " dBFS");
        ++level;
    }
    return lines;
}
