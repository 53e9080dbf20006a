#include "core/audio_info.h"
#include "frame_stream.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string_view>

namespace {

using namespace frame_stream;

struct Analysed {
    TAudioInfo info;
    AnalysisResult result = AnalysisResult::Failed;
};

Analysed Analyse(const Bytes& bytes) {
    Analysed a;
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    a.result = a.info.AnalyseStream(in, static_cast<std::int64_t>(bytes.size()));
    return a;
}

Bytes JunkThenFrames(std::size_t junk, int frames) {
    Bytes bytes;
    AppendJunk(bytes, junk);
    AppendFrames(bytes, kMpeg1Cbr128, 417, frames);
    return bytes;
}

TEST(AudioInfo, ConstantBitrateFileFromOffsetZero) {
    const Analysed a = Analyse(Frames(kMpeg1Cbr128, 417, 1000));
    EXPECT_EQ(a.result, AnalysisResult::Ok);
    EXPECT_EQ(a.info.FirstFrameOffset, 0);
    EXPECT_TRUE(a.info.Header.Valid);
    EXPECT_FALSE(a.info.IsVbr);
    EXPECT_FALSE(a.info.HasInfoFrame);
    EXPECT_FALSE(a.info.Tag.Present);
    // 417000 * 8 div 12800 = 260 tenths.
    EXPECT_EQ(a.info.PlayTimeMs, 26000);
}

// Layer I counts 4-byte slots and MPEG 2 Layer II still holds 1152 samples:
// with any other length the second header is not where the first says.
TEST(AudioInfo, EveryLayerIsConfirmedByItsSecondHeader) {
    const struct {
        Header header;
        std::int32_t length;
    } cases[] = {
        {{0xFF, 0xFF, 0x40, 0x00}, 136}, // MPEG 1 Layer I, 128 kbit/s, 44100 Hz
        {{0xFF, 0xFF, 0x42, 0x00}, 140}, // the same padded: one slot more
        {{0xFF, 0xF5, 0x80, 0x00}, 417}, // MPEG 2 Layer II, 64 kbit/s, 22050 Hz
        {{0xFF, 0xE5, 0x80, 0x00}, 835}, // MPEG 2.5 Layer II, 64 kbit/s, 11025 Hz
        {{0xFF, 0xF3, 0x80, 0x00}, 208}, // MPEG 2 Layer III
    };
    for (const auto& c : cases) {
        const Analysed a = Analyse(Frames(c.header, c.length, 20));
        EXPECT_TRUE(a.info.Header.Valid) << c.length;
        EXPECT_EQ(a.info.Header.FrameBytes, c.length);
    }
}

TEST(AudioInfo, TagBytesAreNotAudio) {
    Bytes bytes = Frames(kMpeg1Cbr128, 417, 19);
    Append(bytes, Id3v1Block("Title"));
    const Analysed a = Analyse(bytes);
    EXPECT_TRUE(a.info.Tag.Present);
    EXPECT_EQ(a.info.Tag.Title, "Title");
    // 7923 * 8 div 12800 = 4; with the tag's bytes it would be 5.
    EXPECT_EQ(a.info.PlayTimeMs, 400);
}

TEST(AudioInfo, SearchLimitAndWindows) {
    EXPECT_EQ(Analyse(JunkThenFrames(5000, 3)).info.FirstFrameOffset, 5000);
    EXPECT_EQ(Analyse(JunkThenFrames(10292, 3)).info.FirstFrameOffset, 10292);
    const Analysed tooFar = Analyse(JunkThenFrames(10293, 3));
    EXPECT_EQ(tooFar.result, AnalysisResult::NoFrameFound);
    EXPECT_EQ(tooFar.info.FirstFrameOffset, -1);
    EXPECT_EQ(tooFar.info.PlayTimeMs, 0);
    // Headers straddling the first and a later window boundary.
    EXPECT_EQ(Analyse(JunkThenFrames(126, 3)).info.FirstFrameOffset, 126);
    EXPECT_EQ(Analyse(JunkThenFrames(128 + 124 * 5 - 2, 3)).info.FirstFrameOffset,
              128 + 124 * 5 - 2);
}

TEST(AudioInfo, ConfirmationByTheFollowingHeader) {
    // A valid header followed by junk, with frames after it: kept, but not
    // confirmed, and no Xing test.
    Bytes bytes;
    AppendInformationFrame(bytes, kMpeg1Cbr128, 417, 36, "Xing", 10000);
    AppendJunk(bytes, 2000);
    AppendFrames(bytes, kMpeg1Cbr128, 417, 4);
    const Analysed unconfirmed = Analyse(bytes);
    EXPECT_EQ(unconfirmed.info.FirstFrameOffset, 0);
    EXPECT_FALSE(unconfirmed.info.Header.Valid);
    EXPECT_FALSE(unconfirmed.info.IsVbr);
    EXPECT_EQ(unconfirmed.info.PlayTimeMs, (2417 + 4 * 417) * 8 / 12800 * 100);

    // No room for a following header (next + 4 >= count): no confirmation.
    Bytes single = Frames(kMpeg1Cbr128, 417, 1);
    AppendJunk(single, 4);
    EXPECT_TRUE(Analyse(single).info.Header.Valid);
    AppendJunk(single, 1);
    EXPECT_FALSE(Analyse(single).info.Header.Valid);
}

struct InformationCase {
    Header header;
    std::int32_t length;
    std::int32_t markerOffset;
};

TEST(AudioInfo, XingFrameAtEachOffsetGivesPlayTime) {
    const InformationCase cases[] = {
        {kMpeg1Cbr128, 417, 36},
        {kMpeg1Cbr128Mono, 417, 21},
        {kMpeg2Cbr64, 208, 21},
        {kMpeg2Cbr64Mono, 208, 13},
    };
    for (const InformationCase& c : cases) {
        Bytes bytes;
        AppendInformationFrame(bytes, c.header, c.length, c.markerOffset, "Xing", 10000);
        AppendFrames(bytes, c.header, c.length, 20);
        const Analysed a = Analyse(bytes);
        SCOPED_TRACE(c.markerOffset);
        EXPECT_EQ(a.result, AnalysisResult::Ok);
        EXPECT_TRUE(a.info.IsVbr);
        EXPECT_TRUE(a.info.HasInfoFrame);
        EXPECT_EQ(a.info.XingFrameCount, 10000u);
        // MPEG 1: 1152 / 44100 * 10000 = 261.2; MPEG 2: 576 / 22050 * 10000 = 261.2.
        EXPECT_EQ(a.info.PlayTimeMs, 261000);
    }
}

TEST(AudioInfo, InfoMarkerIsAnInformationFrameButNotVbr) {
    Bytes bytes;
    AppendInformationFrame(bytes, kMpeg1Cbr128, 417, 36, "Info", 999);
    AppendFrames(bytes, kMpeg1Cbr128, 417, 999);
    const Analysed a = Analyse(bytes);
    EXPECT_EQ(a.result, AnalysisResult::Ok);
    EXPECT_FALSE(a.info.IsVbr);
    EXPECT_TRUE(a.info.HasInfoFrame);
    EXPECT_EQ(a.info.XingFrameCount, 999u);
    EXPECT_EQ(a.info.PlayTimeMs, 26000);

    for (const char* other : {"xing", "INFO", "Xin "}) {
        Bytes foreign;
        AppendInformationFrame(foreign, kMpeg1Cbr128, 417, 36, other, 999);
        AppendFrames(foreign, kMpeg1Cbr128, 417, 999);
        const Analysed f = Analyse(foreign);
        EXPECT_FALSE(f.info.IsVbr) << other;
        EXPECT_FALSE(f.info.HasInfoFrame) << other;
        EXPECT_EQ(f.info.PlayTimeMs, 26000) << other;
    }
}

// The LAME tag in the information frame says what a gapless player drops at
// the two ends (as the tag's bytes hold it); a file without one has none,
// though its audio frames carry the encoder's name.
TEST(AudioInfo, TheInformationFramesLameTagGivesTheTrim) {
    struct Case {
        const char* File;
        std::optional<GaplessTrim> Trim;
    };
    const Case cases[] = {
        {"cbr128_44k_info_frame.mp3", GaplessTrim{576, 1440}},
        {"vbr_v2_44k.mp3", GaplessTrim{576, 1440}},
        {"vbr_mpeg2_22k_mono.mp3", GaplessTrim{576, 1008}},
        {"cbr128_44k_joint.mp3", std::nullopt},
    };
    for (const Case& c : cases) {
        TAudioInfo info;
        const Result<AnalysisResult> analysed =
            info.AnalyseFile(std::string(KERFLINE_TEST_DATA) + "/" + c.File);
        ASSERT_TRUE(analysed && analysed.Value() == AnalysisResult::Ok) << c.File;
        ASSERT_EQ(info.SourceTrim.has_value(), c.Trim.has_value()) << c.File;
        if (c.Trim) {
            EXPECT_EQ(info.SourceTrim->Delay, c.Trim->Delay) << c.File;
            EXPECT_EQ(info.SourceTrim->Padding, c.Trim->Padding) << c.File;
        }
    }
}

// A VBR file under half a second is timed in milliseconds by its frame count,
// one without a count by the CBR estimate; neither is refused.
TEST(AudioInfo, ShortAndCountlessVbrFilesOpen) {
    const struct {
        std::optional<std::uint32_t> count;
        std::int64_t playTimeMs;
    } cases[] = {
        {15, 392},           // 1152 / 44100 * 15 = 0.392 s
        {std::nullopt, 200}, // 11 frames of 417 bytes at 128 kbit/s: 2 tenths
        {0, 200},
        {39, 1000}, // 1.019 s: whole seconds as before
        {60, 2000}, // 1.567 s: rounded up
    };
    for (const auto& c : cases) {
        Bytes bytes;
        AppendInformationFrame(bytes, kMpeg1Cbr128, 417, 36, "Xing", c.count);
        AppendFrames(bytes, kMpeg1Cbr128, 417, 10);
        const Analysed a = Analyse(bytes);
        EXPECT_EQ(a.result, AnalysisResult::Ok) << c.playTimeMs;
        EXPECT_TRUE(a.info.IsVbr);
        EXPECT_EQ(a.info.PlayTimeMs, c.playTimeMs);
    }
}

// Files of other kinds begin with their own signature, after any ID3v2 tag;
// what follows it is never searched for frames, even real ones.
TEST(AudioInfo, FilesOfOtherKindsAreNoMpegAudio) {
    const auto wave = [](std::uint8_t format, bool listFirst) {
        Bytes head{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
        if (listFirst)
            Append(head, Bytes{'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0});
        Append(head, Bytes{'f', 'm', 't', ' ', 16, 0, 0, 0, format, 0, 2, 0});
        Append(head, Bytes(12, 0));
        return head;
    };
    const auto text = [](std::string_view signature) {
        return Bytes(signature.begin(), signature.end());
    };
    using namespace std::string_view_literals;
    Bytes taggedPicture = Id3v2Block(100);
    Append(taggedPicture, text("\x89PNG\r\n\x1A\n"));
    const struct {
        const char* Name;
        Bytes Head;
        AnalysisResult Expected;
    } cases[] = {
        {"PCM WAVE", wave(1, false), AnalysisResult::NoFrameFound},
        {"PCM WAVE, fmt after LIST", wave(1, true), AnalysisResult::NoFrameFound},
        {"MPEG Layer III in WAVE", wave(0x55, false), AnalysisResult::Ok},
        {"MPEG in WAVE", wave(0x50, true), AnalysisResult::Ok},
        {"PNG", text("\x89PNG\r\n\x1A\n"), AnalysisResult::NoFrameFound},
        {"PNG after an ID3v2 tag", taggedPicture, AnalysisResult::NoFrameFound},
        {"JPEG", text("\xFF\xD8\xFF\xE0"), AnalysisResult::NoFrameFound},
        {"FLAC", text("fLaC"), AnalysisResult::NoFrameFound},
        {"Ogg", text("OggS"), AnalysisResult::NoFrameFound},
        {"MP4",
         text("\0\0\0\x20"
              "ftypM4A "sv),
         AnalysisResult::NoFrameFound},
        {"ZIP", text("PK\x03\x04"), AnalysisResult::NoFrameFound},
        {"PDF", text("%PDF-1.7"), AnalysisResult::NoFrameFound},
        {"RIFF of another kind", text("RIFF\0\0\0\0RMP3"sv), AnalysisResult::Ok},
    };
    for (const auto& c : cases) {
        Bytes bytes = c.Head;
        AppendFrames(bytes, kMpeg1Cbr128, 417, 20);
        EXPECT_EQ(Analyse(bytes).result, c.Expected) << c.Name;
    }
}

// Audio is a run of frames: a header that the next frames do not follow is a
// chance pattern in data of another kind, unless the run reaches the end of
// the file or its tag (a part of one frame). Only whether there is audio
// changes: the first header found stays the first frame.
TEST(AudioInfo, AudioIsARunOfFrames) {
    const auto frames = [](int count, std::size_t junk, bool tag) {
        Bytes bytes = Frames(kMpeg1Cbr128, 417, count);
        AppendJunk(bytes, junk, 0x00);
        if (tag)
            Append(bytes, Id3v1Block("t"));
        return bytes;
    };
    Bytes chanceThenAudio;
    AppendJunk(chanceThenAudio, 100, 0x00);
    Append(chanceThenAudio, Bytes(kMpeg1Cbr128.begin(), kMpeg1Cbr128.end()));
    AppendJunk(chanceThenAudio, 3000, 0x00);
    AppendFrames(chanceThenAudio, kMpeg1Cbr128, 417, 4);
    const struct {
        const char* Name;
        Bytes File;
        AnalysisResult Expected;
        std::int64_t PlayTimeMs;
    } cases[] = {
        {"one frame, then junk", frames(1, 500, false), AnalysisResult::NoFrameFound, 0},
        {"three frames, then junk", frames(3, 500, false), AnalysisResult::NoFrameFound, 0},
        {"four frames, then junk", frames(4, 500, false), AnalysisResult::Ok, 100},
        {"one frame to the end", frames(1, 0, false), AnalysisResult::Ok, 26},
        {"one frame and three bytes", frames(1, 3, false), AnalysisResult::Ok, 26},
        {"one frame to the tag", frames(1, 0, true), AnalysisResult::Ok, 26},
        {"two frames to the tag", frames(2, 0, true), AnalysisResult::Ok, 52},
        {"a chance header, then audio", chanceThenAudio, AnalysisResult::Ok,
         (3004 + 4 * 417) * 8 / 12800 * 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const Analysed a = Analyse(c.File);
        EXPECT_EQ(a.result, c.Expected);
        EXPECT_EQ(a.info.PlayTimeMs, c.PlayTimeMs);
        EXPECT_EQ(a.info.FirstFrameOffset,
                  c.Expected == AnalysisResult::Ok ? (c.File[0] == 0xFF ? 0 : 100) : -1);
    }
}

TEST(AudioInfo, ZeroDurationAndFreeFormatFailCleanly) {
    const Header freeFormat{0xFF, 0xFB, 0x00, 0x64};
    const Analysed f = Analyse(Frames(freeFormat, 400, 10));
    EXPECT_EQ(f.result, AnalysisResult::Failed);
    EXPECT_EQ(f.info.PlayTimeMs, 0);

    // A frame count that claims 31,165 hours lies beyond every time the session can hold.
    Bytes huge;
    AppendInformationFrame(huge, kMpeg1Cbr128, 417, 36, "Xing", 0xFFFFFFFFu);
    AppendFrames(huge, kMpeg1Cbr128, 417, 100);
    const Analysed h = Analyse(huge);
    EXPECT_EQ(h.result, AnalysisResult::Failed);
    EXPECT_EQ(h.info.PlayTimeMs, 0);
}

TEST(AudioInfo, LeadingId3v2TagIsSkipped) {
    // The tag body holds a valid-looking header and is longer than the search limit.
    Bytes body(20000, 0x00);
    std::copy(kMpeg1Cbr128.begin(), kMpeg1Cbr128.end(), body.begin() + 100);
    for (const bool footer : {false, true}) {
        Bytes bytes = Id3v2Block(20000, footer);
        std::copy(body.begin(), body.end(), bytes.begin() + 10);
        const std::int64_t tagSize = static_cast<std::int64_t>(bytes.size());
        AppendJunk(bytes, 300);
        AppendFrames(bytes, kMpeg1Cbr128, 417, 100);
        const Analysed a = Analyse(bytes);
        SCOPED_TRACE(footer);
        EXPECT_EQ(a.result, AnalysisResult::Ok);
        EXPECT_EQ(a.info.Id3v2Size, footer ? 20020 : 20010);
        EXPECT_EQ(a.info.FirstFrameOffset, tagSize + 300);
        EXPECT_TRUE(a.info.Header.Valid);
        EXPECT_EQ(a.info.PlayTimeMs, 41700 * 8 / 12800 * 100);
    }
    // A size byte of 0x80 or more: no ID3v2 header, searched like any bytes.
    Bytes notId3 = Id3v2Block(500);
    notId3[9] = 0x80;
    std::copy(kMpeg1Cbr128.begin(), kMpeg1Cbr128.end(), notId3.begin() + 50);
    AppendFrames(notId3, kMpeg1Cbr128, 417, 10);
    const Analysed n = Analyse(notId3);
    EXPECT_EQ(n.info.Id3v2Size, 0);
    EXPECT_EQ(n.info.FirstFrameOffset, 50);
}

TEST(AudioInfo, AnalysesARangeOfAStream) {
    Bytes bytes(1000, 0x55);
    AppendFrames(bytes, kMpeg1Cbr128, 417, 50);
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    in.seekg(900);
    TAudioInfo info;
    // The range is cut to the bytes that remain in the stream.
    EXPECT_EQ(info.AnalyseStream(in, 1 << 30), AnalysisResult::Ok);
    EXPECT_EQ(info.FirstFrameOffset, 100);
    EXPECT_EQ(info.PlayTimeMs, (100 + 417 * 50 - 100) * 8 / 12800 * 100);
}

TEST(AudioInfo, FileErrorsLeaveNoPlayTime) {
    TempDir dir;
    const std::string path = dir.Write("a.mp3", Frames(kMpeg1Cbr128, 417, 1000));
    TAudioInfo info;
    EXPECT_EQ(info.AnalyseFile(path).Value(), AnalysisResult::Ok);
    EXPECT_EQ(info.FileSize, 417000);
    EXPECT_EQ(info.PlayTimeMs, 26000);

    const std::string missing = (dir.Path() / "missing.mp3").string();
    const Result<AnalysisResult> notOpened = info.AnalyseFile(missing);
    ASSERT_FALSE(notOpened);
    EXPECT_EQ(notOpened.Failure().Category, ErrorCategory::Open);
    EXPECT_NE(notOpened.Failure().Text.find(missing), std::string::npos);
    EXPECT_NE(notOpened.Failure().Text.find("No such file"), std::string::npos);
    EXPECT_EQ(info.PlayTimeMs, 0);
    EXPECT_EQ(info.FileSize, -1);
    EXPECT_EQ(info.FirstFrameOffset, -1);
    EXPECT_FALSE(info.AnalyseFile("  \t"));
    EXPECT_FALSE(info.AnalyseFile(dir.Path().string()));

    const std::string empty = dir.Write("empty.mp3", {});
    EXPECT_EQ(info.AnalyseFile(empty).Value(), AnalysisResult::NoFrameFound);
    EXPECT_EQ(info.FileSize, 0);
}

TEST(AudioInfo, FilesBeyondThirtyTwoBits) {
    // A sparse 3 GiB file: frames at the start, zeros up to the end, no tag.
    TempDir dir;
    const std::string path = dir.Write("big.mp3", Frames(kMpeg1Cbr128, 417, 10));
    const std::int64_t size = std::int64_t{3} << 30;
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
    TAudioInfo info;
    EXPECT_EQ(info.AnalyseFile(path).Value(), AnalysisResult::Ok);
    EXPECT_EQ(info.FileSize, size);
    EXPECT_EQ(info.PlayTimeMs, size * 8 / 12800 * 100);
    EXPECT_EQ(info.PlayTimeMs, 201326500);
}

} // namespace
