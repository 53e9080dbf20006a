#include "core/frame_rule.h"
#include "core/information_frame.h"
#include "core/layer3_gain_shift.h"
#include "frame_stream.h"
#include "media/part_check.h"
#include "media/part_levels.h"
#include "session/split_session.h"
#include "session/volume_plan.h"
#include "whole_decode.h"

#include <cmath>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <vector>

namespace {

using frame_stream::Bytes;

std::string Fixture(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

// As the frame rule reads the header: 1 MPEG 1, 3 MPEG 2.5, else MPEG 2.
std::int32_t VersionOf(const Bytes& file, std::size_t at) {
    const int bits = file[at + 1] >> 3 & 3;
    return bits == 3 ? 1 : bits == 0 ? 3 : 2;
}

// The frames of an MP3 file without tags, from its first byte (or offset).
std::vector<std::span<const std::uint8_t>> FramesOf(const Bytes& file, std::size_t offset = 0) {
    std::vector<std::span<const std::uint8_t>> frames;
    const std::int32_t versionId = VersionOf(file, offset);
    for (std::size_t p = offset; p + 4 <= file.size();) {
        const FrameCandidate frame = EvaluateFrame(file.data() + p, versionId);
        if (!frame.Accepted || p + static_cast<std::size_t>(frame.Length) > file.size())
            break;
        frames.emplace_back(file.data() + p, static_cast<std::size_t>(frame.Length));
        p += static_cast<std::size_t>(frame.Length);
    }
    return frames;
}

std::size_t FirstSync(const Bytes& file) {
    for (std::size_t p = 0; p + 1 < file.size(); ++p)
        if (file[p] == 0xFF && (file[p + 1] & 0xE0) == 0xE0)
            return p;
    return 0;
}

// Every layout of side information: MPEG 1 stereo and mono, MPEG 2 and 2.5
// mono, with and without CRC. The CRC of the source's frames is LAME's.
TEST(GainShift, ChangesOnlyTheGainsAndKeepsTheCrcRight) {
    const struct {
        const char* File;
        std::array<std::int32_t, 2> Steps;
    } cases[] = {
        {"levels_crc_44k.mp3", {3, -5}},       // MPEG 1 joint stereo, CRC
        {"crc_mpeg2_22k_mono.mp3", {-7, 0}},   // MPEG 2 mono, CRC
        {"vbr_v4_44k_mono.mp3", {20, 20}},     // MPEG 1 mono
        {"vbr_mpeg2_22k_mono.mp3", {4, 0}},    // MPEG 2 mono
        {"cbr16_mpeg25_8k_mono.mp3", {-2, 0}}, // MPEG 2.5 mono
        {"cbr320_48k.mp3", {300, -300}},       // held at 255 and 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        const Bytes source = frame_stream::ReadFile(Fixture(c.File));
        const std::size_t first = FirstSync(source);
        const std::int32_t versionId = VersionOf(source, first);
        const auto frames = FramesOf(source, first);
        ASSERT_GT(frames.size(), 20u);
        int protectedFrames = 0;
        int shiftedGranules = 0;
        for (const auto frame : frames) {
            const bool crc = (frame[1] & 1) == 0;
            if (crc) {
                ++protectedFrames;
                EXPECT_EQ(Layer3FrameCrc(frame, versionId), frame[4] << 8 | frame[5]);
            }
            Bytes shifted(frame.begin(), frame.end());
            ASSERT_TRUE(ShiftLayer3Gain(shifted, versionId, c.Steps));
            if (crc) {
                EXPECT_EQ(Layer3FrameCrc(shifted, versionId), shifted[4] << 8 | shifted[5]);
            }
            const std::optional<Layer3GainShift> found =
                Layer3GainShiftOf(shifted, frame, versionId);
            ASSERT_TRUE(found);
            for (int g = 0; g < Layer3Granules(versionId); ++g) {
                if (!found->Coded[g] || std::abs(c.Steps[g]) > 255)
                    continue;
                EXPECT_EQ(found->Steps[g], c.Steps[g]);
                ++shiftedGranules;
            }
        }
        if (std::abs(c.Steps[0]) <= 255) {
            EXPECT_GT(shiftedGranules, 0);
        }
        EXPECT_EQ(protectedFrames > 0, std::string(c.File).starts_with("crc") ||
                                           std::string(c.File).starts_with("levels"));
    }
}

TEST(GainShift, FindsNoShiftWhereOtherBitsDiffer) {
    const Bytes source = frame_stream::ReadFile(Fixture("levels_crc_44k.mp3"));
    const auto frames = FramesOf(source);
    const auto frame = frames[10];
    Bytes shifted(frame.begin(), frame.end());
    ASSERT_TRUE(ShiftLayer3Gain(shifted, 1, {2, 2}));
    // big_values of the first granule (the bits before its gain), and a byte of main data.
    for (const std::size_t at : {std::size_t{9}, shifted.size() - 1}) {
        Bytes changed = shifted;
        changed[at] ^= 0x01;
        EXPECT_FALSE(Layer3GainShiftOf(changed, frame, 1)) << at;
    }
    EXPECT_FALSE(Layer3GainShiftOf(std::span(shifted).first(30), frame, 1));
}

TEST(NormalizeSteps, NearestStepHeldUnderFullScaleAndWithinRange) {
    const struct {
        double Lufs, PeakDbfs, Target;
        std::int32_t Steps;
    } cases[] = {
        {-20.0, -10.0, -16.0, 3},  // 4 dB up: 2.66 steps, nearest 3
        {-16.0, -1.0, -16.0, 0},   // there already
        {-10.0, -0.1, -23.0, -9},  // down by 13 dB
        {-30.0, -4.0, -16.0, 2},   // 14 dB wanted, the peak allows 2 steps
        {-70.0, -80.0, -16.0, 20}, // near silence: the largest gain
        {-5.0, 0.0, -70.0, -20},   // the smallest
        {-16.5, 0.0, -16.0, 0},    // no step up from full scale
    };
    for (const auto& c : cases) {
        PartLevel level;
        level.IntegratedLufs = c.Lufs;
        level.PeakDbfs = c.PeakDbfs;
        EXPECT_EQ(NormalizeSteps(level, c.Target), c.Steps) << c.Lufs << " " << c.PeakDbfs;
        EXPECT_LE(PeakWith(level, NormalizeSteps(level, c.Target)), std::max(0.0, c.PeakDbfs));
    }
}

// Splits source from startMs to endMs with options; the part's bytes, or the error line.
struct Split {
    Bytes Part;
    std::string Error;
    std::vector<std::string> Lines;
};

Split SplitWith(const std::string& file, std::int32_t startMs, std::int32_t endMs,
                const SaveOptions& options) {
    static frame_stream::TempDir scratch;
    static int run = 0;
    SplitSession session;
    if (!session.Open(Fixture(file)))
        return {{}, "cannot open", {}};
    session.AddSection(startMs, endMs);
    session.Options() = options;
    const std::string folder = (scratch.Path() / std::to_string(run++)).string();
    std::filesystem::create_directories(folder);
    const PartPlan plan = session.Plan({"$N", folder, ""});
    SplitSession::PreparedJob prepared = session.Job(plan);
    Result<std::vector<std::string>> lines = session.SettleVolume(prepared.Job);
    if (!lines)
        return {{}, lines.Failure().Text, {}};
    const SplitOutcome outcome = SplitSession::Run(prepared.Job, {});
    if (!outcome.Success)
        return {{}, outcome.Errors.empty() ? "failed" : outcome.Errors.front(), lines.Value()};
    return {frame_stream::ReadFile(plan.front().Path), {}, lines.Value()};
}

std::vector<std::int16_t> Decode(const Bytes& part) {
    frame_stream::TempDir scratch;
    const std::string path = scratch.Write("part.mp3", part);
    std::vector<std::int16_t> samples;
    const std::string error = DecodeFile(path, 0, [&](const DecodedFrame& frame) {
        samples.insert(samples.end(), frame.Samples.begin(), frame.Samples.end());
        return true;
    });
    EXPECT_EQ(error, "");
    return samples;
}

SaveOptions WithVolume(bool exact, PartVolume volume) {
    SaveOptions options;
    options.ExactCuts = exact;
    options.Volume = volume;
    return options;
}

// n steps scale the decoded samples by 2^(n/4): the louder decode, scaled
// down, is the quieter one to within a step of rounding.
TEST(PartVolume, GainScalesTheDecodedSamples) {
    const char* files[] = {"levels_crc_44k.mp3", "crc_mpeg2_22k_mono.mp3",
                           "cbr32_32k_reservoir.mp3", "vbr_v4_44k_mono.mp3",
                           "cbr16_mpeg25_8k_mono.mp3"};
    for (const char* file : files) {
        for (const bool exact : {false, true}) {
            for (const std::int32_t steps : {-4, -1, 2, 3}) {
                SCOPED_TRACE(std::string(file) + (exact ? " exact " : " ") + std::to_string(steps));
                const Split plain = SplitWith(file, 500, 2500, WithVolume(exact, {}));
                const Split gained = SplitWith(file, 500, 2500, WithVolume(exact, {steps, 0, 0}));
                ASSERT_EQ(plain.Error, "");
                ASSERT_EQ(gained.Error, "");
                ASSERT_EQ(plain.Part.size(), gained.Part.size());
                const std::vector<std::int16_t> a = Decode(plain.Part);
                const std::vector<std::int16_t> b = Decode(gained.Part);
                ASSERT_EQ(a.size(), b.size());
                const double scale = std::pow(2.0, steps / 4.0);
                int compared = 0;
                for (std::size_t i = 0; i < a.size(); ++i) {
                    if (std::abs(a[i]) >= 32767 || std::abs(b[i]) >= 32767)
                        continue;
                    const double difference = scale > 1 ? b[i] / scale - a[i] : b[i] - a[i] * scale;
                    ASSERT_LE(std::abs(difference), 1.0) << "sample " << i;
                    compared += a[i] != 0 ? 1 : 0;
                }
                EXPECT_GT(compared, 1000);
            }
        }
    }
}

// Each frame's change of gain against the plain part's, granule by granule,
// with the granule's time in the part.
std::vector<std::pair<double, std::int32_t>> GranuleSteps(const Bytes& plain, const Bytes& shaped,
                                                          double granuleMs) {
    const auto a = FramesOf(plain);
    const auto b = FramesOf(shaped);
    EXPECT_EQ(a.size(), b.size());
    const std::int32_t versionId = VersionOf(plain, 0);
    std::vector<std::pair<double, std::int32_t>> steps;
    double ms = 0.0;
    // Past the information frame, whose level fields the shaped part clears.
    const std::string first(a[0].begin(), a[0].begin() + 64);
    const std::size_t from =
        first.find("Info") != std::string::npos || first.find("Xing") != std::string::npos;
    for (std::size_t i = from; i < std::min(a.size(), b.size()); ++i) {
        const std::optional<Layer3GainShift> shift = Layer3GainShiftOf(b[i], a[i], versionId);
        EXPECT_TRUE(shift) << "frame " << i;
        if (!shift)
            continue;
        for (int g = 0; g < Layer3Granules(versionId); ++g, ms += granuleMs)
            if (shift->Coded[g])
                steps.emplace_back(ms, shift->Steps[g]);
    }
    return steps;
}

// A fade's granules ramp up from near silence to the gain over the fade in,
// and down again over the fade out; half of a fade's time is about half its amplitude.
TEST(PartVolume, FadesRampGranuleByGranule) {
    const struct {
        const char* File;
        double GranuleMs;
        PartVolume Volume;
    } cases[] = {
        {"levels_crc_44k.mp3", 576 / 44.1, {0, 2000, 1000}},
        {"levels_crc_44k.mp3", 576 / 44.1, {-2, 1000, 0}},
        {"crc_mpeg2_22k_mono.mp3", 576 / 22.05, {2, 0, 1500}},
        {"vbr_v4_44k_mono.mp3", 576 / 44.1, {0, 800, 800}},
    };
    constexpr double kPartMs = 3000;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + std::to_string(c.Volume.FadeInMs));
        const Split plain = SplitWith(c.File, 0, 3000, WithVolume(false, {}));
        const Split faded = SplitWith(c.File, 0, 3000, WithVolume(false, c.Volume));
        ASSERT_EQ(faded.Error, "");
        const auto steps = GranuleSteps(plain.Part, faded.Part, c.GranuleMs);
        ASSERT_GT(steps.size(), 100u);
        const std::int32_t gain = c.Volume.GainSteps;
        if (c.Volume.FadeInMs > 0) {
            EXPECT_LE(steps.front().second, gain - 20);
        }
        if (c.Volume.FadeOutMs > 0) {
            EXPECT_LE(steps.back().second, gain - 12);
        }
        for (std::size_t i = 1; i < steps.size(); ++i) {
            const auto [ms, step] = steps[i];
            const double middle = ms + c.GranuleMs / 2;
            const double rising = c.Volume.FadeInMs > 0 ? middle / c.Volume.FadeInMs : 2.0;
            const double falling =
                c.Volume.FadeOutMs > 0 ? (kPartMs - middle) / c.Volume.FadeOutMs : 2.0;
            if (rising >= 1.0 && falling >= 1.0) {
                EXPECT_EQ(step, gain) << ms;
            } else if (rising < 1.0) {
                EXPECT_GE(step, steps[i - 1].second) << ms;
            } else {
                EXPECT_LE(step, steps[i - 1].second) << ms;
            }
            if (std::abs(rising - 0.5) < 0.02 || std::abs(falling - 0.5) < 0.02) {
                EXPECT_NEAR(step, gain - 4, 1) << ms; // 2^(-4/4): half the amplitude
            }
        }
    }
}

// Parts of one source at levels 26 dB apart come out at the target's loudness.
TEST(PartVolume, NormalizeBringsPartsToTheTarget) {
    for (const double target : {-16.0, -23.0}) {
        for (const std::int32_t start : {0, 3000, 6000}) {
            SCOPED_TRACE(std::to_string(target) + " " + std::to_string(start));
            SaveOptions options;
            options.NormalizeLufs = target;
            const Split part = SplitWith("levels_crc_44k.mp3", start + 200, start + 2800, options);
            ASSERT_EQ(part.Error, "");
            EXPECT_TRUE(part.Lines.empty());
            frame_stream::TempDir scratch;
            ScanSource source;
            source.Path = scratch.Write("part.mp3", part.Part);
            source.Format.HasInfoFrame = true;
            source.Format.FirstFrameBytes =
                static_cast<std::int32_t>(FramesOf(part.Part)[0].size());
            const Result<std::vector<PartLevel>> level = MeasureLevels(source, {{0, 10000}});
            ASSERT_TRUE(level);
            // Whole steps leave up to half of one; the part's own frames
            // measure a few hundredths of a decibel from the source's span.
            EXPECT_NEAR(level.Value()[0].IntegratedLufs, target, kExactGainStepDb / 2 + 0.05);
            EXPECT_LE(level.Value()[0].PeakDbfs, 0.0);
        }
    }
}

TEST(PartVolume, RefusedForLayer2AndWarnedWhereItClips) {
    const Split layer2 = SplitWith("layer2_192k.mp3", 0, 2000, WithVolume(false, {2, 0, 0}));
    EXPECT_NE(layer2.Error.find("volume changes need Layer III"), std::string::npos)
        << layer2.Error;
    const Split loud = SplitWith("levels_crc_44k.mp3", 6000, 8000, WithVolume(false, {8, 0, 0}));
    ASSERT_EQ(loud.Error, "");
    ASSERT_EQ(loud.Lines.size(), 1u);
    EXPECT_NE(loud.Lines[0].find("a gain of +12.0 dB clips: its peak would reach +"),
              std::string::npos)
        << loud.Lines[0];
}

} // namespace

namespace {

// verify knows a part whose frames differ from the source's only in their
// gains, and tells its gain and fades; a plain part stays a copy.
TEST(PartVolume, VerifyTellsTheGainAndFades) {
    const struct {
        const char* File;
        bool Exact;
        PartVolume Volume;
        PartMatch Match;
    } cases[] = {
        {"levels_crc_44k.mp3", false, {2, 0, 0}, PartMatch::Gained},
        {"levels_crc_44k.mp3", false, {0, 1200, 1000}, PartMatch::Gained},
        {"crc_mpeg2_22k_mono.mp3", false, {-3, 0, 1500}, PartMatch::Gained},
        {"cbr32_32k_reservoir.mp3", true, {-3, 1000, 0}, PartMatch::Gained},
        {"vbr_v4_44k_mono.mp3", false, {0, 0, 0}, PartMatch::FramesOnly},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + std::to_string(c.Volume.GainSteps));
        const Split part = SplitWith(c.File, 300, 2900, WithVolume(c.Exact, c.Volume));
        ASSERT_EQ(part.Error, "");
        frame_stream::TempDir scratch;
        const std::string path = scratch.Write("part.mp3", part.Part);
        const Result<SourceFrameIndex> index = SourceFrameIndex::Build(Fixture(c.File));
        ASSERT_TRUE(index);
        const Result<PartCheck> check = index.Value().Check(path);
        ASSERT_TRUE(check);
        EXPECT_EQ(check.Value().Match, c.Match);
        EXPECT_EQ(check.Value().Gain.Steps, c.Volume.GainSteps);
        // Fades read from their granules, to a tenth.
        EXPECT_NEAR(check.Value().Gain.FadeInMs, c.Volume.FadeInMs, c.Volume.FadeInMs / 10 + 60);
        EXPECT_NEAR(check.Value().Gain.FadeOutMs, c.Volume.FadeOutMs, c.Volume.FadeOutMs / 10);
    }
}

} // namespace

namespace {

// A part with its level changed does not carry the source's peak and
// ReplayGain; the tag's CRC stays right. A plain part keeps them.
TEST(PartVolume, LevelFieldsOfTheLameTagAreClearedOnlyWhenTheLevelChanges) {
    for (const bool rebuild : {false, true}) {
        for (const PartVolume volume : {PartVolume{}, PartVolume{2, 0, 0}, PartVolume{0, 500, 0}}) {
            SaveOptions options = WithVolume(false, volume);
            options.RebuildInfoFrame = rebuild;
            const Split part = SplitWith("levels_crc_44k.mp3", 500, 2500, options);
            ASSERT_EQ(part.Error, "");
            const auto frames = FramesOf(part.Part);
            const std::string first(frames[0].begin(), frames[0].end());
            const std::size_t at = first.find("LAME");
            ASSERT_NE(at, std::string::npos);
            const Bytes levels(frames[0].begin() + static_cast<std::ptrdiff_t>(at + 11),
                               frames[0].begin() + static_cast<std::ptrdiff_t>(at + 19));
            EXPECT_EQ(levels == Bytes(8, 0), volume.Changes()) << rebuild;
            if (rebuild || volume.Changes()) { // else the frame count is patched alone
                EXPECT_EQ(Crc16(0, frames[0].data(), at + 34),
                          frames[0][at + 34] << 8 | frames[0][at + 35]);
            }
        }
    }
}

} // namespace
