#include "core/layer3_gain.h"

#include <algorithm>
#include <cstddef>

namespace {

// Reads big-endian bit fields; the caller checks the length first.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t Bits() const { return bytes_.size() * 8; }
    void Skip(std::size_t count) { position_ += count; }
    std::uint32_t Read(std::size_t count) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count; ++i, ++position_)
            value = (value << 1) | ((bytes_[position_ >> 3] >> (7 - (position_ & 7))) & 1);
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

} // namespace

std::optional<std::uint8_t> Layer3PeakGain(std::uint32_t header,
                                           std::span<const std::uint8_t> body) {
    const bool mpeg1 = ((header >> 19) & 3) == 3;
    const bool mono = ((header >> 6) & 3) == 3;
    const std::size_t crcBytes = ((header >> 16) & 1) == 0 ? 2 : 0;
    const std::size_t channels = mono ? 1 : 2;
    const std::size_t granules = mpeg1 ? 2 : 1;
    // main_data_begin, the private bits and (MPEG-1) the scale factor selection.
    const std::size_t head = mpeg1 ? 9 + (mono ? 5 : 3) + 4 * channels : 8 + (mono ? 1 : 2);
    // A granule's fields after part2_3_length, big_values and global_gain.
    const std::size_t rest = mpeg1 ? 4 + 1 + 22 + 3 : 9 + 1 + 22 + 2;
    if (body.size() < crcBytes)
        return 0;
    BitReader bits(body.subspan(crcBytes));
    if (bits.Bits() < head + granules * channels * (12 + 9 + 8 + rest))
        return 0;
    bits.Skip(head);
    std::optional<std::uint8_t> peak;
    for (std::size_t g = 0; g < granules * channels; ++g) {
        const std::uint32_t part23Length = bits.Read(12);
        bits.Skip(9);
        const auto globalGain = static_cast<std::uint8_t>(bits.Read(8));
        bits.Skip(rest);
        if (part23Length != 0)
            peak = std::max(peak.value_or(0), globalGain);
    }
    return peak;
}
