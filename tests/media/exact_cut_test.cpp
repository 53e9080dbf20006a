#include "../frame_stream.h"
#include "core/audio_info.h"
#include "core/bridge_frame.h"
#include "core/frame_rule.h"
#include "core/information_frame.h"
#include "media/part_check.h"
#include "media/preview_feed.h"
#include "split/split_worker.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <mpg123.h>
#include <thread>

namespace {

using namespace frame_stream;

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

// The samples a gapless player plays: libmpg123 with its LAME tag handling.
std::vector<std::int16_t> DecodeGapless(const std::string& path) {
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    std::vector<std::int16_t> samples;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_open(handle, path.c_str()) == MPG123_OK &&
        mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK &&
        encoding == MPG123_ENC_SIGNED_16) {
        std::vector<unsigned char> block(1 << 16);
        std::size_t done = 0;
        int result = MPG123_OK;
        while (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
            result = mpg123_read(handle, block.data(), block.size(), &done);
            const auto* first = reinterpret_cast<const std::int16_t*>(block.data());
            samples.insert(samples.end(), first, first + done / 2);
        }
    }
    mpg123_delete(handle);
    return samples;
}

struct Source {
    std::string Path;
    std::vector<std::int16_t> Samples;
    std::int32_t Rate = 0;
    std::int32_t Channels = 0;
};

Source Open(const std::string& path) {
    TAudioInfo info;
    info.AnalyseFile(path);
    return {path, DecodeGapless(path), info.Header.SampleRateHz(),
            info.Header.ChannelMode() == 3 ? 1 : 2};
}

std::int64_t Sample(std::int32_t ms, std::int32_t rate) {
    return (std::int64_t{ms} * rate + 500) / 1000;
}

// Source samples [start, end), as far as the source reaches.
std::vector<std::int16_t> Span(const Source& source, std::int32_t startMs, std::int32_t endMs) {
    const auto at = [&source](std::int32_t ms) {
        return std::min(source.Samples.size(),
                        static_cast<std::size_t>(Sample(ms, source.Rate) * source.Channels));
    };
    return {source.Samples.begin() + static_cast<std::ptrdiff_t>(at(startMs)),
            source.Samples.begin() + static_cast<std::ptrdiff_t>(at(endMs))};
}

// The largest difference of two decodes of the same length; -1 when the lengths differ.
int LargestDifference(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b) {
    if (a.size() != b.size())
        return -1;
    int largest = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(a[i] - b[i]));
    return largest;
}

SplitOutcome SplitExact(const std::string& sourcePath,
                        const std::vector<std::pair<std::int32_t, std::int32_t>>& spans,
                        const std::vector<std::string>& outPaths) {
    TAudioInfo info;
    info.AnalyseFile(sourcePath);
    SplitJob job;
    job.SourcePath = sourcePath;
    job.Format = SourceFormat::Of(info);
    job.ExactCuts = true;
    const TagBlockBytes tag{'T', 'A', 'G'};
    for (std::size_t i = 0; i < spans.size(); ++i)
        job.Rows.push_back({true, true, outPaths[i], spans[i].first, spans[i].second, tag, true});
    return WriteAllParts(job, {});
}

// What a part's information frame says, checked against its frames.
struct PartTag {
    bool CountsHold = false; // frame and byte counts, both CRCs
    std::int32_t Delay = 0;
    std::int32_t Padding = 0;
    std::int64_t Frames = 0;
    std::string Encoder;
    bool Xing = false;       // else "Info"
    std::int32_t Method = 0; // the LAME tag's VBR method
    std::size_t Bytes = 0;   // from the information frame to the last audio frame
    std::int32_t LowestBitrate = 15, HighestBitrate = 0; // bit rate indices of the audio frames
};

PartTag ReadTag(const Bytes& part, std::int32_t versionId) {
    const std::size_t marker =
        part[3] >> 6 == 3 ? (versionId == 1 ? 21 : 13) : (versionId == 1 ? 36 : 21);
    const std::size_t infoLength =
        static_cast<std::size_t>(InformationFrameLength(part.data(), versionId));
    const std::size_t audioEnd = part.size() - 128; // the ID3v1 tag
    PartTag tag;
    for (std::size_t p = infoLength; p < audioEnd; ++tag.Frames) {
        tag.LowestBitrate = std::min(tag.LowestBitrate, part[p + 2] >> 4);
        tag.HighestBitrate = std::max(tag.HighestBitrate, part[p + 2] >> 4);
        p += static_cast<std::size_t>(EvaluateFrame(&part[p], versionId).Length);
    }
    const std::size_t lame = marker + 120;
    tag.Xing = std::equal(part.begin() + static_cast<std::ptrdiff_t>(marker),
                          part.begin() + static_cast<std::ptrdiff_t>(marker + 4), "Xing");
    tag.Method = part[lame + 9] & 0x0F;
    tag.Bytes = audioEnd;
    const auto word = [&part](std::size_t at, int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value = value << 8 | part[at + static_cast<std::size_t>(i)];
        return value;
    };
    tag.Delay = static_cast<std::int32_t>(word(lame + 21, 3) >> 12);
    tag.Padding = static_cast<std::int32_t>(word(lame + 21, 3) & 0xFFF);
    tag.Encoder.assign(part.begin() + static_cast<std::ptrdiff_t>(lame),
                       part.begin() + static_cast<std::ptrdiff_t>(lame + 9));
    tag.CountsHold = word(marker + 8, 4) == tag.Frames && word(marker + 12, 4) == audioEnd &&
                     word(lame + 28, 4) == audioEnd &&
                     word(lame + 32, 2) == Crc16(0, &part[infoLength], audioEnd - infoLength) &&
                     word(lame + 34, 2) == Crc16(0, part.data(), lame + 34);
    return tag;
}

// An exact part decodes to the source's samples between its two times, to the
// sample; its LAME tag counts its frames and keeps within the limits players
// honour. A CBR source's part keeps the stream's bit rate where it can, and
// says "Xing" and VBR where it cannot; a tiny part is filled up for ffmpeg.
TEST(ExactCut, PartsDecodeToTheSourceSamples) {
    struct Case {
        const char* File;
        std::int32_t StartMs;
        std::int32_t EndMs;
        const char* Encoder; // of the part's LAME tag
        bool Tiny = false;   // under 1984 bytes before it is filled
    };
    const Case cases[] = {
        {"cbr128_44k_info_frame.mp3", 1234, 5678, "LAME3.100"}, // MPEG 1 stereo CBR
        {"vbr_v2_44k.mp3", 2500, 4010, "LAME3.100"},            // VBR
        {"vbr_v2_44k.mp3", 20, 900, "LAME3.100"},               // starts in the first frame
        {"vbr_v4_44k_mono.mp3", 1234, 2345, "LAME3.100"},       // mono
        {"vbr_v4_44k_mono.mp3", 1530, 2345, "LAME3.100"},       // mono, odd frames before
        {"cbr32_32k_reservoir.mp3", 1000, 2500, kOwnEncoder},   // reservoir over 5 frames
        {"cbr32_32k_reservoir.mp3", 1500, 99999, kOwnEncoder},  // to the end of the file
        {"vbr_mpeg2_22k_mono.mp3", 1000, 2500, "LAME3.100"},    // MPEG 2 VBR
        {"vbr_mpeg2_22k_mono.mp3", 1017, 2500, "LAME3.100"},    // 4n frames before
        {"cbr16_mpeg25_8k_mono.mp3", 710, 3000, kOwnEncoder},   // MPEG 2.5, 4n+1 before
        {"cbr128_44k_joint.mp3", 1001, 3003, kOwnEncoder},      // no LAME tag
        {"cbr128_44k_joint.mp3", 5, 300, kOwnEncoder},          // within the decoder's delay
        {"vbr_v2_44k.mp3", 5000, 8005, "LAME3.100"}, // ends inside the last frame's padding
        // Mono MPEG 1 starts whose first frame is rebuilt or bridged.
        {"vbr_v4_44k_mono.mp3", 73, 1073, "LAME3.100"},
        {"vbr_v4_44k_mono.mp3", 119, 1119, "LAME3.100"},
        {"vbr_v4_44k_mono.mp3", 280, 1280, "LAME3.100"},
        {"vbr_v4_44k_mono.mp3", 303, 1303, "LAME3.100"},
        {"vbr_v4_44k_mono.mp3", 694, 1694, "LAME3.100"},
        {"cbr16_mpeg25_8k_mono.mp3", 1000, 1400, kOwnEncoder, true}, // 0.4 s at 16 kbit/s
        {"vbr_mpeg2_22k_mono.mp3", 3000, 3030, "LAME3.100", true},   // 30 ms, MPEG 2 VBR
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + std::to_string(c.StartMs));
        const Source source = Open(DataPath(c.File));
        const std::string part = (dir.Path() / "part.mp3").string();
        ASSERT_TRUE(SplitExact(source.Path, {{c.StartMs, c.EndMs}}, {part}).Success);
        const std::vector<std::int16_t> wanted = Span(source, c.StartMs, c.EndMs);
        EXPECT_EQ(LargestDifference(DecodeGapless(part), wanted), 0);

        TAudioInfo info;
        info.AnalyseFile(source.Path);
        const PartTag tag = ReadTag(ReadFile(part), info.Header.VersionId);
        EXPECT_TRUE(tag.CountsHold);
        EXPECT_EQ(tag.Encoder, c.Encoder);
        EXPECT_LE(tag.Delay, 2880);
        // ffmpeg trims only a part at least 16 times the ID3v1 tag's 128 less 4 bytes long.
        EXPECT_GE(tag.Bytes, 1984u);
        EXPECT_LE(tag.Padding, c.Tiny ? 4095 : 2304);
        if (!info.IsVbr) {
            const std::int32_t stream = info.Header.RawHeader[2] >> 4;
            EXPECT_EQ(tag.LowestBitrate, stream);
            EXPECT_EQ(tag.Xing, tag.HighestBitrate != stream);
            EXPECT_EQ(tag.Method, tag.Xing ? 4 : (c.Encoder == std::string(kOwnEncoder) ? 0 : 1));
        }
        const std::int64_t frameSamples = info.Header.VersionId == 1 ? 1152 : 576;
        EXPECT_EQ(tag.Frames * frameSamples - tag.Delay - tag.Padding,
                  static_cast<std::int64_t>(wanted.size()) / source.Channels);
    }
}

// Parts that meet at one time meet at one sample, and a part of an exact
// part is exact too.
TEST(ExactCut, PartsInARowGiveTheSourceBack) {
    TempDir dir;
    const Source source = Open(DataPath("cbr32_32k_reservoir.mp3"));
    const auto out = [&dir](const char* name) { return (dir.Path() / name).string(); };
    ASSERT_TRUE(SplitExact(source.Path, {{0, 777}, {777, 1500}, {1500, 99999}},
                           {out("1.mp3"), out("2.mp3"), out("3.mp3")})
                    .Success);
    std::vector<std::int16_t> joined;
    for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) {
        const std::vector<std::int16_t> part = DecodeGapless(out(name));
        joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(LargestDifference(joined, source.Samples), 0);

    ASSERT_TRUE(SplitExact(out("2.mp3"), {{100, 500}}, {out("inner.mp3")}).Success);
    EXPECT_EQ(LargestDifference(DecodeGapless(out("inner.mp3")), Span(source, 877, 1277)), 0);
}

// Without the reservoir bytes the bridge frame carries, the part's first
// frames decode wrong: the comparison above would see it.
TEST(ExactCut, WithoutTheBridgeThePartIsWrong) {
    TempDir dir;
    const Source source = Open(DataPath("cbr32_32k_reservoir.mp3"));
    const std::string part = (dir.Path() / "part.mp3").string();
    ASSERT_TRUE(SplitExact(source.Path, {{1000, 2500}}, {part}).Success);
    Bytes bytes = ReadFile(part);
    const auto infoLength = static_cast<std::size_t>(InformationFrameLength(bytes.data(), 1));
    const auto bridgeLength = static_cast<std::size_t>(EvaluateFrame(&bytes[infoLength], 1).Length);
    ASSERT_GT(Layer3MainDataBegin(&bytes[infoLength + bridgeLength], 6, 1), 0);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(infoLength + 36),
              bytes.begin() + static_cast<std::ptrdiff_t>(infoLength + bridgeLength), 0);
    const std::string bridgeless = dir.Write("bridgeless.mp3", bytes);
    EXPECT_GT(LargestDifference(DecodeGapless(bridgeless), Span(source, 1000, 2500)), 100);
}

// verify's reference decode of the source counts the granules mpg123's
// synthesis has put through as the part's decode does, so it calls a part
// exact exactly when libmpg123 decodes it to the source's samples: sweeps of
// starts over the first frames (parts whose first frame is 10 to 24 were
// called one step off), of a mono VBR, a tone and a mono MPEG 2.5 file.
TEST(ExactCut, VerifyCallsAPartExactWhenItDecodesToTheSourceSamples) {
    struct Case {
        const char* File;
        int Undecodable; // parts that mpg123 rounds a step off (mono MPEG 2.5)
    };
    for (const Case& c : {Case{"vbr_v4_44k_mono.mp3", 0}, Case{"tone_440hz_6s.mp3", 0},
                          Case{"cbr16_mpeg25_8k_mono.mp3", 2}}) {
        SCOPED_TRACE(c.File);
        const Source source = Open(DataPath(c.File));
        TempDir dir;
        std::vector<std::pair<std::int32_t, std::int32_t>> spans;
        std::vector<std::string> parts;
        for (std::int32_t start = 0; start < 2000; start += 23) {
            spans.push_back({start, start + 100});
            parts.push_back((dir.Path() / (std::to_string(start) + ".mp3")).string());
        }
        ASSERT_TRUE(SplitExact(source.Path, spans, parts).Success);
        const Result<SourceFrameIndex> index = SourceFrameIndex::Build(source.Path);
        ASSERT_TRUE(index.Ok());
        int undecodable = 0;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const bool decodes =
                DecodeGapless(parts[i]) == Span(source, spans[i].first, spans[i].second);
            undecodable += decodes ? 0 : 1;
            const Result<PartCheck> check = index.Value().Check(parts[i]);
            ASSERT_TRUE(check.Ok());
            EXPECT_EQ(check.Value().Match, decodes ? PartMatch::Exact : PartMatch::FramesOnly)
                << spans[i].first << " ms, frames from " << check.Value().FirstFrame;
        }
        EXPECT_EQ(undecodable, c.Undecodable);
    }
}

// Layer II players ignore the LAME tag: such a source is refused, with the reason.
TEST(ExactCut, RefusesLayerTwo) {
    TempDir dir;
    const SplitOutcome outcome = SplitExact(DataPath("layer2_192k.mp3"), {{1000, 2000}},
                                            {(dir.Path() / "part.mp3").string()});
    ASSERT_EQ(outcome.Errors.size(), 1u);
    EXPECT_NE(outcome.Errors[0].find("exact cuts need Layer III"), std::string::npos);
}

// What the preview hands out for one run, up to 10 s of waiting.
std::vector<std::int16_t> Played(PreviewFeed& feed, std::int32_t start,
                                 std::optional<std::int32_t> end) {
    feed.Start(start, end);
    std::vector<std::int16_t> played;
    std::vector<std::int16_t> chunk(2000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!feed.Drained() && std::chrono::steady_clock::now() < deadline) {
        const auto got = feed.Take(reinterpret_cast<char*>(chunk.data()), 4000) / 2;
        played.insert(played.end(), chunk.begin(), chunk.begin() + got);
        if (got == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return played;
}

// The audio ends where mpg123 ends it: the LAME tag's padding dropped from a
// whole source, every sample of the whole frames of one that lost its end (a
// cut last frame, a frame count larger than the file holds). Exact parts and
// the preview end there, and a part that would start after it is refused.
TEST(ExactCut, PartsAndThePreviewEndWithTheAudio) {
    TempDir dir;
    const Bytes whole = ReadFile(DataPath("vbr_v2_44k.mp3"));
    const Bytes cut(whole.begin(), whole.end() - 50); // the last frame holds 104 bytes
    Bytes counted = whole;
    counted[36 + 11] += 10; // 308 frames said 318
    const std::string paths[] = {DataPath("vbr_v2_44k.mp3"), dir.Write("cut.mp3", cut),
                                 dir.Write("counted.mp3", counted)};
    struct Case {
        int Source; // whole, cut, counted
        std::int32_t StartMs;
        std::optional<std::int32_t> EndMs; // none: to the end
        bool Refused;
    };
    // The sources hold 8000, 7994.5 and 8020.7 ms.
    const Case cases[] = {
        {0, 5000, std::nullopt, false}, {0, 7995, 8013, false},         {0, 8000, 8013, true},
        {0, 8010, 8040, true},          {1, 5000, std::nullopt, false}, {1, 7900, 8013, false},
        {1, 7995, 8013, true},          {2, 5000, std::nullopt, false}, {2, 7990, 8040, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(paths[c.Source] + " " + std::to_string(c.StartMs));
        const Source source = Open(paths[c.Source]);
        const std::int32_t endMs = c.EndMs.value_or(99999);
        const std::string part = (dir.Path() / "part.mp3").string();
        const SplitOutcome outcome = SplitExact(source.Path, {{c.StartMs, endMs}}, {part});
        EXPECT_EQ(outcome.Success, !c.Refused);
        if (c.Refused) {
            ASSERT_EQ(outcome.Errors.size(), 1u);
            EXPECT_NE(outcome.Errors[0].find("the section starts after the end of the source"),
                      std::string::npos);
            continue;
        }
        const std::vector<std::int16_t> wanted = Span(source, c.StartMs, endMs);
        EXPECT_EQ(LargestDifference(DecodeGapless(part), wanted), 0);
        TAudioInfo info;
        info.AnalyseFile(source.Path);
        PreviewFeed feed(std::make_shared<SourceWalk>(ScanSource::From(source.Path, info)),
                         44100 * 4, {});
        feed.SetExactCuts(true);
        EXPECT_EQ(LargestDifference(Played(feed, c.StartMs, c.EndMs), wanted), 0);
    }
}

// With exact cuts on, the preview hands out the samples an exact part holds.
TEST(ExactCut, ThePreviewPlaysThePartsSamples) {
    for (const char* name : {"vbr_v2_44k.mp3", "cbr128_44k_joint.mp3", "tone_440hz_6s.mp3",
                             "vbr_mpeg2_22k_mono.mp3", "cbr16_mpeg25_8k_mono.mp3"}) {
        SCOPED_TRACE(name);
        const Source source = Open(DataPath(name));
        TAudioInfo info;
        info.AnalyseFile(source.Path);
        PreviewFeed feed(std::make_shared<SourceWalk>(ScanSource::From(source.Path, info)),
                         44100 * 4, {});
        feed.SetExactCuts(true);
        for (const auto& [start, end] : {std::pair{0, 700}, std::pair{1234, 3456},
                                         std::pair{40, 700}, std::pair{1742, 2342}}) {
            EXPECT_EQ(LargestDifference(Played(feed, start, end), Span(source, start, end)), 0)
                << start;
            EXPECT_EQ(feed.FirstFrameMs(), start);
        }
    }
}

} // namespace
