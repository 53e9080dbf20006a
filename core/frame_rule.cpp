#include "core/frame_rule.h"

#include "core/frame_tables.h"

namespace {

struct RuleFields {
    std::int32_t bitrate;    // bit/s; 0 free format or unknown
    std::int32_t sampleRate; // Hz; 0 unknown
    bool padded;
};

// The rule reads every version other than MPEG 1 and 2.5 as MPEG 2, and
// every layer other than I and II as Layer III.
std::int32_t RuleVersion(std::int32_t versionId) {
    return versionId == 1 || versionId == 3 ? versionId : 2;
}

std::int32_t RuleLayer(std::int32_t layer) {
    return layer == 1 || layer == 2 ? layer : 3;
}

RuleFields ReadFields(const std::uint8_t* b, std::int32_t versionId, std::int32_t layer) {
    const std::int32_t kbps = BitrateKbpsFor(versionId, layer, b[2] >> 4);
    const std::int32_t rate = SampleRateHzFor(versionId, (b[2] >> 2) & 3);
    return {kbps < 0 ? 0 : kbps * 1000, rate < 0 ? 0 : rate, ((b[2] >> 1) & 1) != 0};
}

} // namespace

FrameCandidate EvaluateFrame(const std::uint8_t* b, std::int32_t firstVersionId,
                             std::int32_t firstLayer) {
    FrameCandidate c;
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return c;
    const std::int32_t version = RuleVersion(firstVersionId);
    const std::int32_t layer = RuleLayer(firstLayer);
    const RuleFields f = ReadFields(b, version, layer);
    if (f.bitrate == 0 || f.sampleRate == 0)
        return c;
    c.Accepted = true;
    c.Length = FrameLengthFor(version, layer, f.bitrate, f.sampleRate, f.padded);
    c.BitrateBps = f.bitrate;
    c.SampleRateHz = f.sampleRate;
    return c;
}

std::int32_t InformationFrameLength(const std::uint8_t* b, std::int32_t firstVersionId,
                                    std::int32_t firstLayer) {
    const std::int32_t version = RuleVersion(firstVersionId);
    const std::int32_t layer = RuleLayer(firstLayer);
    const RuleFields f = ReadFields(b, version, layer);
    return FrameLengthFor(version, layer, f.bitrate, f.sampleRate, f.padded);
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
