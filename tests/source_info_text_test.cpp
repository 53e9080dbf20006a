#include "state/open_source.h"
#include "state/source_info_text.h"

#include <gtest/gtest.h>

namespace {

SourceSession Opened(const std::string& file, bool preload) {
    Result<SourceSession> opened =
        OpenSource(std::string(KERFLINE_TEST_DATA) + "/" + file, {preload, {}});
    EXPECT_TRUE(opened.Ok()) << file;
    return opened.Ok() ? opened.Value() : SourceSession{};
}

// Constant-bitrate files know the answer: the average leaves out the
// information frame, the ID3v1 tag and the bytes between frames.
TEST(SourceInfoText, AverageBitrateOfFilesWhoseRateIsKnown) {
    const std::pair<const char*, std::int32_t> cases[] = {{"cbr128_44k_info_frame.mp3", 128},
                                                          {"cbr320_48k.mp3", 320},
                                                          {"cbr96_id3v1.mp3", 96},
                                                          {"junk_between_frames.mp3", 128}};
    for (const auto& [file, kbps] : cases) {
        const SourceSession session = Opened(file, true);
        EXPECT_EQ(AverageBitrateKbps(session.Info, session.State), kbps) << file;
    }
    EXPECT_EQ(AverageBitrateKbps(TAudioInfo{}, SessionState{}), 0);
}

TEST(SourceInfoText, FramesLineAfterAWalkAndTheAverageBesideAVbrRate) {
    const SourceSession junk = Opened("junk_between_frames.mp3", true);
    EXPECT_EQ(DescribeSource(junk.Info, junk.State).Mpeg[5],
              "Frames: " + std::to_string(junk.State.FrameCount) + ", skipped bytes: 10");
    EXPECT_EQ(DescribeSource(junk.Info, junk.State).Mpeg[3], "BitRate:            128kbit (CBR)");
    EXPECT_EQ(DescribeSource(Opened("cbr128_44k_joint.mp3", false).Info, {}).Mpeg[5], "");
    const SourceSession vbr = Opened("vbr_v2_44k.mp3", false);
    EXPECT_EQ(DescribeSource(vbr.Info, vbr.State).Mpeg[3],
              "BitRate:            128kbit (VBR), average " +
                  std::to_string(AverageBitrateKbps(vbr.Info, vbr.State)) + "kbit");
}

} // namespace
