#include "core/frame_rule.h"

#include <cmath>

namespace {

const std::int32_t kSampleRates[3][4] = {
    {44100, 48000, 32000, 0}, // MPEG 1
    {22050, 24000, 16000, 0}, // MPEG 2 (and any unknown version)
    {11025, 12000, 8000, 0},  // MPEG 2.5
};

const std::int32_t kBitratesMpeg1[16] = {0,      32000,  40000,  48000,  56000,  64000,
                                         80000,  96000,  112000, 128000, 160000, 192000,
                                         224000, 256000, 320000, 0};
const std::int32_t kBitratesMpeg2[16] = {0,     8000,  16000,  24000,  32000,  40000,
                                         48000, 56000, 64000,  80000,  96000,  112000,
                                         128000, 144000, 160000, 0};

int RowFor(std::int32_t versionId) {
    if (versionId == 1)
        return 0;
    return versionId == 3 ? 2 : 1;
}

struct RuleFields {
    std::int32_t bitrate;
    std::int32_t sampleRate;
    std::int32_t padding;
};

RuleFields ReadFields(const std::uint8_t* b, std::int32_t versionId) {
    const std::uint8_t b2 = b[2];
    const int row = RowFor(versionId);
    return {row == 0 ? kBitratesMpeg1[b2 >> 4] : kBitratesMpeg2[b2 >> 4],
            kSampleRates[row][(b2 >> 2) & 3], (b2 >> 1) & 1};
}

std::int32_t LengthOf(const RuleFields& f, std::int32_t versionId) {
    const long double coefficient = versionId == 1 ? 144.0L : 72.0L;
    const long double raw = static_cast<long double>(f.bitrate) * coefficient / f.sampleRate;
    return static_cast<std::int32_t>(std::trunc(raw)) + f.padding;
}

} // namespace

FrameCandidate EvaluateFrame(const std::uint8_t* b, std::int32_t firstVersionId) {
    FrameCandidate c;
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return c;
    const RuleFields f = ReadFields(b, firstVersionId);
    if (f.bitrate == 0 || f.sampleRate == 0)
        return c;
    c.Accepted = true;
    c.Length = LengthOf(f, firstVersionId);
    c.BitrateBps = f.bitrate;
    c.SampleRateHz = f.sampleRate;
    return c;
}

std::int32_t InformationFrameLength(const std::uint8_t* b, std::int32_t firstVersionId) {
    const RuleFields f = ReadFields(b, firstVersionId);
    if (f.sampleRate == 0)
        return 0;
    return LengthOf(f, firstVersionId);
}

long double FrameDurationMs(std::int32_t length, std::int32_t bitrateBps) {
    return static_cast<long double>(length) * 8.0L / (static_cast<long double>(bitrateBps) / 10.0L) *
           100.0L;
}

std::int32_t InformationHeaderOffset(std::int32_t versionId, std::int32_t channelMode) {
    const bool mono = channelMode == 3;
    if (versionId == 1)
        return mono ? 21 : 36;
    return mono ? 13 : 21;
}
