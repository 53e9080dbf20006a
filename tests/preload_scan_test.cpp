#include "core/audio_info.h"
#include "core/byte_source.h"
#include "core/frame_checkpoints.h"
#include "core/frame_rule.h"
#include "core/preload_scan.h"
#include "frame_stream.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <random>

namespace {

using namespace frame_stream;

ScanSource SourceFor(const std::string& path, std::int32_t versionId = 1,
                     std::int32_t frameBytes = 417, std::int64_t firstFrameOffset = 0) {
    ScanSource source;
    source.Path = path;
    source.Format.FirstFrameOffset = firstFrameOffset;
    source.Format.VersionId = versionId;
    source.Format.FirstFrameBytes = frameBytes;
    return source;
}

Result<ScanResult> ScanResultOf(const Bytes& bytes, ScanSource source = SourceFor("")) {
    TempDir dir;
    source.Path = dir.Write("source.mp3", bytes);
    return PreloadScan(source);
}

ScanResult Scan(const Bytes& bytes, ScanSource source = SourceFor("")) {
    return ScanResultOf(bytes, std::move(source)).Value();
}

TEST(PreloadScan, CountsEveryFrameOfAConstantBitrateFile) {
    const ScanResult r = Scan(Frames(kMpeg1Cbr128, 417, 1000));
    EXPECT_EQ(r.FrameCount, 1000);
    EXPECT_EQ(r.ErrorCount, 0);
    EXPECT_DOUBLE_EQ(r.DurationMsExact, 26062.5);
    // Padded frames: 418 bytes, 26.125 ms each.
    EXPECT_DOUBLE_EQ(Scan(Frames(kMpeg1Cbr128Padded, 418, 8)).DurationMsExact, 209.0);
    // MPEG 2, 64 kbit/s, 22050 Hz: 208 bytes, 26 ms each.
    const ScanResult mpeg2 = Scan(Frames(kMpeg2Cbr64, 208, 100), SourceFor("", 2, 208));
    EXPECT_EQ(mpeg2.FrameCount, 100);
    EXPECT_DOUBLE_EQ(mpeg2.DurationMsExact, 2600.0);
}

TEST(PreloadScan, InformationFrameIsWalkedButNotCounted) {
    Bytes bytes;
    AppendInformationFrame(bytes, kMpeg1Cbr128, 417, 36, "Info", 999);
    AppendFrames(bytes, kMpeg1Cbr128, 417, 999);
    ScanSource source = SourceFor("");
    source.Format.HasInfoFrame = true;
    const ScanResult r = Scan(bytes, source);
    EXPECT_EQ(r.FrameCount, 999);
    EXPECT_DOUBLE_EQ(r.DurationMsExact, 26062.5);
}

TEST(PreloadScan, JunkAndBadFramesAreCountedBytePerByte) {
    Bytes bytes = Frames(kMpeg1Cbr128, 417, 20);
    AppendJunk(bytes, 10);
    // Bitrate index 15, then sample-rate index 3: each byte of both frames is an error.
    AppendFrame(bytes, {0xFF, 0xFB, 0xF0, 0x64}, 417);
    AppendFrame(bytes, {0xFF, 0xFB, 0x9C, 0x64}, 417);
    // Other version bits: walked with the first frame's version, so 417 bytes.
    AppendFrame(bytes, {0xFF, 0xF3, 0x90, 0x64}, 417);
    AppendFrames(bytes, kMpeg1Cbr128, 417, 20);
    const ScanResult r = Scan(bytes);
    EXPECT_EQ(r.ErrorCount, 10 + 417 + 417);
    EXPECT_EQ(r.FrameCount, 41);
    EXPECT_DOUBLE_EQ(r.DurationMsExact, 41 * 26.0625);
}

TEST(PreloadScan, NearTheEndOnlyWholeFramesOneAfterAnotherCount) {
    // 72-byte frames (MPEG 2.5, 8 kbit/s, 8000 Hz) and 208-byte ones (MPEG 1, 64 kbit/s).
    const Header mpeg25{0xFF, 0xE3, 0x18, 0xC4};
    const Header short64{0xFF, 0xFB, 0x50, 0x64};
    Bytes cut = Frames(kMpeg1Cbr128, 417, 10);
    AppendFrame(cut, kMpeg1Cbr128, 200);
    Bytes tagged = Frames(mpeg25, 72, 10);
    Append(tagged, Id3v1Block("tag"));
    Bytes shortLast = Frames(kMpeg1Cbr128, 417, 10);
    AppendFrames(shortLast, short64, 208, 2);
    Bytes junkThenFrame = Frames(kMpeg1Cbr128, 417, 10);
    AppendJunk(junkThenFrame, 3);
    AppendFrame(junkThenFrame, short64, 208);
    // With a first frame of 209 bytes the junk byte is the last full start.
    Bytes junkByteThenFrame = Frames(kMpeg1Cbr128, 417, 10);
    AppendJunk(junkByteThenFrame, 1);
    AppendFrame(junkByteThenFrame, short64, 208);
    const struct {
        const char* Name;
        Bytes Source;
        std::int32_t VersionId;
        std::int32_t FirstFrameBytes;
        std::int32_t Frames;
        std::int64_t Errors;
    } cases[] = {
        {"a frame cut by the end", cut, 1, 417, 10, 0},
        // Tag bytes are errors while at least 72 bytes remain, offsets 0 to 56 of the tag.
        {"an ID3v1 tag after short frames", tagged, 3, 72, 10, 57},
        {"frames shorter than the first", Frames(kMpeg1Cbr128, 417, 10), 1, 1044, 10, 0},
        {"last frames shorter than the rest", shortLast, 1, 417, 12, 0},
        {"junk near the end ends the count", junkThenFrame, 1, 417, 10, 0},
        {"a junk byte at the last full start, then a whole frame", junkByteThenFrame, 1, 209, 11,
         1},
    };
    for (const auto& c : cases) {
        const ScanResult r = Scan(c.Source, SourceFor("", c.VersionId, c.FirstFrameBytes));
        EXPECT_EQ(r.FrameCount, c.Frames) << c.Name;
        EXPECT_EQ(r.ErrorCount, c.Errors) << c.Name;
    }
}

TEST(PreloadScan, StartsAtTheFirstFrameAndReportsProgress) {
    Bytes bytes = Id3v2Block(1000);
    AppendFrames(bytes, kMpeg1Cbr128, 417, 6000);
    TempDir dir;
    const std::string path = dir.Write("source.mp3", bytes);
    std::vector<std::pair<std::int64_t, std::int64_t>> calls;
    const ScanResult r =
        PreloadScan(SourceFor(path, 1, 417, 1010), [&calls](std::int64_t p, std::int64_t m) {
            calls.emplace_back(p, m);
        }).Value();
    EXPECT_EQ(r.FrameCount, 6000);
    EXPECT_EQ(r.ErrorCount, 0);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_LT(calls.size(), 10u);
    EXPECT_EQ(calls.front().second, static_cast<std::int64_t>(bytes.size()) - 1010 - 128);
    EXPECT_EQ(calls.back().first, static_cast<std::int64_t>(bytes.size()));
}

TEST(PreloadScan, ReadErrorsAreReportedNotCounted) {
    const Result<ScanResult> missing = PreloadScan(SourceFor("/nonexistent/source.mp3"));
    ASSERT_FALSE(missing.Ok());
    EXPECT_EQ(missing.Failure().Category, ErrorCategory::Open);
    EXPECT_NE(missing.Failure().Text.find("/nonexistent/source.mp3"), std::string::npos);
    // The first header is always read: a first frame that starts 2 bytes before the end.
    const Result<ScanResult> cut =
        ScanResultOf(Frames(kMpeg1Cbr128, 417, 2), SourceFor("", 1, 417, 832));
    ASSERT_FALSE(cut.Ok());
    EXPECT_EQ(cut.Failure().Category, ErrorCategory::Read);
    EXPECT_EQ(cut.Failure().Offset, 832);
    for (const std::int64_t outside : {std::int64_t{-1}, std::int64_t{835}, INT64_MAX}) {
        EXPECT_EQ(ScanResultOf(Frames(kMpeg1Cbr128, 417, 2), SourceFor("", 1, 417, outside))
                      .Failure()
                      .Category,
                  ErrorCategory::Format);
    }
}

TEST(PreloadScan, NonPositiveFrameLengthEnds) {
    const Bytes bytes = Frames(kMpeg1Cbr128, 417, 5);
    for (const std::int32_t frameBytes : {0, -1000}) {
        const ScanResult r = Scan(bytes, SourceFor("", 1, frameBytes));
        EXPECT_EQ(r.FrameCount, 5);
        EXPECT_EQ(r.ErrorCount, 0);
    }
}

// The per-frame walk, one header at a time over the whole stream in memory.
ScanResult ReferenceWalk(const Bytes& bytes, std::int32_t frameBytes) {
    ScanResult r;
    const std::int64_t size = static_cast<std::int64_t>(bytes.size());
    const auto wholeFrameAt = [&](std::int64_t p) {
        const FrameCandidate f =
            size - p >= 4 ? EvaluateFrame(bytes.data() + p, 1) : FrameCandidate{};
        return f.Accepted && f.Length <= size - p;
    };
    std::int64_t p = 0;
    do {
        const FrameCandidate f = EvaluateFrame(bytes.data() + p, 1);
        if (f.Accepted) {
            p += f.Length;
            r.DurationMsExact = AddFrameDuration(r.DurationMsExact, f.Length, f.BitrateBps);
            ++r.FrameCount;
        } else {
            ++p;
            ++r.ErrorCount;
        }
    } while (size - p >= frameBytes || wholeFrameAt(p));
    return r;
}

TEST(PreloadScan, BlockBoundariesDoNotChangeTheWalk) {
    // Several MiB of frames of mixed lengths with junk runs, so that headers
    // straddle the read blocks at many different offsets.
    std::mt19937 random(7);
    const Header headers[] = {
        kMpeg1Cbr128, kMpeg1Cbr128Padded, {0xFF, 0xFB, 0xE0, 0x64}, {0xFF, 0xFB, 0x10, 0x64}};
    Bytes bytes;
    while (bytes.size() < 5u * 1024 * 1024) {
        const Header& h = headers[random() % 4];
        TMpegFrameHdr decoded;
        decoded.Decode(h.data(), 4);
        AppendFrame(bytes, h, decoded.FrameBytes);
        if (random() % 50 == 0)
            AppendJunk(bytes, random() % 7 + 1, random() % 2 ? 0xFF : 0x00);
    }
    // And headers that begin 1, 2 and 3 bytes before the border of the scan's
    // 512 KiB blocks, read from the bytes the next block carries over.
    std::vector<Bytes> sources = {bytes};
    for (std::size_t before = 1; before <= 3; ++before) {
        const std::size_t border = std::size_t{512} << 10;
        Bytes crossing = Frames(kMpeg1Cbr128, 417, border / 417 - 1);
        AppendJunk(crossing, border - before - crossing.size());
        AppendFrames(crossing, kMpeg1Cbr128, 417, 20);
        sources.push_back(crossing);
    }
    for (const Bytes& source : sources) {
        const ScanResult expected = ReferenceWalk(source, 417);
        const ScanResult r = Scan(source);
        EXPECT_GT(expected.ErrorCount, 0);
        EXPECT_EQ(r.FrameCount, expected.FrameCount);
        EXPECT_EQ(r.ErrorCount, expected.ErrorCount);
        EXPECT_EQ(r.DurationMsExact, expected.DurationMsExact);
    }
}

// Bytes from memory that go wrong from an offset on: a failing read, or an
// end sooner than the size the walk was given.
class FaultySource : public MemorySource {
public:
    FaultySource(Bytes bytes, std::int64_t faultAt, bool fails)
        : MemorySource(std::move(bytes)), faultAt_(faultAt), fails_(fails) {}
    Result<std::int64_t> ReadAt(std::int64_t offset, std::int64_t count,
                                std::uint8_t* target) override {
        if (offset + count <= faultAt_)
            return MemorySource::ReadAt(offset, count, target);
        if (fails_)
            return Error{ErrorCategory::Read, offset, "Input/output error"};
        return MemorySource::ReadAt(offset, std::max<std::int64_t>(faultAt_ - offset, 0), target);
    }

private:
    std::int64_t faultAt_;
    bool fails_;
};

TEST(PreloadScan, FaultsFarIntoALongSourceEndTheWalkWithTheirReason) {
    // Long enough that blocks are read on both threads and the fault lies many blocks in.
    const Bytes bytes = Frames(kMpeg1Cbr128, 417, 30000);
    const struct {
        std::int64_t FaultAt;
        bool Fails;
        const char* Reason;
    } cases[] = {
        {5'000'000, true, "Input/output error"},
        {5'000'000, false, "the file ended before the last frame header"},
        {512 << 10, false, "the file ended before the last frame header"},
        {2, true, "Input/output error"},
    };
    for (const auto& c : cases) {
        FaultySource source(bytes, c.FaultAt, c.Fails);
        const Result<ScanResult> r = PreloadScan(SourceFor("long.mp3"), source);
        ASSERT_FALSE(r.Ok()) << c.FaultAt;
        EXPECT_EQ(r.Failure().Category, ErrorCategory::Read);
        EXPECT_EQ(r.Failure().Text, std::string("long.mp3: ") + c.Reason);
        EXPECT_LE(r.Failure().Offset, c.FaultAt + 417);
        EXPECT_GT(r.Failure().Offset, c.FaultAt - (1 << 20)) << c.FaultAt;
    }
}

TEST(PreloadScan, SourceFromAnalysis) {
    TempDir dir;
    Bytes bytes = Id3v2Block(300);
    AppendInformationFrame(bytes, kMpeg1Cbr128, 417, 36, "Xing", 50);
    AppendFrames(bytes, kMpeg1Cbr128, 417, 50);
    const std::string path = dir.Write("source.mp3", bytes);
    TAudioInfo info;
    ASSERT_EQ(info.AnalyseFile(path).Value(), AnalysisResult::Ok);
    const ScanSource source = ScanSource::From(path, info);
    EXPECT_EQ(source.Format.FirstFrameOffset, 310);
    EXPECT_TRUE(source.Format.HasInfoFrame);
    EXPECT_EQ(source.Format.VersionId, 1);
    EXPECT_EQ(source.Format.FirstFrameBytes, 417);
    EXPECT_EQ(PreloadScan(source).Value().FrameCount, 50);
}

// A reader gets the checkpoint at least a stride before its time, or at or
// before its frame, once the walk has passed it; one that asks beyond a walk
// still running gives up when its stop says so (the preview going away).
TEST(FrameCheckpoints, ReadersWaitUntilTheWalkHasPassedOrTheyStop) {
    FrameCheckpoints checkpoints;
    for (std::int32_t k = 0; k < 4; ++k)
        checkpoints.Keep(WalkPoint{1000 + k * 64 * 417, k * 64, k * 1664.0});
    const auto stop = [] { return true; };
    struct Case {
        double Ms;
        std::int64_t Frame;
        std::int32_t FromMs; // the checkpoint's frame index
        std::int32_t FromFrame;
    };
    for (const Case c : {Case{0, 0, 0, 0}, Case{1664, 64, 0, 64}, Case{1665, 65, 0, 64},
                         Case{3400, 150, 64, 128}, Case{99999, 9999, 128, 192}}) {
        EXPECT_EQ(checkpoints.Before(c.Ms, stop).FrameIndex, c.FromMs) << c.Ms;
        EXPECT_EQ(checkpoints.BeforeFrame(c.Frame, stop).FrameIndex, c.FromFrame) << c.Frame;
    }
}

} // namespace

TEST(PreloadScanLayers, LayerTwoAndOneSourcesAreWalkedWithTheirOwnFrameLengths) {
    // MPEG 1 Layer II, 192 kbit/s, 44100 Hz: 144 * 192000 / 44100 = 626 bytes,
    // where the Layer III row would read index 10 as 160 kbit/s.
    const std::uint8_t layer2[4] = {0xFF, 0xFD, 0xA0, 0x00};
    EXPECT_EQ(EvaluateFrame(layer2, 1, 2).Length, 626);
    EXPECT_EQ(EvaluateFrame(layer2, 1, 2).BitrateBps, 192000);
    EXPECT_EQ(EvaluateFrame(layer2, 1).Length, 522);
    // MPEG 2 Layer II holds 1152 samples: 144 * 64000 / 22050 = 417.
    const std::uint8_t mpeg2Layer2[4] = {0xFF, 0xF5, 0x80, 0x00};
    EXPECT_EQ(EvaluateFrame(mpeg2Layer2, 2, 2).Length, 417);
    // MPEG 1 Layer I, 32 kbit/s, 48000 Hz, padded: (12 * 32000 / 48000 + 1) * 4 = 36.
    const std::uint8_t layer1[4] = {0xFF, 0xFF, 0x16, 0x00};
    EXPECT_EQ(EvaluateFrame(layer1, 1, 1).Length, 36);
}

TEST(PreloadScanLayers, RealLayerTwoFileHasNoErrorBytes) {
    TAudioInfo info;
    const std::string path = std::string(KERFLINE_TEST_DATA) + "/layer2_192k.mp3";
    ASSERT_EQ(info.AnalyseFile(path).Value(), AnalysisResult::Ok);
    const ScanResult result = PreloadScan(ScanSource::From(path, info)).Value();
    EXPECT_EQ(result.ErrorCount, 0);
    EXPECT_GT(result.FrameCount, 300);
}
