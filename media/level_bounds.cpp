#include "media/level_bounds.h"

#include "core/layer3_gain.h"
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
