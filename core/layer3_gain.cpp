#include "core/layer3_gain.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

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

// The largest magnitude each of the 32 big-value Huffman tables codes: up
// to 15, plus up to 2^linbits - 1 for the tables with linbits (16 to 31);
// the unused tables 4 and 14 taken as 15.
constexpr std::array<int, 32> kTableLargest = {
    0,  1,  2,  2,  15, 3,   3,    5,    5,  5,  7,  7,   7,   15,  15,   15,
    16, 18, 22, 30, 78, 270, 1038, 8206, 30, 46, 78, 142, 270, 526, 2062, 8206};

// Where the scale factor bands of long blocks begin, in spectral lines: the
// regions of the big values end at these. 22.05, 16, 11.025 and 12 kHz share theirs.
using LongBands = std::array<short, 23>;
constexpr LongBands kBands44k = {0,  4,  8,   12,  16,  20,  24,  30,  36,  44,  52, 62,
                                 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576};
constexpr LongBands kBands48k = {0,  4,  8,   12,  16,  20,  24,  30,  36,  42,  50, 60,
                                 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576};
constexpr LongBands kBands32k = {0,  4,   8,   12,  16,  20,  24,  30,  36,  44,  54, 66,
                                 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576};
constexpr LongBands kBands22k = {0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
                                 116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576};
constexpr LongBands kBands24k = {0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
                                 114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576};
constexpr LongBands kBands8k = {0,   12,  24,  36,  48,  60,  72,  88,  108, 132, 160, 192,
                                232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576};
// By rate index: 44.1, 48, 32 (MPEG-1), 22.05, 24, 16 (MPEG-2), 11.025, 12, 8 kHz (MPEG-2.5).
constexpr std::array<const LongBands*, 9> kLongBands = {&kBands44k, &kBands48k, &kBands32k,
                                                        &kBands22k, &kBands24k, &kBands22k,
                                                        &kBands22k, &kBands22k, &kBands8k};

constexpr int kLines = 576;

// One granule of one channel, as its side information describes it.
struct GranuleChannel {
    std::uint32_t Part23Length = 0;
    std::uint32_t BigValues = 0; // pairs
    std::uint32_t GlobalGain = 0;
    bool WindowSwitching = false;
    std::uint32_t BlockType = 0;
    bool Mixed = false;
    std::array<std::uint32_t, 3> Tables{};
    std::uint32_t Region0Count = 0;
    std::uint32_t Region1Count = 0;

    static GranuleChannel Read(BitReader& bits, bool mpeg1) {
        GranuleChannel g;
        g.Part23Length = bits.Read(12);
        g.BigValues = std::min<std::uint32_t>(bits.Read(9), kLines / 2);
        g.GlobalGain = bits.Read(8);
        bits.Skip(mpeg1 ? 4 : 9); // scalefac_compress
        g.WindowSwitching = bits.Read(1) != 0;
        if (g.WindowSwitching) {
            g.BlockType = bits.Read(2);
            g.Mixed = bits.Read(1) != 0;
            g.Tables = {bits.Read(5), bits.Read(5), 0};
            bits.Skip(9); // subblock gains
        } else {
            g.Tables = {bits.Read(5), bits.Read(5), bits.Read(5)};
            g.Region0Count = bits.Read(4);
            g.Region1Count = bits.Read(3);
        }
        bits.Skip(mpeg1 ? 3 : 2); // preflag, scalefac_scale, count1table_select
        return g;
    }

    // Its four bits of the window shapes (Layer3WindowsContinue): a mixed block's two lowest
    // subbands take the long window, the others its type's.
    std::uint8_t WindowShapes() const {
        const auto shape = [](std::uint32_t type) {
            return static_cast<std::uint8_t>((type == 2 || type == 3 ? 1 : 0) |
                                             (type == 1 || type == 2 ? 2 : 0));
        };
        return static_cast<std::uint8_t>(shape(Mixed ? 0 : BlockType) | shape(BlockType) << 2);
    }

    // The largest sum of squares of its dequantised values.
    double EnergyBound(int rateIndex) const {
        static const std::array<double, 32> squares = [] {
            std::array<double, 32> values{};
            for (std::size_t t = 0; t < values.size(); ++t)
                values[t] = std::pow(static_cast<double>(kTableLargest[t]), 8.0 / 3.0);
            return values;
        }();
        const int bigLines = static_cast<int>(2 * BigValues);
        double sum = 0.0;
        if (WindowSwitching) {
            // The regions' border is implicit here, and decoders differ on it.
            sum = bigLines * std::max(squares[Tables[0]], squares[Tables[1]]);
        } else {
            const LongBands& bands = *kLongBands[static_cast<std::size_t>(rateIndex)];
            const int region1 = bands[std::min<std::uint32_t>(Region0Count + 1, 22)];
            const int region2 = bands[std::min<std::uint32_t>(Region0Count + Region1Count + 2, 22)];
            const int ends[3] = {std::min(bigLines, region1), std::min(bigLines, region2),
                                 bigLines};
            int from = 0;
            for (std::size_t r = 0; r < 3; ++r) {
                const int to = std::max(from, ends[r]);
                sum += (to - from) * squares[Tables[r]];
                from = to;
            }
        }
        // Past the big values, each value is 0 or ±1 and costs a sign bit.
        sum += std::min<double>(kLines - bigLines, Part23Length);
        // Times 2^((gain - 210) / 2), the square of the quantizer's step.
        const int halfSteps = static_cast<int>(GlobalGain) - 210;
        return sum * std::ldexp(halfSteps % 2 != 0 ? std::sqrt(2.0) : 1.0, halfSteps >> 1);
    }
};

} // namespace

Layer3Loudness ReadLayer3Loudness(std::uint32_t header, std::span<const std::uint8_t> body) {
    const bool mpeg1 = ((header >> 19) & 3) == 3;
    const bool mono = ((header >> 6) & 3) == 3;
    const bool jointStereo = ((header >> 6) & 3) == 1;
    const bool intensity = jointStereo && ((header >> 4) & 1) != 0;
    const int rateBits = static_cast<int>((header >> 10) & 3);
    const int rateIndex = (mpeg1                       ? 0
                           : ((header >> 20) & 1) != 0 ? 3
                                                       : 6) +
                          rateBits; // MPEG-2 : 2.5
    const std::size_t crcBytes = ((header >> 16) & 1) == 0 ? 2 : 0;
    const std::size_t channels = mono ? 1 : 2;
    Layer3Loudness loudness;
    loudness.Granules = mpeg1 ? 2 : 1;
    // main_data_begin, the private bits and (MPEG-1) the scale factor selection.
    const std::size_t head = mpeg1 ? 9 + (mono ? 5 : 3) + 4 * channels : 8 + (mono ? 1 : 2);
    const std::size_t granuleBits = mpeg1 ? 59 : 63;
    if (rateBits == 3 || body.size() < crcBytes ||
        (body.size() - crcBytes) * 8 <
            head + static_cast<std::size_t>(loudness.Granules) * channels * granuleBits) {
        loudness.PeakGain = 0;
        loudness.GranuleEnergy.fill(std::numeric_limits<double>::infinity());
        return loudness;
    }
    BitReader bits(body.subspan(crcBytes));
    bits.Skip(head);
    bool refused = false;
    for (int g = 0; g < loudness.Granules; ++g) {
        std::array<double, 2> energy{};
        std::array<std::uint8_t, 2> shapes{};
        for (std::size_t ch = 0; ch < channels; ++ch) {
            const GranuleChannel granule = GranuleChannel::Read(bits, mpeg1);
            shapes[ch] = granule.WindowShapes();
            refused = refused || (granule.WindowSwitching && granule.BlockType == 0);
            if (granule.Part23Length != 0)
                loudness.PeakGain = std::max<std::uint8_t>(
                    loudness.PeakGain.value_or(0), static_cast<std::uint8_t>(granule.GlobalGain));
            energy[ch] = granule.EnergyBound(rateIndex);
        }
        loudness.GranuleWindows[static_cast<std::size_t>(g)] =
            static_cast<std::uint8_t>(shapes[0] | (mono ? shapes[0] : shapes[1]) << 4);
        // Mid/side keeps the energy of the two. Intensity stereo scales the
        // left channel's values by ratios that out-of-range positions make
        // as large as they like: no bound then.
        loudness.GranuleEnergy[static_cast<std::size_t>(g)] =
            intensity ? std::numeric_limits<double>::infinity() : energy[0] + energy[1];
    }
    // Switched windows of the long type are no frame a decoder takes: it
    // plays something else there, so nothing bounds it.
    if (refused)
        loudness.GranuleEnergy.fill(std::numeric_limits<double>::infinity());
    return loudness;
}
