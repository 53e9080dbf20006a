#include "core/layer3_loudness.h"

#include <algorithm>
#include <cmath>

namespace {

// Reads big-endian bit fields from a byte range it never runs past.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t bytes) : data_(data), bits_(bytes * 8) {}

    bool Has(std::size_t count) const { return position_ + count <= bits_; }
    void Skip(std::size_t count) { position_ += count; }
    std::uint32_t Read(std::size_t count) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count; ++i, ++position_)
            value = (value << 1) | ((data_[position_ >> 3] >> (7 - (position_ & 7))) & 1);
        return value;
    }

private:
    const std::uint8_t* data_;
    std::size_t bits_;
    std::size_t position_ = 0;
};

constexpr double kFloorDb = -255 * kLoudnessDbPerStep;

// Each global_gain step is 1.5 dB. The size of the coded values shows in the
// bits spent on each: a tone spends many bits on few large values, noise few
// bits on many small ones. The weights are a least-squares fit against the
// decoded frame peaks of LAME encodings (within about 15 dB).
double GranuleDb(std::uint32_t part23Length, std::uint32_t bigValues, std::uint32_t globalGain) {
    const double bitsPerValue = std::min(part23Length / (2.0 * bigValues + 1.0), 20.0);
    return 1.5 * globalGain + 5.7 * bitsPerValue - 288.5;
}

} // namespace

std::uint8_t Layer3Loudness(const std::uint8_t* frame, std::size_t available,
                            std::int32_t versionId) {
    if (available < 4)
        return 0;
    const bool mpeg1 = versionId == 1;
    const bool mono = (frame[3] >> 6) == 3;
    const bool crc = (frame[1] & 1) == 0;
    const std::size_t channels = mono ? 1 : 2;
    const std::size_t granules = mpeg1 ? 2 : 1;
    const std::size_t start = crc ? 6 : 4;
    if (available < start)
        return 0;
    BitReader bits(frame + start, available - start);
    // main_data_begin, private bits and (MPEG 1) the scale factor selection.
    const std::size_t head = mpeg1 ? 9 + (mono ? 5 : 3) + 4 * channels : 8 + (mono ? 1 : 2);
    // The fields of one granule and channel after part2_3_length and global_gain.
    const std::size_t rest = mpeg1 ? 4 + 1 + 22 + 3 : 9 + 1 + 22 + 2;
    const std::size_t perChannel = 12 + 9 + 8 + rest;
    if (!bits.Has(head + granules * channels * perChannel))
        return 0;
    bits.Skip(head);
    double loudest = kFloorDb;
    for (std::size_t g = 0; g < granules * channels; ++g) {
        const std::uint32_t part23Length = bits.Read(12);
        const std::uint32_t bigValues = bits.Read(9);
        const std::uint32_t globalGain = bits.Read(8);
        bits.Skip(rest);
        // A granule without coded bits is silent, whatever its gain says.
        if (part23Length != 0)
            loudest = std::max(loudest, GranuleDb(part23Length, bigValues, globalGain));
    }
    const double steps = std::clamp((loudest - kFloorDb) / kLoudnessDbPerStep, 0.0, 255.0);
    return static_cast<std::uint8_t>(std::lround(steps));
}
