#include "state/overview_view.h"

#include <gtest/gtest.h>

namespace {

// 8000 ms of 308 frames (26 ms each), as the 8 s fixture: zooms halve and
// double the span around the play position, stop at eight frames and at the
// whole source; a zoomed view pages on when playback leaves it.
TEST(OverviewView, ZoomsAroundThePlayPositionAndFollowsPlayback) {
    OverviewView view;
    view.Reset(8000);
    view.SetFrameCount(308);
    view.ZoomIn(4000);
    EXPECT_EQ(view.SpanMs(), 4000);
    EXPECT_EQ(view.StartMs(), 2000);
    for (int i = 0; i < 20; ++i)
        view.ZoomIn(4000);
    EXPECT_EQ(view.SpanMs(), 8000 * 8 / 308); // eight frames
    EXPECT_LE(view.StartMs(), 4000);
    EXPECT_GE(view.StartMs() + view.SpanMs(), 4000);

    EXPECT_FALSE(view.Follow(4000));
    EXPECT_TRUE(view.Follow(7000));
    EXPECT_LE(view.StartMs(), 7000);
    EXPECT_GE(view.StartMs() + view.SpanMs(), 7000);
    view.ScrollBy(-1000);
    EXPECT_EQ(view.StartMs(), 0);

    for (int i = 0; i < 30; ++i)
        view.ZoomOut(7000);
    EXPECT_EQ(view.SpanMs(), 8000);
    EXPECT_EQ(view.StartMs(), 0);
    EXPECT_FALSE(view.Follow(7999)) << "the whole source never pages";
}

// Columns and ms map onto each other within the view, clamped to the source;
// each column shows the loudest frame under it, and a column narrower than a
// frame still shows the frame it lies in.
TEST(OverviewView, ColumnsShowTheLoudestFrameUnderThem) {
    LoudnessOverview overview;
    overview.Levels = {0, 10, 200, 0, 0, 0, 90, 0};
    overview.FrameCount = 8;
    OverviewView view;
    view.Reset(800);
    view.SetFrameCount(8);
    EXPECT_EQ(view.MsOfX(view.XOfMs(300, 4), 4), 300);
    EXPECT_EQ(view.MsOfX(-5, 4), 0);
    EXPECT_EQ(view.MsOfX(9, 4), 800);
    EXPECT_EQ(ColumnLevels(overview, view, 4), (std::vector<std::uint8_t>{10, 200, 0, 90}));
    EXPECT_EQ(ColumnLevels(overview, view, 16).size(), 16U);
    EXPECT_EQ(ColumnLevels(overview, view, 16)[5], 200);
    EXPECT_EQ(ColumnLevels({}, view, 3), (std::vector<std::uint8_t>{0, 0, 0}));

    EXPECT_DOUBLE_EQ(ShownShare(255), 1.0);
    EXPECT_DOUBLE_EQ(ShownShare(1), 0.0);
    EXPECT_NEAR(ShownShare(255 - 80), 0.5, 1e-9); // 30 dB below full scale
}

} // namespace
