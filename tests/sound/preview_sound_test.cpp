#include "sink_recording.h"
#include "test_support.h"
#include "ui/position_slider.h"
#include "ui/sink_media_player.h"

#include <QKeySequence>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ui_test;
using namespace sound_test;
using Set = PlayerControl::ButtonSet;
using Button = PlayerControl::Button;

namespace {

// Label14's position in ms ("01:02:03.4 of ...").
std::int64_t ShownMs(const TForm1& window) {
    const QString text = window.findChild<QLabel*>("Label14")->text().section(" of ", 0, 0);
    std::int64_t ms = 0;
    for (const QString& field : text.split(':'))
        ms = ms * 60 + static_cast<std::int64_t>(field.toDouble() * 1000 + 0.5);
    return ms;
}

// The window with the audible player, recorded at the sound output. The tests
// wait generously and let a short gap pass (a machine too busy to feed the
// server in time): a loaded machine must not make them fail.
class PreviewSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasSoundOutput() || !recording_.Start()) {
            if (qEnvironmentVariableIsSet("KERFLINE_SOUND_TESTS"))
                FAIL() << "no sound server to play into";
            GTEST_SKIP() << "no sound server (scripts/test.sh starts one)";
        }
        window_ = std::make_unique<TForm1>(
            TForm1::Services{messages_, choosers_, shell_, settings_, &PreviewPlayer,
                             [] { return std::make_unique<ClockMediaPlayer>(); }});
    }

    void Open(const QString& path) {
        choosers_.Sources.push_back(path);
        window_->BitBtn3Click();
        ASSERT_TRUE(window_->Player().MakesSound());
    }

    std::int64_t ShownMs() const { return ::ShownMs(*window_); }

    Set Buttons() const { return window_->MediaPlayer1()->EnabledButtons(); }

    RecordingMessageBoxes messages_;
    ScriptedFileChoosers choosers_;
    RecordingShell shell_;
    SettingsStore settings_ = FreshSettingsStore();
    SinkRecording recording_;
    std::unique_ptr<TForm1> window_;
};

TEST_F(PreviewSoundTest, PlaySoundsAtOnceAndWithoutGapsUntilPause) {
    Open(DataPath("tone_440hz_6s.mp3"));
    const std::int64_t play = recording_.Now();
    window_->MediaPlayer1Click(Button::Play);
    EXPECT_EQ(Buttons(), Set::Playing);
    QTest::qWait(1500);
    EXPECT_GT(ShownMs(), 800);
    const std::int64_t pause = recording_.Now();
    window_->MediaPlayer1Click(Button::Pause);
    EXPECT_EQ(Buttons(), Set::Stopped);
    QTest::qWait(600);

    const SinkRecording::Sound sound = recording_.Between(play, pause);
    ASSERT_GE(sound.First, 0) << "nothing was heard";
    EXPECT_LT(sound.First - play, SinkRecording::Samples(0.5));
    EXPECT_GT(sound.Last, pause - SinkRecording::Samples(0.2));
    EXPECT_LT(sound.LongestGap, SinkRecording::Samples(0.1));
    EXPECT_LT(recording_.Between(pause + SinkRecording::Samples(0.4), recording_.Now()).First, 0)
        << "sound after the pause";
}

// What is heard is what a part of the section holds: its frames, whole, then
// nothing; the window is left stopped with the stopped buttons.
TEST_F(PreviewSoundTest, AMarkedSectionSoundsForItsLengthThenStops) {
    Open(DataPath("tone_440hz_6s.mp3"));
    window_->TrackBar1()->setValue(20);
    window_->BitBtn8Click();
    window_->TrackBar1()->setValue(40);
    window_->BitBtn9Click();
    const std::int64_t play = recording_.Now();
    window_->BitBtn7Click();
    EXPECT_EQ(Buttons(), Set::Playing);
    QTRY_COMPARE_WITH_TIMEOUT(Buttons(), Set::Stopped, 8000);
    EXPECT_FALSE(window_->Timer1()->isActive());
    QTest::qWait(700);

    const SinkRecording::Sound sound = recording_.Between(play, recording_.Now());
    const double oneFrame = 1152.0 / 44100;
    EXPECT_NEAR(sound.Seconds(), 2.0, oneFrame + 0.005);
    EXPECT_LT(sound.LongestGap, SinkRecording::Samples(0.1));
    EXPECT_GT(recording_.Now() - sound.Last, SinkRecording::Samples(0.5)) << "sound after the end";
}

// A long source made of the tone: a drag while playing moves the sound there
// at once, and the position goes on forward from the target.
TEST_F(PreviewSoundTest, ADragWhilePlayingALongSourceResumesThereAndRunsForward) {
    QTemporaryDir dir;
    Open(RepeatedSource(dir, "tone_440hz_6s.mp3", std::int64_t{48274} * 600)); // an hour
    window_->MediaPlayer1Click(Button::Play);
    QTest::qWait(700);
    const int target = window_->TrackBar1()->maximum() / 2;
    for (int value = target - 60; value <= target; value += 6) {
        window_->TrackBar1()->setValue(value);
        QTest::qWait(15);
    }
    const std::int64_t dropped = recording_.Now();
    const std::int64_t targetMs = std::int64_t{target} * 1000;
    QTest::qWait(500);
    std::int64_t shown = ShownMs();
    EXPECT_GE(shown, targetMs);
    EXPECT_LE(shown, targetMs + 1000);
    for (int i = 0; i < 10; ++i) {
        QTest::qWait(100);
        EXPECT_GE(ShownMs(), shown) << "the position ran backwards";
        shown = ShownMs();
    }
    EXPECT_GT(shown, targetMs + 800);
    EXPECT_EQ(Buttons(), Set::Playing);

    const SinkRecording::Sound sound = recording_.Between(dropped, recording_.Now());
    EXPECT_LT(sound.First - dropped, SinkRecording::Samples(0.3));
    EXPECT_GT(sound.Seconds(), 1.0);
    EXPECT_LT(sound.LongestGap, SinkRecording::Samples(0.1));
    window_->MediaPlayer1Click(Button::Stop);
}

// Keys while playing move on from what plays, every time: a second forward,
// a minute forward, a frame forward, and never back to where the play began.
TEST_F(PreviewSoundTest, KeysWhilePlayingMoveOnFromWhatPlays) {
    QTemporaryDir dir;
    Open(RepeatedSource(dir, "tone_440hz_6s.mp3", std::int64_t{48274} * 30)); // three minutes
    window_->MediaPlayer1Click(Button::Play);
    QTest::qWait(700);
    const struct {
        Qt::Key Key;
        Qt::KeyboardModifiers Mods;
        std::int64_t AtLeastMs;
    } moves[] = {{Qt::Key_Right, Qt::NoModifier, 1000},
                 {Qt::Key_PageDown, Qt::NoModifier, 60000},
                 {Qt::Key_Right, Qt::ShiftModifier, 0}};
    for (int round = 0; round < 4; ++round)
        for (const auto& move : moves) {
            const std::int64_t before = ShownMs();
            QTest::keyClick(window_.get(), move.Key, move.Mods);
            QTest::qWait(150);
            EXPECT_GE(ShownMs(), before + move.AtLeastMs - 100)
                << round << " " << QKeySequence(move.Key | move.Mods).toString().toStdString();
            EXPECT_EQ(Buttons(), Set::Playing);
            if (move.Key == Qt::Key_PageDown && ShownMs() > 110000)
                window_->TrackBar1()->setValue(0);
        }
    window_->MediaPlayer1Click(Button::Stop);
}

// A private sound server in runtime; true once it answers on its socket.
bool StartServer(QProcess& server, const QTemporaryDir& runtime) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    server.setProcessEnvironment(environment);
    server.start("pulseaudio",
                 {"-n", "--daemonize=no", "--exit-idle-time=-1", "-L",
                  "module-null-sink sink_name=doomed", "-L", "module-native-protocol-unix"});
    const QString socket = runtime.path() + "/pulse/native";
    return server.waitForStarted(5000) && QTest::qWaitFor([&] { return QFile::exists(socket); });
}

// A sound server of the test's own, which the test may kill and start again.
class SoundServerLoss : public ::testing::Test {
protected:
    void SetUp() override {
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        if (!StartServer(server, runtime)) {
            if (qEnvironmentVariableIsSet("KERFLINE_SOUND_TESTS"))
                FAIL() << "no sound server of its own";
            GTEST_SKIP() << "pulseaudio cannot be started";
        }
        qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
        ASSERT_TRUE(HasSoundOutput());
    }

    QTemporaryDir runtime;
    QProcess server;
    const QString socket = runtime.path() + "/pulse/native";
};

// A sound server of the test's own, killed while the preview plays into it:
// the preview plays on silently from where the sound stopped, and says so.
// Started again, the next Play sounds and the notice goes.
// Each test runs in a process of its own, which connects to the sound system once.
TEST_F(SoundServerLoss, ThePreviewPlaysOnSilentlyAndSoundsAgainOnceTheServerIsBack) {
    // A silent stream keeps the null sink at a device's pace, as SinkRecording does.
    QProcess keeper;
    keeper.start("pacat", {"--raw", "--format=s16le", "--rate=44100", "--channels=1", "/dev/zero"});
    RecordingMessageBoxes messages;
    ScriptedFileChoosers choosers;
    RecordingShell shell;
    SettingsStore settings = FreshSettingsStore();
    TForm1 window(TForm1::Services{messages, choosers, shell, settings, &PreviewPlayer,
                                   [] { return std::make_unique<ClockMediaPlayer>(); }});
    choosers.Sources.push_back(DataPath("tone_440hz_6s.mp3"));
    window.BitBtn3Click();
    window.MediaPlayer1Click(Button::Play);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Player().Position() > 100; }));
    ASSERT_TRUE(window.Player().MakesSound());
    const std::int64_t before = window.Player().Position();
    server.kill();
    server.waitForFinished(5000);
    QTest::qWait(600);

    const QLabel* notice = window.findChild<QLabel*>("SoundNotice");
    EXPECT_FALSE(window.Player().MakesSound());
    EXPECT_FALSE(notice->isHidden());
    EXPECT_EQ(notice->text(), TForm1::NoSoundText);
    EXPECT_EQ(window.MediaPlayer1()->EnabledButtons(), Set::Playing);
    const std::int64_t after = window.Player().Position();
    EXPECT_GE(after, before);
    EXPECT_LT(after, before + 1500) << "the position jumped";
    QTest::qWait(500);
    EXPECT_GT(window.Player().Position(), after + 300) << "the silent preview does not move";
    EXPECT_GE(ShownMs(window), after);
    EXPECT_TRUE(messages.Shown.empty());

    QFile::remove(socket);
    QProcess restarted;
    ASSERT_TRUE(StartServer(restarted, runtime));
    SinkRecording recording;
    ASSERT_TRUE(recording.Start());
    // The sound system reconnects on its own within a few seconds.
    ASSERT_TRUE(QTest::qWaitFor([] { return HasSoundOutput(); }, 15000));
    window.MediaPlayer1Click(Button::Stop);
    const std::int64_t pressed = recording.Now();
    window.MediaPlayer1Click(Button::Play);
    QTest::qWait(1500);
    EXPECT_TRUE(window.Player().MakesSound());
    EXPECT_TRUE(notice->isHidden());
    EXPECT_GT(recording.Between(pressed, recording.Now()).Seconds(), 0.5) << "no sound";
    window.MediaPlayer1Click(Button::Stop);
    restarted.kill();
    restarted.waitForFinished(5000);
}

// The server stays away past the sound system's own retry, a Play meanwhile
// is silent; once the server is back, the next Play sounds.
TEST_F(SoundServerLoss, APlayAfterTheServerIsBackSoundsThoughAPlayFoundItGone) {
    RecordingMessageBoxes messages;
    ScriptedFileChoosers choosers;
    RecordingShell shell;
    SettingsStore settings = FreshSettingsStore();
    TForm1 window(TForm1::Services{messages, choosers, shell, settings, &PreviewPlayer,
                                   [] { return std::make_unique<ClockMediaPlayer>(); }});
    choosers.Sources.push_back(DataPath("tone_440hz_6s.mp3"));
    window.BitBtn3Click();
    window.MediaPlayer1Click(Button::Play);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Player().Position() > 100; }));
    window.MediaPlayer1Click(Button::Stop);
    server.kill();
    server.waitForFinished(5000);
    QFile::remove(socket);
    QTest::qWait(4500); // past the sound system's own retry, which finds no server

    const QLabel* notice = window.findChild<QLabel*>("SoundNotice");
    window.MediaPlayer1Click(Button::Play);
    QTest::qWait(600);
    EXPECT_FALSE(window.Player().MakesSound());
    EXPECT_FALSE(notice->isHidden());
    window.MediaPlayer1Click(Button::Stop);

    QProcess restarted;
    ASSERT_TRUE(StartServer(restarted, runtime));
    SinkRecording recording;
    ASSERT_TRUE(recording.Start());
    for (int play = 0; play < 2; ++play) {
        const std::int64_t pressed = recording.Now();
        window.MediaPlayer1Click(Button::Play);
        QTest::qWait(1500);
        EXPECT_TRUE(window.Player().MakesSound()) << play;
        EXPECT_TRUE(notice->isHidden()) << play;
        EXPECT_GT(recording.Between(pressed, recording.Now()).Seconds(), 0.5)
            << "no sound " << play;
        window.MediaPlayer1Click(Button::Stop);
    }
    EXPECT_TRUE(messages.Shown.empty());
    restarted.kill();
    restarted.waitForFinished(5000);
}

// Run with a sound server that is not there (PULSE_SERVER pointing nowhere).
TEST(NoSoundOutput, TheSilentPlayerAndTheNotice) {
    if (HasSoundOutput())
        GTEST_SKIP() << "a sound output is there";
    EXPECT_FALSE(PreviewPlayer()->MakesSound());
    RecordingMessageBoxes messages;
    ScriptedFileChoosers choosers;
    RecordingShell shell;
    SettingsStore settings = FreshSettingsStore();
    TForm1 window(TForm1::Services{messages, choosers, shell, settings, &PreviewPlayer,
                                   [] { return std::make_unique<ClockMediaPlayer>(); }});
    window.show();
    const QLabel* notice = window.findChild<QLabel*>("SoundNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text(), TForm1::NoSoundText);
    choosers.Sources.push_back(DataPath("tone_440hz_6s.mp3"));
    window.BitBtn3Click();
    window.MediaPlayer1Click(Button::Play);
    QTest::qWait(300);
    EXPECT_GT(window.Player().Position(), 0);
    EXPECT_TRUE(messages.Shown.empty());
}

} // namespace
