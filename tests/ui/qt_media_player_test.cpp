#include "test_support.h"
#include "ui/qt_media_player.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace ui_test;
using Mode = MediaPlayer::Mode;

namespace {

// Against the real backend (GStreamer): plays in real time, silently when
// the machine has no sound card.
TEST(QtMediaPlayerTest, OpensKnowsTheLengthAndRefusesWhatItCannotPlay) {
    QtMediaPlayer player;
    EXPECT_THROW(player.Play(), MediaPlayerError);
    player.Open(DataPath("cbr128_44k_joint.mp3"));
    EXPECT_NEAR(static_cast<double>(player.Length()), 8000.0, 100.0);
    EXPECT_EQ(player.CurrentMode(), Mode::Stopped);

    EXPECT_THROW(player.Open(DataPath("not_audio.mp3")), MediaPlayerError);
    EXPECT_FALSE(player.IsOpen());
    EXPECT_THROW(player.Length(), MediaPlayerError);
    // A refusal leaves nothing behind for the next file.
    player.Open(DataPath("vbr_v2_44k.mp3"));
    EXPECT_GT(player.Length(), 7000);
}

TEST(QtMediaPlayerTest, PlaysToTheEndPositionAndStopKeepsThePlace) {
    QtMediaPlayer player;
    player.Open(DataPath("cbr128_44k_joint.mp3"));
    player.SetStartPos(3000);
    player.SetEndPos(3300);
    player.Play();
    EXPECT_EQ(player.CurrentMode(), Mode::Playing);
    QTRY_COMPARE_WITH_TIMEOUT(player.CurrentMode(), Mode::Stopped, 5000);
    const std::int64_t stoppedAt = player.Position();
    EXPECT_GE(stoppedAt, 3300);
    EXPECT_LT(stoppedAt, 3800);
    QTest::qWait(200);
    EXPECT_EQ(player.Position(), stoppedAt);

    player.Seek(1000);
    EXPECT_EQ(player.Position(), 1000);
    player.SeekToEnd();
    EXPECT_EQ(player.Position(), player.Length());
}

} // namespace
