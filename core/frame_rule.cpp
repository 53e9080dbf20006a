#include "core/frame_rule.h"

#include <cmath>

namespace {

const std::int32_t kSampleRates[3][4] = {
    {44100, 48000, 32000, 0}, // MPEG 1
    {22050, 24000, 16000, 0}, // MPEG 2 (and any unknown version)
    {11025, 12000, 8000, 0},  // MPEG 2.5
};

const std::int32_t kBitratesMpeg1LayerI[16] = {0,      32000,  64000,  96000,  128000, 160000,
                                               192000, 224000, 256000, 288000, 320000, 352000,
                                               384000, 416000, 448000, 0};
const std::int32_t kBitratesMpeg1LayerII[16] = {0,      32000,  48000,  56000,  64000,  80000,
                                                96000,  112000, 128000, 160000, 192000, 224000,
                                                256000, 320000, 384000, 0};
const std::int32_t kBitratesMpeg2LayerI[16] = {0,      32000,  48000,  56000,  64000,  80000,
                                               96000,  112000, 128000, 144000, 160000, 176000,
                                               192000, 224000, 256000, 0};
const std::int32_t kBitratesMpeg1[16] = {0,      32000,  40000,  48000,  56000,  64000,
                                         80000,  96000,  112000, 128000, 160000, 192000,
                                         224000, 256000, 320000, 0};
const std::int32_t kBitratesMpeg2[16] = {0,     8000,  16000, 24000,  32000,  40000,  48000,  56000,
                                         64000, 80000, 96000, 112000, 128000, 144000, 160000, 0};

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

const std::int32_t* BitrateRow(std::int32_t versionId, std::int32_t layer) {
    const bool mpeg1 = RowFor(versionId) == 0;
    if (layer == 1)
        return mpeg1 ? kBitratesMpeg1LayerI : kBitratesMpeg2LayerI;
    if (layer == 2 && mpeg1)
        return kBitratesMpeg1LayerII;
    return mpeg1 ? kBitratesMpeg1 : kBitratesMpeg2;
}

RuleFields ReadFields(const std::uint8_t* b, std::int32_t versionId, std::int32_t layer) {
    const std::uint8_t b2 = b[2];
    return {BitrateRow(versionId, layer)[b2 >> 4], kSampleRates[RowFor(versionId)][(b2 >> 2) & 3],
            (b2 >> 1) & 1};
}

std::int32_t TruncatedQuotient(std::int32_t bitrate, long double coefficient,
                               std::int32_t sampleRate) {
    return static_cast<std::int32_t>(
        std::trunc(static_cast<long double>(bitrate) * coefficient / sampleRate));
}

// Layer I frames are counted in 4-byte slots; Layer II always holds 1152
// samples; Layer III holds 576 samples below MPEG 1.
std::int32_t LengthOf(const RuleFields& f, std::int32_t versionId, std::int32_t layer) {
    if (layer == 1)
        return (TruncatedQuotient(f.bitrate, 12.0L, f.sampleRate) + f.padding) * 4;
    const long double coefficient = (versionId == 1 || layer == 2) ? 144.0L : 72.0L;
    return TruncatedQuotient(f.bitrate, coefficient, f.sampleRate) + f.padding;
}

} // namespace

FrameCandidate EvaluateFrame(const std::uint8_t* b, std::int32_t firstVersionId,
                             std::int32_t firstLayer) {
    FrameCandidate c;
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return c;
    const RuleFields f = ReadFields(b, firstVersionId, firstLayer);
    if (f.bitrate == 0 || f.sampleRate == 0)
        return c;
    c.Accepted = true;
    c.Length = LengthOf(f, firstVersionId, firstLayer);
    c.BitrateBps = f.bitrate;
    c.SampleRateHz = f.sampleRate;
    return c;
}

std::int32_t InformationFrameLength(const std::uint8_t* b, std::int32_t firstVersionId,
                                    std::int32_t firstLayer) {
    const RuleFields f = ReadFields(b, firstVersionId, firstLayer);
    if (f.sampleRate == 0)
        return 0;
    return LengthOf(f, firstVersionId, firstLayer);
}

long double FrameDurationMs(std::int32_t length, std::int32_t bitrateBps) {
    return static_cast<long double>(length) * 8.0L /
           (static_cast<long double>(bitrateBps) / 10.0L) * 100.0L;
}

std::int32_t InformationHeaderOffset(std::int32_t versionId, std::int32_t channelMode) {
    const bool mono = channelMode == 3;
    if (versionId == 1)
        return mono ? 21 : 36;
    return mono ? 13 : 21;
}
