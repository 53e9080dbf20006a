#include "split/pause_cuts.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// Below any level a 16-bit sample can have: the level of digital silence.
constexpr float kSilenceDb = -200.0f;

std::string Numbered(const std::string& title, std::size_t n, std::size_t count) {
    char number[16];
    std::snprintf(number, sizeof number, count > 99 ? "%03zu" : "%02zu", n);
    return (title.empty() ? std::string("Part") : title) + " " + number;
}

} // namespace

void LevelSeries::Add(std::span<const std::int16_t> samples, std::int32_t channels,
                      std::int32_t sampleRateHz) {
    if (channels <= 0 || sampleRateHz <= 0)
        return;
    if (rate_ == 0) {
        rate_ = sampleRateHz;
        windowEnd_ = std::int64_t{rate_} * kLevelWindowMs / 1000;
    }
    const std::size_t perFrame = static_cast<std::size_t>(channels);
    for (std::size_t i = 0; i + perFrame <= samples.size(); i += perFrame) {
        for (std::size_t c = 0; c < perFrame; ++c) {
            const double s = samples[i + c];
            sumOfSquares_ += s * s;
        }
        samplesInWindow_ += channels;
        if (++framesSeen_ >= windowEnd_)
            CloseWindow();
    }
}

void LevelSeries::Finish() {
    if (samplesInWindow_ > 0)
        CloseWindow();
}

void LevelSeries::CloseWindow() {
    const double meanSquare = sumOfSquares_ / static_cast<double>(samplesInWindow_);
    levels_.push_back(meanSquare > 0.0
                          ? static_cast<float>(10.0 * std::log10(meanSquare / (32768.0 * 32768.0)))
                          : kSilenceDb);
    sumOfSquares_ = 0.0;
    samplesInWindow_ = 0;
    // Window k ends at sample frame (k + 1) × rate / 100, so rates like 22050
    // keep exact 10 ms windows on average.
    windowEnd_ = static_cast<std::int64_t>(levels_.size() + 1) * rate_ * kLevelWindowMs / 1000;
}

std::vector<std::int32_t> FindPauseCuts(std::span<const float> levelsDb,
                                        const PauseSettings& settings) {
    std::vector<std::int32_t> cuts;
    const std::size_t minWindows = static_cast<std::size_t>(
        std::max<std::int32_t>(1, (settings.MinMs + kLevelWindowMs - 1) / kLevelWindowMs));
    std::size_t i = 0;
    while (i < levelsDb.size()) {
        if (levelsDb[i] >= settings.ThresholdDb) {
            ++i;
            continue;
        }
        const std::size_t begin = i;
        while (i < levelsDb.size() && levelsDb[i] < settings.ThresholdDb)
            ++i;
        if (begin > 0 && i < levelsDb.size() && i - begin >= minWindows)
            cuts.push_back(static_cast<std::int32_t>((begin + i) * kLevelWindowMs / 2));
    }
    return cuts;
}

std::vector<SplitListItem> PauseSections(const std::vector<std::int32_t>& cuts,
                                         std::int32_t totalMs, const TID3v1Tag& sourceTag) {
    std::vector<std::int32_t> bounds{0};
    for (const std::int32_t cut : cuts)
        if (cut > bounds.back() && cut < totalMs)
            bounds.push_back(cut);
    bounds.push_back(totalMs);
    std::vector<SplitListItem> sections;
    SplitList list; // AddEntry cuts the source's texts as Add to List does
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        SplitListItem entry = list[list.AddEntry(bounds[i], bounds[i + 1], sourceTag)];
        entry.Title = Numbered(entry.Title, i + 1, bounds.size() - 1);
        sections.push_back(std::move(entry));
        list.ClearEntries();
    }
    return sections;
}
