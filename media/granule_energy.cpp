#include "media/granule_energy.h"

#include "media/layer3_tables.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using namespace layer3_tables;

constexpr std::size_t kReservoirBytes = 511;
constexpr int kLines = 576;
// Bytes past the main data that reading may touch: the Huffman codes of a
// damaged granule run on past its end, by 288 pairs of up to 47 bits at most.
constexpr std::size_t kPadding = 4096;

// Big-endian bits of a buffer padded with kPadding bytes, read through a
// register of at least 32 bits ahead.
class Bits {
public:
    explicit Bits(const std::uint8_t* data) : data_(data) { MoveTo(0); }

    std::size_t Position() const { return position_; }
    void MoveTo(std::size_t position) {
        position_ = position;
        next_ = data_ + (position >> 3);
        cache_ = Load(8) << (position & 7);
        have_ = 64 - static_cast<int>(position & 7);
        next_ += 8;
    }
    // Passes over count bits (at most 32).
    void Skip(int count) {
        cache_ <<= count;
        have_ -= count;
        position_ += static_cast<std::size_t>(count);
        if (have_ < 32) {
            cache_ |= Load(4) >> 32 << (32 - have_);
            have_ += 32;
            next_ += 4;
        }
    }
    // The next count bits (1 to 32), not consumed.
    std::uint32_t Peek(int count) const {
        return static_cast<std::uint32_t>(cache_ >> (64 - count));
    }
    std::uint32_t Read(int count) {
        if (count == 0)
            return 0;
        const std::uint32_t value = Peek(count);
        Skip(count);
        return value;
    }

private:
    // The next bytes, big-endian, at the top of a word.
    std::uint64_t Load(std::size_t bytes) const {
        std::uint64_t word = 0;
        std::memcpy(&word, next_, bytes);
        if constexpr (std::endian::native == std::endian::little)
            word = __builtin_bswap64(word);
        return word;
    }

    const std::uint8_t* data_;
    const std::uint8_t* next_ = nullptr;
    std::uint64_t cache_ = 0;
    int have_ = 0; // bits in cache_
    std::size_t position_ = 0;
};

// Reads big-endian fields of the side information.
class FieldReader {
public:
    explicit FieldReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint32_t Read(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++position_)
            value = value << 1 | ((bytes_[position_ >> 3] >> (7 - (position_ & 7))) & 1u);
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// |q|^(8/3), the energy of a requantized value before its band's gain, for
// every magnitude a table codes (up to 15 plus 13 linbits).
const std::vector<double> kValueEnergy = [] {
    std::vector<double> values(15 + (1u << 13));
    for (std::size_t q = 0; q < values.size(); ++q)
        values[q] = std::pow(static_cast<double>(q), 8.0 / 3.0);
    return values;
}();

// A Huffman leaf's two values (its low byte): their energy and their sign bits.
struct PairTable {
    std::array<double, 256> Energy{};
    std::array<std::uint8_t, 256> Signs{};
};
const PairTable kPairs = [] {
    PairTable table;
    for (std::size_t leaf = 0; leaf < 256; ++leaf) {
        table.Energy[leaf] = kValueEnergy[leaf & 15] + kValueEnergy[leaf >> 4];
        table.Signs[leaf] = static_cast<std::uint8_t>(((leaf & 15) != 0) + ((leaf >> 4) != 0));
    }
    return table;
}();

// 2^(steps / 2), the square of a gain of 2^(steps / 4), for every step a
// granule's gains, subblock gains and scale factors can come to: from
// 0 - 210 - 8 × 7 - 4 × (31 + 3) to 255 - 210.
constexpr int kLowestStep = -450;
const std::vector<double> kGainEnergy = [] {
    std::vector<double> gains(520);
    for (std::size_t i = 0; i < gains.size(); ++i)
        gains[i] = std::pow(2.0, (static_cast<double>(i) + kLowestStep) / 2.0);
    return gains;
}();

// A count1 code, looked up by the next 6 bits: its length, and its values as
// a mask (bits 0 to 3) with their count.
struct QuadCode {
    std::uint8_t Length = 0;
    std::uint8_t Values = 0;
    std::uint8_t Ones = 0;
};
std::array<QuadCode, 64> QuadCodes(const std::uint8_t* table) {
    std::array<QuadCode, 64> codes{};
    for (std::uint32_t next = 0; next < 64; ++next) {
        int leaf = table[next >> 2];
        if ((leaf & 8) == 0) {
            const int more = leaf & 3;
            leaf = table[(leaf >> 3) + static_cast<int>((next & 3u) >> (2 - more))];
        }
        const auto values = static_cast<std::uint8_t>((leaf >> 4) & 15);
        codes[next] = {static_cast<std::uint8_t>(leaf & 7), values,
                       static_cast<std::uint8_t>((values & 1) + (values >> 1 & 1) +
                                                 (values >> 2 & 1) + (values >> 3 & 1))};
    }
    return codes;
}
const std::array<QuadCode, 64> kQuadsA = QuadCodes(kCount1A.data());
const std::array<QuadCode, 64> kQuadsB = QuadCodes(kCount1B.data());

// Each big-value table looked up by its next 10 bits at once: the code's
// length times 256 plus its two values (as a leaf's low byte), or -1 for the
// few codes longer than that, which take the table's own steps.
constexpr int kDirectBits = 10;
using DirectTable = std::array<std::int16_t, 1 << kDirectBits>;
DirectTable Direct(const std::int16_t* codes) {
    DirectTable direct{};
    for (std::uint32_t next = 0; next < direct.size(); ++next) {
        const auto bitsAt = [next](int at, int count) {
            return static_cast<int>((next << at & ((1u << kDirectBits) - 1)) >>
                                    (kDirectBits - count));
        };
        int at = 0;
        int width = 5;
        int leaf = codes[bitsAt(at, width)];
        while (leaf < 0 && at + width + (leaf & 7) <= kDirectBits) {
            at += width;
            width = leaf & 7;
            leaf = codes[bitsAt(at, width) - (leaf >> 3)];
        }
        direct[next] =
            static_cast<std::int16_t>(leaf < 0 ? -1 : (at + (leaf >> 8)) << 8 | (leaf & 255));
    }
    return direct;
}
const std::array<DirectTable, 32> kDirect = [] {
    std::array<DirectTable, 32> tables{};
    for (std::size_t t = 0; t < tables.size(); ++t)
        tables[t] = Direct(kBigValues + kTableStart[t]);
    return tables;
}();

double GainEnergy(int quarterSteps) {
    return kGainEnergy[static_cast<std::size_t>(quarterSteps - kLowestStep)];
}

struct Format {
    bool Mpeg1 = true;
    int Channels = 2;
    int RateTable = 0; // the row of the band tables
};

// One granule of one channel, as its side information describes it.
struct Granule {
    std::uint32_t Part23Length = 0;
    std::uint32_t BigValues = 0;
    int GlobalGain = 0;
    std::uint32_t ScalefacCompress = 0;
    std::uint32_t BlockType = 0;
    bool Mixed = false;
    std::array<std::uint32_t, 3> Tables{};
    std::array<int, 3> SubblockGains{};
    std::array<int, 2> RegionCounts{}; // band entries in regions 0 and 1
    bool Preflag = false;
    int ScalefacShift = 1; // 1 + scalefac_scale
    bool Count1B = false;
    std::uint32_t Scfsi = 0; // MPEG-1 granule 1: the parts granule 0's scale factors serve
    bool Valid = true;

    const std::uint8_t* Bands(const Format& format) const {
        return BlockType != 2 ? kLongBands[format.RateTable]
               : Mixed        ? kMixedBands[format.RateTable]
                              : kShortBands[format.RateTable];
    }
    int LongBands(const Format& format) const {
        return BlockType != 2 ? 22 : Mixed ? (format.Mpeg1 ? 8 : 6) : 0;
    }
    // Which of kScalefactorParts' rows.
    int Shape() const { return BlockType != 2 ? 0 : Mixed ? 1 : 2; }

    static Granule Read(FieldReader& fields, const Format& format) {
        Granule g;
        g.Part23Length = fields.Read(12);
        g.BigValues = fields.Read(9);
        g.GlobalGain = static_cast<int>(fields.Read(8));
        g.ScalefacCompress = fields.Read(format.Mpeg1 ? 4 : 9);
        g.Valid = g.BigValues <= kLines / 2;
        if (fields.Read(1) != 0) {
            g.BlockType = fields.Read(2);
            g.Mixed = fields.Read(1) != 0;
            g.Tables = {fields.Read(5), fields.Read(5), 0};
            for (int& gain : g.SubblockGains)
                gain = static_cast<int>(fields.Read(3));
            g.RegionCounts = {g.BlockType == 2 && !g.Mixed ? 9 : 8, 255};
            g.Valid = g.Valid && g.BlockType != 0;
        } else {
            g.Tables = {fields.Read(5), fields.Read(5), fields.Read(5)};
            g.RegionCounts[0] = static_cast<int>(fields.Read(4)) + 1;
            g.RegionCounts[1] = static_cast<int>(fields.Read(3)) + 1;
        }
        g.Preflag = format.Mpeg1 ? fields.Read(1) != 0 : g.ScalefacCompress >= 500;
        g.ScalefacShift = 1 + static_cast<int>(fields.Read(1));
        g.Count1B = fields.Read(1) != 0;
        return g;
    }

    // Each part's size in bits and, through parts, which row of
    // kScalefactorParts' four counts it takes.
    std::array<int, 4> ScalefactorSizes(const Format& format, int& partsAt) const {
        std::array<int, 4> sizes{};
        partsAt = 0;
        if (format.Mpeg1) {
            const int packed = kScalefactorSizes[ScalefacCompress & 15];
            sizes = {packed >> 2, packed >> 2, packed & 3, packed & 3};
            return sizes;
        }
        // MPEG-2: scalefac_compress is a mixed-radix number, its case set by its range.
        int left = static_cast<int>(ScalefacCompress);
        for (int modulus = 1; left >= 0; left -= modulus, partsAt += 4) {
            modulus = 1;
            for (int i = 3; i >= 0; --i) {
                const int radix = kScalefactorModuli[static_cast<std::size_t>(partsAt + i)];
                sizes[static_cast<std::size_t>(i)] = left / modulus % radix;
                modulus *= radix;
            }
        }
        return sizes;
    }
};

// Reads a granule's scale factors (0 past those coded), taking the parts
// scfsi marks from granule 0's.
std::array<std::uint8_t, 40> ReadScalefactors(Bits& bits, const Granule& g, const Format& format,
                                              const std::array<std::uint8_t, 40>& first) {
    int partsAt = 0;
    const std::array<int, 4> sizes = g.ScalefactorSizes(format, partsAt);
    const std::uint8_t* counts = kScalefactorParts[g.Shape()] + partsAt;
    std::array<std::uint8_t, 40> factors{};
    std::size_t at = 0;
    for (std::size_t part = 0; part < 4 && counts[part] != 0; ++part) {
        const bool shared = (g.Scfsi >> (3 - part) & 1) != 0;
        for (int k = 0; k < counts[part]; ++k, ++at)
            factors[at] = shared ? first[at] : static_cast<std::uint8_t>(bits.Read(sizes[part]));
    }
    return factors;
}

// The energy of one granule of one channel, or NaN when its bits do not add
// up; once its bands reach `enough`, what they hold so far.
double ChannelEnergy(Bits& bits, std::size_t end, const Granule& g, const Format& format,
                     const std::array<std::uint8_t, 40>& factors, double enough) {
    const std::uint8_t* bands = g.Bands(format);
    const int longBands = g.LongBands(format);
    const auto bandGain = [&](int band) {
        int steps = g.GlobalGain - 210;
        int factor = factors[static_cast<std::size_t>(band)];
        if (band >= longBands)
            steps -= 8 * g.SubblockGains[static_cast<std::size_t>((band - longBands) % 3)];
        else if (g.Preflag && g.BlockType != 2 && band >= 11 && band <= 20)
            factor += kPretab[static_cast<std::size_t>(band - 11)];
        return GainEnergy(steps - 2 * g.ScalefacShift * factor);
    };
    double energy = 0.0;
    int band = 0;
    int lines = 0;
    int pairsLeft = static_cast<int>(g.BigValues);
    // The big values, band by band.
    for (; pairsLeft > 0 && bands[band] != 0; ++band) {
        const std::size_t region = band < g.RegionCounts[0]                       ? 0
                                   : band < g.RegionCounts[0] + g.RegionCounts[1] ? 1
                                                                                  : 2;
        const std::uint32_t table = g.Tables[region];
        const std::int16_t* codes = kBigValues + kTableStart[table];
        const int linbits = kLinbits[table];
        const int pairs = std::min<int>(pairsLeft, bands[band] / 2);
        double sum = 0.0;
        const DirectTable& direct = kDirect[table];
        for (int p = 0; p < pairs; ++p) {
            int leaf = direct[bits.Peek(kDirectBits)];
            if (leaf < 0) {
                int width = 5;
                leaf = codes[bits.Peek(width)];
                while (leaf < 0) {
                    bits.Skip(width);
                    width = leaf & 7;
                    leaf = codes[static_cast<int>(bits.Peek(width)) - (leaf >> 3)];
                }
            }
            const std::size_t values = static_cast<std::size_t>(leaf & 255);
            if (linbits == 0 || ((leaf & 15) != 15 && (leaf & 240) != 240)) {
                bits.Skip((leaf >> 8) + kPairs.Signs[values]);
                sum += kPairs.Energy[values];
                continue;
            }
            bits.Skip(leaf >> 8);
            for (int value = 0; value < 2; ++value, leaf >>= 4) {
                std::uint32_t magnitude = static_cast<std::uint32_t>(leaf & 15);
                if (magnitude == 15)
                    magnitude += bits.Read(linbits);
                if (magnitude != 0) {
                    sum += kValueEnergy[magnitude];
                    bits.Skip(1); // the sign
                }
            }
        }
        energy += sum * bandGain(band);
        if (energy >= enough && bits.Position() <= end)
            return energy;
        pairsLeft -= pairs;
        lines += 2 * pairs;
        if (2 * pairs < bands[band])
            break; // the count1 values begin inside this band
    }
    if (bits.Position() > end)
        return std::numeric_limits<double>::quiet_NaN();
    // The count1 values, four at a time, until the granule's bits run out.
    const std::array<QuadCode, 64>& quads = g.Count1B ? kQuadsB : kQuadsA;
    int bandEnd = 0;
    for (int b = 0; b <= band && bands[b] != 0; ++b)
        bandEnd += bands[b];
    double sum = 0.0;
    while (lines < kLines && bands[band] != 0 && bits.Position() < end) {
        const QuadCode code = quads[bits.Peek(6)];
        if (bits.Position() + code.Length > end)
            break;
        bits.Skip(code.Length + code.Ones);
        if (lines + 4 <= bandEnd) {
            sum += code.Ones;
            lines += 4;
            continue;
        }
        for (int value = 0; value < 4; ++value, ++lines) {
            if (lines == bandEnd) {
                energy += sum * bandGain(band);
                sum = 0.0;
                bandEnd += bands[++band];
                if (bands[band] == 0)
                    break;
            }
            sum += (code.Values >> (3 - value)) & 1;
        }
    }
    if (bands[band] != 0)
        energy += sum * bandGain(band);
    return energy;
}

} // namespace

std::array<double, 2> GranuleEnergy::Frame(std::uint32_t header,
                                           std::span<const std::uint8_t> body) {
    constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();
    Format format;
    format.Mpeg1 = ((header >> 19) & 3) == 3;
    format.Channels = ((header >> 6) & 3) == 3 ? 1 : 2;
    const bool intensity = ((header >> 6) & 3) == 1 && ((header >> 4) & 1) != 0;
    const int rateBits = static_cast<int>((header >> 10) & 3);
    const int row = rateBits + 3 * (format.Mpeg1 ? 2 : ((header >> 20) & 1) != 0 ? 1 : 0);
    format.RateTable = row - (row != 0 ? 1 : 0);
    const std::size_t crc = ((header >> 16) & 1) == 0 ? 2 : 0;
    const std::size_t sideBytes =
        format.Mpeg1 ? (format.Channels == 1 ? 17 : 32) : (format.Channels == 1 ? 9 : 17);
    const int granules = format.Mpeg1 ? 2 : 1;
    if (((header >> 17) & 3) != 1 || rateBits == 3 || body.size() < crc + sideBytes) {
        reservoir_.clear();
        return {kUnknown, kUnknown};
    }
    FieldReader fields(body.subspan(crc, sideBytes));
    const std::size_t mainDataBegin = fields.Read(format.Mpeg1 ? 9 : 8);
    fields.Read(format.Mpeg1 ? (format.Channels == 1 ? 5 : 3) : format.Channels);
    std::array<std::uint32_t, 2> scfsi{};
    for (int ch = 0; format.Mpeg1 && ch < format.Channels; ++ch)
        scfsi[static_cast<std::size_t>(ch)] = fields.Read(4);
    std::array<std::array<Granule, 2>, 2> side{};
    for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < format.Channels; ++ch)
            side[static_cast<std::size_t>(gr)][static_cast<std::size_t>(ch)] =
                Granule::Read(fields, format);

    // The main data: the reservoir's last mainDataBegin bytes, then this frame's.
    const std::span<const std::uint8_t> own = body.subspan(crc + sideBytes);
    const bool reachable = mainDataBegin <= reservoir_.size();
    mainData_.assign(reservoir_.end() -
                         static_cast<std::ptrdiff_t>(std::min(mainDataBegin, reservoir_.size())),
                     reservoir_.end());
    mainData_.insert(mainData_.end(), own.begin(), own.end());
    const std::size_t totalBits = mainData_.size() * 8;
    mainData_.resize(mainData_.size() + kPadding, 0);
    reservoir_.insert(reservoir_.end(), own.begin(), own.end());
    if (reservoir_.size() > kReservoirBytes)
        reservoir_.erase(reservoir_.begin(),
                         reservoir_.end() - static_cast<std::ptrdiff_t>(kReservoirBytes));
    if (!reachable || intensity)
        return {kUnknown, kUnknown};

    std::array<double, 2> energy{};
    std::array<bool, 2> firstKnown{};
    Bits bits(mainData_.data());
    for (std::size_t gr = 0; gr < static_cast<std::size_t>(granules); ++gr) {
        for (std::size_t ch = 0; ch < static_cast<std::size_t>(format.Channels); ++ch) {
            Granule& g = side[gr][ch];
            const std::size_t end = bits.Position() + g.Part23Length;
            if (gr == 1 && g.BlockType != 2)
                g.Scfsi = scfsi[ch];
            if (!g.Valid || end > totalBits || (g.Scfsi != 0 && !firstKnown[ch])) {
                energy[gr] = kUnknown;
                bits.MoveTo(end);
                continue;
            }
            auto& first = firstScalefactors_[ch];
            const std::array<std::uint8_t, 40> factors = ReadScalefactors(bits, g, format, first);
            if (gr == 0)
                first = factors;
            firstKnown[ch] = gr == 0;
            energy[gr] += bits.Position() <= end
                              ? ChannelEnergy(bits, end, g, format, factors, enough_ - energy[gr])
                              : kUnknown;
            bits.MoveTo(end);
        }
    }
    return energy;
}
