#pragma once

#include <cstdint>
#include <span>
#include <string>

// A part's level, changed in its frames' side information alone (see
// core/layer3_gain_shift.h): a gain in steps of 1.5 dB, and fades in and out
// that ramp each granule's gain up from near silence to the part's gain.
struct PartVolume {
    std::int32_t GainSteps = 0;
    std::int32_t FadeInMs = 0;
    std::int32_t FadeOutMs = 0;

    static constexpr std::int32_t kMaxSteps = 20; // ±30 dB
    bool Changes() const { return GainSteps != 0 || FadeInMs > 0 || FadeOutMs > 0; }
    bool operator==(const PartVolume&) const = default;
};

// As the split list shows it: "+3.0 dB", "0.0 dB, fade in 2 s, out 1.5 s";
// empty for a volume that changes nothing.
std::string VolumeText(const PartVolume& volume);

// The step nearest gainDb, within ±kMaxSteps.
std::int32_t GainStepsFor(double gainDb);

// A fade starts this many steps (60 dB) below the part's gain.
inline constexpr std::int32_t kFadeFloorSteps = 40;

// The gain of every granule of one part, by where it stands in the part.
class VolumeShape {
public:
    // partMs: the part's length; granuleMs: a granule's (576 samples).
    VolumeShape(const PartVolume& volume, double partMs, double granuleMs);

    // The steps for the granule that begins ms after the part's start: the
    // gain, less a fade's share. A fade's level rises in proportion to the
    // time passed, in amplitude, as a listener expects of a fade; its first
    // granule is near silence.
    std::int32_t StepsAt(double ms) const;

private:
    std::int32_t FadeSteps(double fraction) const;

    PartVolume volume_;
    double partMs_;
    double granuleMs_;
};

// The volume stage: shapes the frames a part copies from its source.
class VolumeStage {
public:
    // versionId: 1 MPEG 1, 3 MPEG 2.5, else MPEG 2; sampleRateHz the source's.
    VolumeStage(const PartVolume& volume, double partMs, std::int32_t versionId,
                std::int32_t sampleRateHz);

    // One Layer III frame whose first granule begins frameMs after the part's start.
    void Shape(std::span<std::uint8_t> frame, double frameMs) const;

private:
    VolumeShape shape_;
    std::int32_t versionId_;
    double granuleMs_;
};
