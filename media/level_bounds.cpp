#include "media/level_bounds.h"

#include "core/layer3_gain.h"
#include "media/granule_energy.h"
#include "split/pause_cuts.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

std::int64_t LevelBounds::GranuleAt(std::int64_t sampleFrame) const {
    const auto& shifts = survey_.GranuleShifts;
    const auto startOf = [](const FrameSurvey::GranuleShift& shift) {
        return shift.Granule * kGranuleSamples + shift.Samples;
    };
    const auto after = std::upper_bound(
        shifts.begin(), shifts.end(), sampleFrame,
        [&startOf](std::int64_t sample, const auto& shift) { return sample < startOf(shift); });
    if (after == shifts.begin())
        return sampleFrame / kGranuleSamples;
    const auto& shift = *std::prev(after);
    return shift.Granule + (sampleFrame - startOf(shift)) / kGranuleSamples;
}

double LevelBounds::Energy(std::int64_t granule) const {
    return granule < 0
               ? 0.0
               : static_cast<double>(survey_.GranuleEnergy[static_cast<std::size_t>(granule)]);
}

bool LevelBounds::Continues(std::int64_t granule) const {
    return granule <= 0 ||
           Layer3WindowsContinue(survey_.GranuleWindows[static_cast<std::size_t>(granule) - 1],
                                 survey_.GranuleWindows[static_cast<std::size_t>(granule)]);
}

std::int64_t LevelBounds::GranuleStart(std::int64_t granule) const {
    const auto& shifts = survey_.GranuleShifts;
    const auto after = std::upper_bound(
        shifts.begin(), shifts.end(), granule,
        [](std::int64_t g, const FrameSurvey::GranuleShift& shift) { return g < shift.Granule; });
    return granule * kGranuleSamples + (after == shifts.begin() ? 0 : std::prev(after)->Samples);
}

float LevelBounds::EstimatedDb(std::int64_t window) const {
    const std::int64_t total = survey_.BlockStarts.back();
    if (survey_.GranuleSpectrum.empty() || survey_.Rate <= 0 || survey_.Channels <= 0)
        return std::numeric_limits<float>::quiet_NaN();
    const std::int64_t from = LevelWindowStart(window, survey_.Rate);
    const std::int64_t to = std::min(total, LevelWindowStart(window + 1, survey_.Rate));
    // The granules whose subband samples reach the window, as for the bound.
    constexpr std::int64_t kSlot = 32;
    const std::int64_t first =
        GranuleAt(std::max<std::int64_t>(0, from / kSlot * kSlot - 15 * kSlot)) - 1;
    const std::int64_t last = GranuleAt(to - 1);
    float loudest = 0.0f;
    for (std::int64_t g = std::max<std::int64_t>(0, first); g <= last; ++g) {
        const float energy = survey_.GranuleSpectrum[static_cast<std::size_t>(g)];
        if (std::isnan(energy))
            return energy;
        loudest = std::max(loudest, energy);
    }
    // Rounding to 16 bits adds up to half a step to every sample.
    constexpr double kRounding = 0.25 / 32768.0 / 32768.0;
    const double energy = kLayer3SampleEnergy * static_cast<double>(loudest) /
                              static_cast<double>((to - from) * survey_.Channels) +
                          kRounding;
    return static_cast<float>(10.0 * std::log10(energy));
}

std::vector<bool> LevelBounds::StretchesOver(std::int64_t windows, float levelDb) const {
    const std::int64_t total = survey_.BlockStarts.back();
    const std::int64_t count = LevelWindowAt(total - 1, survey_.Rate) + 1;
    std::vector<bool> over(
        static_cast<std::size_t>(std::max<std::int64_t>(0, count - windows + 1)));
    if (survey_.GranuleSpectrum.empty() || survey_.Rate <= 0 || survey_.Channels <= 0)
        return over;
    // A granule's synthesis reaches from its start over two granules and the
    // 16 slots of 32 samples the filter bank takes in.
    constexpr std::int64_t kReach = 2 * kGranuleSamples + 16 * 32;
    const std::int64_t granules = static_cast<std::int64_t>(survey_.GranuleSpectrum.size());
    const double wanted = std::pow(10.0, (levelDb + kStretchMarginDb) / 10.0) /
                          kLayer3SampleEnergy * survey_.Channels;
    double inside = 0.0; // the energy of granules first..end-1; one without an estimate adds none
    std::int64_t first = 0;
    std::int64_t end = 0;
    const auto energy = [&](std::int64_t g) {
        const float e = survey_.GranuleSpectrum[static_cast<std::size_t>(g)];
        return std::isnan(e) ? 0.0 : static_cast<double>(e);
    };
    for (std::int64_t w = 0; w < static_cast<std::int64_t>(over.size()); ++w) {
        const std::int64_t from = LevelWindowStart(w, survey_.Rate);
        const std::int64_t to = std::min(total, LevelWindowStart(w + windows, survey_.Rate));
        for (; end < granules && GranuleStart(end) + kReach <= to; ++end)
            inside += energy(end);
        for (; first < end && GranuleStart(first) < from; ++first)
            inside -= energy(first);
        if (first >= end)
            inside = 0.0; // no rounding left over
        over[static_cast<std::size_t>(w)] = inside >= wanted * static_cast<double>(to - from);
    }
    return over;
}

float LevelBounds::Db(std::int64_t window) const {
    const std::int64_t total = survey_.BlockStarts.back();
    if (survey_.GranuleEnergy.empty() || survey_.Rate <= 0 || survey_.Channels <= 0)
        return std::numeric_limits<float>::infinity();
    const std::int64_t from = LevelWindowStart(window, survey_.Rate);
    const std::int64_t to = std::min(total, LevelWindowStart(window + 1, survey_.Rate));
    // The window's samples come from the subband samples of its slots of 32
    // and the 15 slots before, which come from granules first..last and the
    // one before them. A granule a decoder gives up on (its side information
    // damaged) leaves the one before's state to the next: one granule more
    // is taken in for that.
    constexpr std::int64_t kSlot = 32;
    const std::int64_t first =
        GranuleAt(std::max<std::int64_t>(0, from / kSlot * kSlot - 15 * kSlot)) - 1;
    const std::int64_t last = GranuleAt(to - 1);
    bool continuing = true;
    double sum = 0.0;
    double pairs = 0.0;
    for (std::int64_t g = first; g <= last; ++g) {
        continuing = continuing && Continues(g);
        sum += Energy(g);
        pairs += Energy(g) + Energy(g - 1);
    }
    const double subbandEnergy = continuing
                                     ? kLayer3OverlapGainContinuing * (sum + Energy(first - 1))
                                     : kLayer3OverlapGainAny * pairs;
    const double samples = static_cast<double>((to - from) * survey_.Channels);
    // Rounding to 16 bits adds at most a step to every sample.
    const double rms = std::sqrt(kLayer3FilterBankGain * subbandEnergy / samples) + 1.0 / 32768.0;
    return static_cast<float>(20.0 * std::log10(rms));
}
