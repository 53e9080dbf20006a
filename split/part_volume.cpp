#include "split/part_volume.h"

#include "core/layer3_gain_shift.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kGranuleSamples = 576.0;

} // namespace

std::int32_t GainStepsFor(double gainDb) {
    const auto steps = static_cast<std::int32_t>(std::lround(gainDb / kGainStepDb));
    return std::clamp(steps, -PartVolume::kMaxSteps, PartVolume::kMaxSteps);
}

namespace {

std::string Seconds(std::int32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", std::round(ms / 100.0) / 10.0);
    return text;
}

} // namespace

std::string VolumeText(const PartVolume& volume) {
    if (!volume.Changes())
        return {};
    char text[32];
    std::snprintf(text, sizeof text, volume.GainSteps == 0 ? "%.1f dB" : "%+.1f dB",
                  volume.GainSteps * kGainStepDb);
    std::string line = text;
    if (volume.FadeInMs > 0)
        line += ", fade in " + Seconds(volume.FadeInMs);
    if (volume.FadeOutMs > 0)
        line += (volume.FadeInMs > 0 ? ", out " : ", fade out ") + Seconds(volume.FadeOutMs);
    return line;
}

VolumeShape::VolumeShape(const PartVolume& volume, double partMs, double granuleMs)
    : volume_(volume), partMs_(partMs), granuleMs_(granuleMs) {}

std::int32_t VolumeShape::StepsAt(double ms) const {
    // A granule's share of the fade is taken at its middle.
    const double middle = ms + granuleMs_ / 2;
    double fraction = 1.0;
    if (volume_.FadeInMs > 0)
        fraction = std::min(fraction, middle / volume_.FadeInMs);
    if (volume_.FadeOutMs > 0)
        fraction = std::min(fraction, (partMs_ - middle) / volume_.FadeOutMs);
    return volume_.GainSteps - FadeSteps(fraction);
}

// Steps of 2^(1/4) in amplitude: 4·log2 of the fraction, below 0.
std::int32_t VolumeShape::FadeSteps(double fraction) const {
    if (fraction >= 1.0)
        return 0;
    if (fraction <= 0.0)
        return kFadeFloorSteps;
    const auto steps = static_cast<std::int32_t>(std::lround(-4.0 * std::log2(fraction)));
    return std::min(steps, kFadeFloorSteps);
}

VolumeStage::VolumeStage(const PartVolume& volume, double partMs, std::int32_t versionId,
                         std::int32_t sampleRateHz)
    : shape_(volume, partMs, kGranuleSamples * 1000.0 / std::max(sampleRateHz, 1)),
      versionId_(versionId), granuleMs_(kGranuleSamples * 1000.0 / std::max(sampleRateHz, 1)) {}

void VolumeStage::Shape(std::span<std::uint8_t> frame, double frameMs) const {
    ShiftLayer3Gain(frame, versionId_,
                    {shape_.StepsAt(frameMs), shape_.StepsAt(frameMs + granuleMs_)});
}
