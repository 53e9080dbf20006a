#include "core/frame_tables.h"

namespace {

// kbit/s by [MPEG 1 / MPEG 2 and 2.5][layer - 1][bitrate index].
const std::int32_t kBitrates[2][3][16] = {
    {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
    },
    {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1},
    },
};

const std::int32_t kSampleRates[3][4] = {
    {44100, 48000, 32000, -1},
    {22050, 24000, 16000, -1},
    {11025, 12000, 8000, -1},
};

} // namespace

std::int32_t BitrateKbpsFor(std::int32_t versionId, std::int32_t layer, std::int32_t index) {
    return kBitrates[versionId == 1 ? 0 : 1][layer - 1][index & 15];
}

std::int32_t SampleRateHzFor(std::int32_t versionId, std::int32_t index) {
    return kSampleRates[versionId - 1][index & 3];
}

std::int32_t SamplesPerFrameFor(std::int32_t versionId, std::int32_t layer) {
    if (layer == 1)
        return 384;
    return versionId == 1 || layer == 2 ? 1152 : 576;
}

std::int32_t FrameLengthFor(std::int32_t versionId, std::int32_t layer, std::int64_t bitrateBps,
                            std::int32_t sampleRate, bool padded) {
    if (sampleRate <= 0)
        return 0;
    const std::int32_t padding = padded ? 1 : 0;
    // A frame's bytes are its samples' share of the bit rate: samples / 8 bytes
    // per bit/s, in 4-byte slots of samples / 32 for Layer I.
    const std::int64_t samples = SamplesPerFrameFor(versionId, layer);
    if (layer == 1)
        return static_cast<std::int32_t>(bitrateBps * (samples / 32) / sampleRate + padding) * 4;
    return static_cast<std::int32_t>(bitrateBps * (samples / 8) / sampleRate + padding);
}
