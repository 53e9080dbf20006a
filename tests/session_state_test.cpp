#include "core/audio_info.h"
#include "state/session_state.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

TAudioInfo ConstantBitrate(std::int64_t fileSize, std::int64_t firstFrameOffset) {
    TAudioInfo info;
    const std::uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x64};
    info.Header.Decode(header, 4);
    info.FileSize = fileSize;
    info.FirstFrameOffset = firstFrameOffset;
    info.PlayTimeMs = 1;
    return info;
}

TEST(SessionState, ConstantBitrateDurationCountsFromTheFirstFrame) {
    EXPECT_EQ(DurationMsFromAnalysis(ConstantBitrate(4000000, 0)), 250000);
    // 100,000 bytes of ID3v2 tag are not six seconds of audio.
    EXPECT_EQ(DurationMsFromAnalysis(ConstantBitrate(4100000, 100000)), 250000);
    // Beyond 268,435,456 bytes the product still fits.
    EXPECT_EQ(DurationMsFromAnalysis(ConstantBitrate(std::int64_t{5} << 30, 0)), 335544300);

    TAudioInfo vbr = ConstantBitrate(4000000, 0);
    vbr.IsVbr = true;
    vbr.PlayTimeMs = 261000;
    EXPECT_EQ(DurationMsFromAnalysis(vbr), 261000);
}

TEST(SessionState, MsPerFrameEstimate) {
    // (417128 - 128) / 417 = 1000 frames.
    EXPECT_DOUBLE_EQ(MsPerFrameOf(26000, ConstantBitrate(417128, 0)), 26.0);
    EXPECT_DOUBLE_EQ(MsPerFrameOf(26000, ConstantBitrate(417328, 200)), 26.0);
    EXPECT_EQ(MsPerFrameOf(26000, ConstantBitrate(100, 0)), 0.0);
    TAudioInfo noLength = ConstantBitrate(417128, 0);
    noLength.Header.FrameBytes = 0;
    EXPECT_EQ(MsPerFrameOf(26000, noLength), 0.0);
}

TEST(SessionState, PositionStepEdges) {
    EXPECT_EQ(ChoosePositionStep(0), 100);
    EXPECT_EQ(ChoosePositionStep(999999), 100);
    EXPECT_EQ(ChoosePositionStep(1000000), 1000);
    EXPECT_EQ(ChoosePositionStep(39999999), 1000);
    EXPECT_EQ(ChoosePositionStep(40000000), 4000);
    EXPECT_EQ(ChoosePositionStep(99999999), 4000);
    EXPECT_EQ(ChoosePositionStep(100000000), 10000);
    // Compared as the low 32 bits, unsigned.
    EXPECT_EQ(ChoosePositionStep(-1), 10000);
    EXPECT_EQ(ChoosePositionStep((std::int64_t{1} << 32) + 5), 100);
}

TEST(SessionState, PlayerConversionsTruncate) {
    EXPECT_EQ(MsToPlayer(1000, 0.9999), 999);
    EXPECT_EQ(PositionToPlayer(3, 100, 1.5), 450);
    // 19.9 player units at 10 ms a position and 1.0 unit a ms: 1.99, shown at position 1.
    EXPECT_EQ(PlayerToPosition(19.9, 10, 1.0), 1);
    EXPECT_EQ(PlayerToPosition(1000.0, 100, 2.0), 5);
    EXPECT_EQ(PlayerToPosition(1000.0, 100, 0.0), 0);
    EXPECT_EQ(PlayerToPosition(1000.0, 0, 1.0), 0);
}

TEST(SessionState, PositionsAndMs) {
    struct Case {
        std::int32_t Position, Step, Ms;
    };
    for (const Case c : {Case{0, 100, 0}, Case{37, 100, 3700}, Case{5, 10000, 50000},
                         Case{250000, 10000, -1794967296}}) { // wraps as the 32-bit product
        EXPECT_EQ(PositionToMs(c.Position, c.Step), c.Ms) << c.Position;
    }
    EXPECT_EQ(MsToPosition(3799, 100), 37);
    EXPECT_EQ(MsToPosition(3799, 0), 3799);
    SessionState state;
    EXPECT_EQ(SliderMaximumOf(state), 0);
    state.DurationMs = 8045;
    state.PositionStep = 100;
    EXPECT_EQ(SliderMaximumOf(state), 80);
    // A section ending at the last position runs to the end: no position
    // reaches the last 45 ms.
    EXPECT_EQ(SectionEndMs(79, state), 7900);
    EXPECT_EQ(SectionEndMs(80, state), 8045);
    state.DurationMs = 38402600; // 10:40:02.6 in steps of 1 s
    state.PositionStep = ChoosePositionStep(state.DurationMs);
    EXPECT_EQ(SectionEndMs(SliderMaximumOf(state), state), 38402600);
    state.DurationMs = 8045;
    state.PositionStep = 100;
    state.DurationMsExact = 8000.0;
    ApplyPlayerLength(state, 352800);
    EXPECT_DOUBLE_EQ(state.Koef, 44.1);
}

TEST(SessionState, SelectionSizeAndText) {
    SessionState state;
    state.PositionStep = 100;
    state.MsPerFrame = 25.0;
    // 30000 ms / 25 ms = 1200 frames of 400 bytes = 468.75 KB.
    UpdateSelectionSize(state, 0, 300, 400);
    EXPECT_DOUBLE_EQ(state.SelectionSizeKB, 468.75);
    EXPECT_EQ(SelectionLengthText(state, 0, 300, '.'), "00:30.0 (approx. 468.8 KB)");
    EXPECT_EQ(SelectionLengthText(state, 0, 300, ','), "00:30.0 (approx. 468,8 KB)");

    // An end before the start: no length, no size.
    UpdateSelectionSize(state, 300, 100, 400);
    EXPECT_EQ(state.SelectionSizeKB, 0.0);
    EXPECT_EQ(SelectionLengthText(state, 300, 100, ','), "00:00.0 (approx. 0,0 KB)");

    // Without an estimate the size stays.
    state.SelectionSizeKB = 12.0;
    state.MsPerFrame = 0.0;
    UpdateSelectionSize(state, 0, 300, 400);
    EXPECT_EQ(state.SelectionSizeKB, 12.0);
    state.MsPerFrame = std::nan("");
    UpdateSelectionSize(state, 0, 300, 400);
    EXPECT_EQ(state.SelectionSizeKB, 12.0);
}

// A selection to the slider's last position ends where its section does, at
// the end of the source, past the last position's own ms.
TEST(SessionState, ASelectionToTheLastPositionSpansTheRestOfTheSource) {
    SessionState state;
    state.DurationMs = 36000300; // ten hours and 300 ms: one position is a second
    state.PositionStep = ChoosePositionStep(state.DurationMs);
    state.MsPerFrame = 25.0;
    const std::int32_t last = SliderMaximumOf(state);
    ASSERT_EQ(state.PositionStep, 1000);
    struct Case {
        std::int32_t Start, End, Ms;
        const char* Text;
    };
    const Case cases[] = {
        {last - 20, last, 20300, "00:20.3 (approx. 317.2 KB)"},
        {last - 20, last - 1, 19000, "00:19.0 (approx. 296.9 KB)"},
        {last, last, 300, "00:00.3 (approx. 4.7 KB)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SelectionMs(state, c.Start, c.End), c.Ms);
        UpdateSelectionSize(state, c.Start, c.End, 400);
        EXPECT_EQ(SelectionLengthText(state, c.Start, c.End, '.'), c.Text) << c.Ms;
    }
}

} // namespace
