#include "test_support.h"

#include <gtest/gtest.h>

using namespace ui_test;
using Mode = MediaPlayer::Mode;

namespace {

class ClockMediaPlayerTest : public ::testing::Test {
protected:
    ManualClock clock;
    ClockMediaPlayer player{clock.AsClock()};
};

TEST_F(ClockMediaPlayerTest, CommandsWithoutAFileFailAsNoDeviceOpen) {
    for (const auto& command : std::initializer_list<std::function<void()>>{
             [&] { player.Play(); }, [&] { player.Stop(); }, [&] { player.Pause(); },
             [&] { player.Seek(5); }, [&] { player.SeekToStart(); }, [&] { player.SeekToEnd(); },
             [&] { (void)player.Length(); }}) {
        try {
            command();
            ADD_FAILURE() << "no error";
        } catch (const MediaPlayerError& error) {
            EXPECT_STREQ(error.what(), "No MCI device open");
        }
    }
    EXPECT_EQ(player.Position(), 0);
    EXPECT_EQ(player.CurrentMode(), Mode::NotReady);
    player.Close();
}

TEST_F(ClockMediaPlayerTest, CountsInUnitsOfItsOwn) {
    player.Open(OpenSource(DataPath("cbr128_44k_joint.mp3").toStdString()).Value());
    EXPECT_EQ(player.Length(), 352800);
    player.Play();
    clock.NowMs += 1000;
    EXPECT_EQ(player.Position(), 44100);
    EXPECT_EQ(player.CurrentMode(), Mode::Playing);
}

TEST_F(ClockMediaPlayerTest, PlaysFromAndToThePendingPositionsOnce) {
    player.Open(OpenSource(DataPath("cbr128_44k_joint.mp3").toStdString()).Value());
    player.SetStartPos(1000);
    player.SetEndPos(2000);
    player.Play();
    clock.NowMs += 1000;
    EXPECT_EQ(player.Position(), 2000);
    EXPECT_EQ(player.CurrentMode(), Mode::Stopped);
    // Both were cleared by that Play: now it runs on to the end.
    player.Play();
    clock.NowMs += 100000;
    EXPECT_EQ(player.Position(), player.Length());
    EXPECT_EQ(player.CurrentMode(), Mode::Stopped);
}

TEST_F(ClockMediaPlayerTest, PauseTogglesAndStopKeepsThePosition) {
    player.Open(OpenSource(DataPath("cbr128_44k_joint.mp3").toStdString()).Value());
    player.Play();
    clock.NowMs += 10;
    player.Pause();
    EXPECT_EQ(player.CurrentMode(), Mode::Paused);
    clock.NowMs += 500;
    EXPECT_EQ(player.Position(), 441);
    player.Pause();
    clock.NowMs += 10;
    EXPECT_EQ(player.Position(), 882);
    player.Stop();
    clock.NowMs += 10;
    EXPECT_EQ(player.Position(), 882);
    player.Pause();
    EXPECT_EQ(player.CurrentMode(), Mode::Stopped);
    player.SeekToEnd();
    EXPECT_EQ(player.Position(), player.Length());
}

} // namespace
