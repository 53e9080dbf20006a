#include "core/loudness_overview.h"

#include <algorithm>
#include <cmath>

std::uint8_t LoudnessOverview::Peak(std::int64_t first, std::int64_t end) const {
    first = std::clamp<std::int64_t>(first, 0, static_cast<std::int64_t>(Levels.size()));
    end = std::clamp<std::int64_t>(end, first, static_cast<std::int64_t>(Levels.size()));
    if (first == end)
        return 0;
    return *std::max_element(Levels.begin() + first, Levels.begin() + end);
}

// RMS rather than peak: a level should say how loud a stretch sounds, and a
// peak draws a quiet tone and loud noise alike.
std::uint8_t LevelFromSamples(std::span<const std::int16_t> samples) {
    if (samples.empty())
        return 0;
    double energy = 0.0;
    for (const std::int16_t sample : samples)
        energy += static_cast<double>(sample) * sample;
    const double rms = std::sqrt(energy / static_cast<double>(samples.size()));
    if (rms <= 0.0)
        return 0;
    const double db = 20.0 * std::log10(std::min(rms, 32768.0) / 32768.0);
    const double steps = 255.0 + db / kLoudnessDbPerStep;
    return static_cast<std::uint8_t>(std::clamp(std::lround(steps), 0L, 255L));
}
