#include "split/pause_cuts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <string>

namespace {
std::string Numbered(const std::string& title, std::size_t n, std::size_t count) {
    char number[16];
    std::snprintf(number, sizeof number, count > 99 ? "%03zu" : "%02zu", n);
    return (title.empty() ? std::string("Part") : title) + " " + number;
}

} // namespace

float LevelDb(double sumOfSquares, std::int64_t samples) {
    const double meanSquare = sumOfSquares / static_cast<double>(samples);
    return meanSquare > 0.0
               ? static_cast<float>(10.0 * std::log10(meanSquare / (32768.0 * 32768.0)))
               : kSilenceDb;
}

std::int64_t LevelWindowStart(std::int64_t window, std::int32_t rate) {
    return window * rate * kLevelWindowMs / 1000;
}

std::int64_t LevelWindowAt(std::int64_t sampleFrame, std::int32_t rate) {
    std::int64_t window = sampleFrame * 1000 / (std::int64_t{rate} * kLevelWindowMs);
    while (LevelWindowStart(window + 1, rate) <= sampleFrame)
        ++window;
    while (window > 0 && LevelWindowStart(window, rate) > sampleFrame)
        --window;
    return window;
}

void LevelWindows::Begin(std::int64_t sampleFrame) {
    at_ = sampleFrame;
    window_ = LevelWindowAt(sampleFrame, rate_);
    whole_ = LevelWindowStart(window_, rate_) == sampleFrame;
    next_ = LevelWindowStart(window_ + 1, rate_);
    sumOfSquares_ = 0;
    samples_ = 0;
}

void LevelWindows::Add(std::span<const std::int16_t> samples, std::int32_t channels) {
    if (channels <= 0)
        return;
    const std::size_t step = static_cast<std::size_t>(channels);
    std::size_t done = 0;
    while (done + step <= samples.size()) {
        // Up to the end of the open window at once: squares of 16-bit samples
        // add up exactly in 64 bits.
        const std::size_t frames = std::min<std::size_t>((samples.size() - done) / step,
                                                         static_cast<std::size_t>(next_ - at_));
        std::int64_t sum = 0;
        for (const std::int16_t s : samples.subspan(done, frames * step))
            sum += std::int32_t{s} * s;
        sumOfSquares_ += sum;
        samples_ += static_cast<std::int64_t>(frames * step);
        at_ += static_cast<std::int64_t>(frames);
        done += frames * step;
        if (at_ == next_)
            Close();
    }
}

void LevelWindows::EndOfAudio() {
    if (samples_ > 0)
        Close();
}

void LevelWindows::Stop() {
    if (samples_ > 0)
        parts_.push_back({window_, sumOfSquares_, samples_});
    samples_ = 0;
    sumOfSquares_ = 0;
}

void LevelWindows::Close() {
    if (whole_) {
        const std::size_t index = static_cast<std::size_t>(window_);
        if (index >= levels_.size())
            levels_.resize(index + 1, std::numeric_limits<float>::quiet_NaN());
        levels_[index] = LevelDb(static_cast<double>(sumOfSquares_), samples_);
    } else {
        parts_.push_back({window_, sumOfSquares_, samples_});
    }
    whole_ = true;
    ++window_;
    next_ = LevelWindowStart(window_ + 1, rate_);
    sumOfSquares_ = 0;
    samples_ = 0;
}

std::vector<Pause> FindPauses(std::span<const float> levelsDb, const PauseSettings& settings) {
    std::vector<Pause> pauses;
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
            pauses.push_back({static_cast<std::int32_t>(begin * kLevelWindowMs),
                              static_cast<std::int32_t>(i * kLevelWindowMs)});
    }
    return pauses;
}

std::vector<std::int32_t> CutsAtLongest(std::span<const Pause> pauses, std::size_t count) {
    std::vector<std::size_t> order(pauses.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (count < order.size()) {
        const auto longer = [&](std::size_t a, std::size_t b) {
            return pauses[a].EndMs - pauses[a].StartMs > pauses[b].EndMs - pauses[b].StartMs;
        };
        std::stable_sort(order.begin(), order.end(), longer);
        order.resize(count);
        std::sort(order.begin(), order.end());
    }
    std::vector<std::int32_t> cuts;
    for (const std::size_t i : order)
        cuts.push_back(pauses[i].MiddleMs());
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
