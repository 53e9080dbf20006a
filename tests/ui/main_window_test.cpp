#include "kerfline_version.h"
#include "test_support.h"
#include "ui/about_dialog.h"
#include "ui/elided_label.h"
#include "ui/loading_window.h"
#include "ui/options_dialog.h"
#include "ui/position_slider.h"
#include "ui/up_down.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace ui_test;
using Set = PlayerControl::ButtonSet;
using Mode = MediaPlayer::Mode;

namespace {

// 1600 k + 128 bytes of a 128 kbit/s source last exactly k tenths of a second
// by the constant-bitrate rule, so 16 bytes stand for each millisecond.
constexpr std::int64_t BytesFor(std::int64_t tenths) {
    return 1600 * tenths + 128;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { rig.Build(); }

    TForm1& Window() { return *rig.Window; }
    QString LabelText(const char* name) { return Window().findChild<QLabel*>(name)->text(); }
    QPushButton* ButtonNamed(const char* name) { return Window().findChild<QPushButton*>(name); }
    MediaPlayer& Player() { return Window().Player(); }
    const SessionState& State() { return Window().Context().State; }

    // Selects from start to end (slider positions) with the two buttons.
    void Select(int start, int end) {
        Window().TrackBar1()->setValue(start);
        Window().BitBtn8Click();
        Window().TrackBar1()->setValue(end);
        Window().BitBtn9Click();
    }

    void Press(PlayerControl::Button button) { Window().MediaPlayer1Click(button); }

    QString Source(std::int64_t tenths, std::int64_t extraBytes = 0) {
        return RepeatedSource(dir, "cbr128_44k_joint.mp3", BytesFor(tenths) + extraBytes);
    }

    QTemporaryDir dir;
    WindowRig rig;
};

TEST_F(MainWindowTest, StartsWithNoSourceAndEveryControlInPlace) {
    EXPECT_EQ(Window().windowTitle(), "Kerfline");
    EXPECT_EQ(Window().minimumSize(), QSize(456, 587));
    for (const char* name :
         {"BitBtn3", "Edit2",     "Label2",       "Label3",       "Label4",         "Label5",
          "Label6",  "Label7",    "Label8",       "Label9",       "Label10",        "Label11",
          "Label13", "Label14",   "Label23",      "LabeledEdit1", "LabeledEdit2",   "UpDown1",
          "UpDown2", "TrackBar1", "MediaPlayer1", "BitBtn7",      "BitBtn8",        "BitBtn9",
          "BitBtn5", "BitBtn6",   "BitBtn11",     "Timer1",       "SplitListPlace", "Button1",
          "Button2", "Button3"}) {
        EXPECT_NE(Window().findChild<QObject*>(name), nullptr) << name;
    }
    EXPECT_EQ(Window().findChild<QLineEdit*>("Edit2")->text(), "There is no selected file");
    EXPECT_EQ(LabelText("Label2"), "Title:  ");
    EXPECT_EQ(LabelText("Label11"), "SampleRate:  ");
    for (const char* name : {"Label13", "Label14"}) {
        EXPECT_EQ(LabelText(name), "00:00.0");
    }
    EXPECT_EQ(Window().LabeledEdit1()->text(), "00:00.0");
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::None);
    for (const char* name : {"BitBtn5", "BitBtn6", "BitBtn7", "BitBtn8", "BitBtn9", "BitBtn11"}) {
        EXPECT_FALSE(ButtonNamed(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(ButtonNamed("BitBtn3")->isDefault());
    EXPECT_EQ(Window().TrackBar1()->maximum(), 0);
    EXPECT_EQ(Window().TrackBar1()->toolTip(), "Select position");
    EXPECT_EQ(ButtonNamed("BitBtn5")->toolTip(), "Split file");
    EXPECT_TRUE(ButtonNamed("BitBtn5")->font().bold());
}

// A line longer than its group ends in "…" at the starting width, and shows
// whole once the window is wide enough; the label's text stays whole.
TEST_F(MainWindowTest, AnInformationLineTooLongForItsGroupEndsInAnEllipsis) {
    rig.Open(DataPath("vbr_v2_44k.mp3"));
    Window().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
    const auto* bitRate = Window().findChild<ElidedLabel*>("Label10");
    ASSERT_NE(bitRate, nullptr);
    EXPECT_TRUE(bitRate->text().endsWith("kbit")) << bitRate->text().toStdString();
    EXPECT_TRUE(bitRate->ShownText().endsWith(QChar(0x2026))) << bitRate->ShownText().toStdString();
    Window().resize(Window().width() * 2, Window().height());
    EXPECT_TRUE(QTest::qWaitFor([&] { return bitRate->ShownText() == bitRate->text(); }, 1000));
}

TEST_F(MainWindowTest, OpeningFillsTheInformationExactly) {
    const QString path = DataPath("cbr128_44k_joint.mp3");
    rig.Open(path);

    EXPECT_TRUE(rig.Messages.Shown.empty());
    EXPECT_EQ(Window().findChild<QLineEdit*>("Edit2")->text(), path);
    EXPECT_EQ(LabelText("Label8"), "Time:                00:08.0");
    EXPECT_EQ(LabelText("Label9"), "Filesize:            128731 bytes");
    EXPECT_EQ(LabelText("Label23"), "Version:            MPEG 1.0 Layer III");
    EXPECT_EQ(LabelText("Label10"), "BitRate:            128kbit (CBR)");
    EXPECT_EQ(LabelText("Label11"), "SampleRate:    44100Hz, Joint Stereo");
    EXPECT_EQ(LabelText("Label2"), "Title:");
    EXPECT_EQ(LabelText("Label7"), "Comment:");
    EXPECT_EQ(LabelText("Label14"), "00:00.0");

    EXPECT_EQ(State().SourceFileName, path.toStdString());
    EXPECT_EQ(State().DurationMs, 8000);
    EXPECT_DOUBLE_EQ(State().Koef, ClockMediaPlayer::UnitsPerMs);
    EXPECT_EQ(State().PositionStep, 100);
    EXPECT_EQ(Window().TrackBar1()->maximum(), 80);
    EXPECT_EQ(Window().UpDown2()->Maximum(), 80);
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Stopped);
    for (const char* name : {"BitBtn6", "BitBtn7", "BitBtn8", "BitBtn9", "BitBtn11"}) {
        EXPECT_TRUE(ButtonNamed(name)->isEnabled()) << name;
    }
    EXPECT_FALSE(ButtonNamed("BitBtn5")->isEnabled());
}

TEST_F(MainWindowTest, TagLabelsShowTheTagAndClearForAFileWithout) {
    rig.Open(DataPath("cbr96_id3v1.mp3"));
    EXPECT_EQ(LabelText("Label2"), "Title:          Morning Light");
    EXPECT_EQ(LabelText("Label3"), "Artist:         The Quiet Hours");
    EXPECT_EQ(LabelText("Label4"), "Album:       Sketches");
    EXPECT_EQ(LabelText("Label5"), "Year:         2019");
    EXPECT_EQ(LabelText("Label6"), "Genre:       Rock");
    EXPECT_TRUE(LabelText("Label7").startsWith("Comment:  first take"));

    rig.Open(DataPath("cbr128_44k_joint.mp3"));
    EXPECT_EQ(LabelText("Label2"), "Title:");
    EXPECT_EQ(LabelText("Label6"), "Genre:");
    const TID3v1Tag& tag = Window().Context().AudioInfo.Tag;
    EXPECT_TRUE(tag.Title.empty());
    EXPECT_TRUE(tag.Artist.empty());
    EXPECT_TRUE(tag.Comment.empty());
}

TEST_F(MainWindowTest, OpeningEmptiesTheSplitListAndTheSelection) {
    int opened = 0;
    QObject::connect(&Window(), &TForm1::SourceOpened, [&opened] { ++opened; });
    const QString path = DataPath("cbr128_44k_joint.mp3");
    rig.Open(path);
    Select(10, 30);
    Window().Context().List.AddEntry(1000, 3000, Window().Context().AudioInfo.Tag);
    rig.Open(path);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(Window().Context().List.SplitCount(), 0);
    EXPECT_EQ(Window().TrackBar1()->SelStart(), 0);
    EXPECT_EQ(Window().TrackBar1()->SelEnd(), 0);
    EXPECT_EQ(Window().LabeledEdit2()->text(), "00:00.0");
}

TEST_F(MainWindowTest, EnterPressesOpen) {
    rig.Choosers.Sources.push_back(DataPath("cbr128_44k_joint.mp3"));
    Window().TrackBar1()->setFocus();
    QTest::keyClick(Window().TrackBar1(), Qt::Key_Return);
    EXPECT_EQ(rig.Choosers.SourceRequests, 1);
    EXPECT_EQ(State().DurationMs, 8000);
}

TEST_F(MainWindowTest, CancellingTheChooserChangesNothing) {
    rig.Open(DataPath("cbr128_44k_joint.mp3"));
    Press(PlayerControl::Button::Play);
    Window().BitBtn3Click();
    EXPECT_EQ(rig.Choosers.SourceRequests, 2);
    EXPECT_EQ(Player().CurrentMode(), Mode::Playing);
    EXPECT_TRUE(Window().Timer1()->isActive());
}

TEST_F(MainWindowTest, RefusedFilesKeepThePreviousSourceUsable) {
    const QString path = DataPath("cbr128_44k_joint.mp3");
    rig.Open(path);
    Select(10, 30);
    for (const char* refused : {"not_audio.mp3", "empty.mp3", "no_such_file.mp3"}) {
        rig.Open(DataPath(refused));
        EXPECT_EQ(State().SourceFileName, path.toStdString()) << refused;
        EXPECT_EQ(Window().findChild<QLineEdit*>("Edit2")->text(), path) << refused;
        EXPECT_EQ(Window().Context().AudioInfo.PlayTimeMs, 8000) << refused;
        EXPECT_EQ(Window().Context().AudioInfo.FirstFrameOffset, 0) << refused;
        EXPECT_EQ(Window().TrackBar1()->SelEnd(), 30) << refused;
        EXPECT_EQ(LabelText("Label10"), "BitRate:            128kbit (CBR)") << refused;
    }
    // Each has a message naming the file; the two without audio say so.
    ASSERT_EQ(rig.Messages.Errors().size(), 3u);
    EXPECT_EQ(rig.Messages.Errors()[0], DataPath("not_audio.mp3") + ": no MPEG audio frame found");
    EXPECT_EQ(rig.Messages.Errors()[1], DataPath("empty.mp3") + ": no MPEG audio frame found");
    EXPECT_TRUE(rig.Messages.Errors()[2].contains("no_such_file.mp3"));
    EXPECT_TRUE(Player().IsOpen());
    Press(PlayerControl::Button::Play);
    EXPECT_EQ(Player().CurrentMode(), Mode::Playing);
}

TEST_F(MainWindowTest, AnAnalysisFailureBeepsAndShowsItsMessage) {
    const QString path = DataPath("cbr128_44k_joint.mp3");
    rig.Open(path);
    // A free-format first frame: no bit rate to compute a length from.
    QFile freeFormat(dir.filePath("free_format.mp3"));
    ASSERT_TRUE(freeFormat.open(QIODevice::WriteOnly));
    freeFormat.write(QByteArray::fromHex("fffb0044") + QByteArray(4000, '\0'));
    freeFormat.close();
    rig.Open(freeFormat.fileName());
    EXPECT_EQ(rig.Messages.ErrorBeeps, 1);
    ASSERT_EQ(rig.Messages.Errors().size(), 1u);
    EXPECT_EQ(rig.Messages.Errors()[0], "Failed to load the information from the MP3 file!");
    EXPECT_EQ(State().SourceFileName, path.toStdString());
    EXPECT_EQ(Window().Context().AudioInfo.PlayTimeMs, 8000);
}

TEST(MainWindowPlayerRefusal, TheSilentPlayerTakesOverAndTheNewFileIsFullyOpen) {
    WindowRig rig;
    rig.RefuseAudible = true;
    rig.Build();
    const QString path = DataPath("cbr96_id3v1.mp3");
    rig.Open(path);
    ASSERT_EQ(rig.Messages.Errors().size(), 1u);
    EXPECT_EQ(rig.Messages.Errors()[0], RefusingPlayer::Text);
    TForm1& window = *rig.Window;
    EXPECT_EQ(window.Context().State.SourceFileName, path.toStdString());
    EXPECT_DOUBLE_EQ(window.Context().State.Koef, ClockMediaPlayer::UnitsPerMs);
    EXPECT_EQ(window.TrackBar1()->maximum(), window.Context().State.DurationMs / 100);
    EXPECT_TRUE(window.Player().IsOpen());
    window.MediaPlayer1Click(PlayerControl::Button::Play);
    rig.Run(1010);
    EXPECT_EQ(window.TrackBar1()->value(), 10);
}

// A player that makes sound, so the window has no notice to show.
class SoundingClockPlayer : public ClockMediaPlayer {
public:
    bool MakesSound() const override { return true; }
};

// The notice that the preview is silent keeps its room when it is not shown:
// the player's buttons stand in one place with a sound output or without.
TEST(MainWindowSoundNotice, ThePlayersButtonsStayPutWithOrWithoutTheNotice) {
    int tops[2] = {};
    for (const bool sounding : {false, true}) {
        RecordingMessageBoxes messages;
        ScriptedFileChoosers choosers;
        RecordingShell shell;
        SettingsStore settings = FreshSettingsStore();
        TForm1 window(TForm1::Services{messages, choosers, shell, settings,
                                       [sounding]() -> std::unique_ptr<MediaPlayer> {
                                           if (sounding)
                                               return std::make_unique<SoundingClockPlayer>();
                                           return std::make_unique<ClockMediaPlayer>();
                                       },
                                       [] { return std::make_unique<ClockMediaPlayer>(); }});
        window.show();
        window.layout()->activate();
        EXPECT_EQ(window.findChild<QLabel*>("SoundNotice")->isVisible(), !sounding);
        tops[sounding] = window.MediaPlayer1()->mapTo(&window, QPoint()).y();
    }
    EXPECT_EQ(tops[0], tops[1]);
}

TEST(MainWindowPreloadFailure, TheLoadingWindowGoesAndTheFileOpensWithItsAnalysedLength) {
    QTemporaryDir dir;
    const QString path = dir.filePath("vanishing.mp3");
    ASSERT_TRUE(QFile::copy(DataPath("cbr128_44k_joint.mp3"), path));
    WindowRig rig;
    // The file goes away after the analysis, before the scan reads it.
    rig.AfterAudibleOpen = [](const QString& opened) { QFile::remove(opened); };
    rig.Build();
    TForm1& window = *rig.Window;
    window.Context().PreloadOption = true;
    rig.Open(path);
    ASSERT_EQ(rig.Messages.Errors().size(), 1u);
    EXPECT_TRUE(rig.Messages.Errors()[0].contains("vanishing.mp3"));
    EXPECT_TRUE(window.findChildren<TForm11*>().isEmpty());
    const SessionState& state = window.Context().State;
    EXPECT_EQ(state.SourceFileName, path.toStdString());
    EXPECT_EQ(state.FrameCount, 0);
    EXPECT_EQ(state.DurationMs, 8000);
    EXPECT_DOUBLE_EQ(state.Koef, ClockMediaPlayer::UnitsPerMs);
    EXPECT_EQ(window.TrackBar1()->maximum(), 80);
}

TEST_F(MainWindowTest, SliderStepAndRangeFollowTheSourceLength) {
    rig.Open(Source(9999));
    EXPECT_EQ(State().DurationMs, 999900);
    EXPECT_EQ(State().PositionStep, 100);
    EXPECT_EQ(Window().TrackBar1()->maximum(), 9999);

    rig.Open(Source(10000));
    EXPECT_EQ(State().DurationMs, 1000000);
    EXPECT_EQ(State().PositionStep, 1000);
    EXPECT_EQ(Window().TrackBar1()->maximum(), 1000);
    EXPECT_EQ(Window().UpDown1()->Maximum(), 1000);
    EXPECT_EQ(LabelText("Label8"), "Time:                16:40.0");
    Window().TrackBar1()->setValue(61);
    EXPECT_EQ(LabelText("Label14"), "01:01.0 of 16:40.0");
}

TEST_F(MainWindowTest, SelectionLengthUsesTheLocaleDecimalSeparator) {
    // 120 bytes more keep the length at 40 s and the size off a rounding tie.
    rig.Open(Source(400, 120));
    Select(50, 350);
    EXPECT_EQ(Window().LabeledEdit1()->text(), "00:05.0");
    EXPECT_EQ(Window().LabeledEdit2()->text(), "00:35.0");
    EXPECT_EQ(LabelText("Label13"), "00:30.0 (approx. 468.8 KB)");

    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Window().UpDown2()->UpButton()->click();
    QLocale::setDefault(previous);
    EXPECT_EQ(Window().LabeledEdit2()->text(), "00:35.1");
    EXPECT_EQ(LabelText("Label13"), "00:30.1 (approx. 470,4 KB)");

    // An end before the start is allowed; its length and size read zero.
    Select(300, 100);
    EXPECT_EQ(LabelText("Label13"), "00:00.0 (approx. 0.0 KB)");
}

TEST_F(MainWindowTest, UpDownsStepWithinTheirRangeBeforeAndAfterOpening) {
    Window().UpDown1()->UpButton()->click();
    EXPECT_EQ(Window().LabeledEdit1()->text(), "00:00.0");
    EXPECT_EQ(LabelText("Label13"), "00:00.0 (approx. 0.0 KB)");

    rig.Open(DataPath("cbr128_44k_joint.mp3"));
    Window().UpDown1()->DownButton()->click();
    EXPECT_EQ(Window().TrackBar1()->SelStart(), 0);
    for (int i = 0; i < 3; ++i) {
        Window().UpDown1()->UpButton()->click();
    }
    EXPECT_EQ(Window().TrackBar1()->SelStart(), 3);
    EXPECT_EQ(Window().LabeledEdit1()->text(), "00:00.3");
    EXPECT_EQ(Window().TrackBar1()->value(), 0);
    Window().UpDown2()->SetPosition(80);
    Window().UpDown2()->UpButton()->click();
    EXPECT_EQ(Window().TrackBar1()->SelEnd(), 80);
    EXPECT_EQ(Window().LabeledEdit2()->text(), "00:08.0");
}

TEST_F(MainWindowTest, PlayHaltsAtTheSelectionEndAndPlayAgainGoesOn157UnitsLater) {
    rig.Open(Source(400));
    Select(10, 20);
    Window().TrackBar1()->setValue(10);
    Press(PlayerControl::Button::Play);
    EXPECT_EQ(Player().Position(), 44100);
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Playing);

    rig.Run(1100);
    EXPECT_EQ(Player().CurrentMode(), Mode::Paused);
    EXPECT_FALSE(Window().Timer1()->isActive());
    EXPECT_GE(Player().Position(), 88200);
    EXPECT_LT(Player().Position(), 88300);
    EXPECT_EQ(Window().TrackBar1()->value(), 20);
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Stopped);

    Press(PlayerControl::Button::Play);
    EXPECT_EQ(Player().Position(), 88200 + 157);
    rig.Run(500);
    EXPECT_EQ(Player().CurrentMode(), Mode::Playing);
    EXPECT_GT(Player().Position(), 88200 + 157 + 20000);
}

TEST_F(MainWindowTest, TheSliderReseeksOnlyWhenFarFromThePlayer) {
    rig.Open(Source(400));
    Press(PlayerControl::Button::Play);
    // The timer's own slider moves stay within the distance: no re-seek.
    rig.Run(1010);
    EXPECT_EQ(Player().Position(), 44541);
    EXPECT_EQ(Window().TrackBar1()->value(), 10);
    // A move by the user far from the player re-seeks it there.
    Window().TrackBar1()->setValue(300);
    EXPECT_EQ(Player().Position(), 1323000);
    EXPECT_EQ(Player().CurrentMode(), Mode::Playing);
    // While stopped, the slider moves alone.
    Press(PlayerControl::Button::Pause);
    Window().TrackBar1()->setValue(5);
    EXPECT_EQ(Player().Position(), 1323000);
    EXPECT_EQ(LabelText("Label14"), "00:00.5 of 00:40.0");
    // Play goes on from the place of a pause within the slider's step, from the
    // slider's step when the slider was moved.
    Press(PlayerControl::Button::Play);
    rig.Run(1050);
    const std::int64_t paused = Player().Position();
    Press(PlayerControl::Button::Pause);
    Press(PlayerControl::Button::Play);
    EXPECT_EQ(Player().Position(), paused);
    Press(PlayerControl::Button::Pause);
    Window().TrackBar1()->setValue(2);
    Press(PlayerControl::Button::Play);
    EXPECT_EQ(Player().Position(), 8820);
}

TEST_F(MainWindowTest, TheEndOfTheFileRewinds) {
    rig.Open(DataPath("cbr128_44k_joint.mp3"));
    Window().TrackBar1()->setValue(70);
    Press(PlayerControl::Button::Play);
    rig.Run(1500);
    EXPECT_FALSE(Window().Timer1()->isActive());
    EXPECT_EQ(Player().Position(), 0);
    EXPECT_EQ(Window().TrackBar1()->value(), 0);
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Stopped);
}

TEST_F(MainWindowTest, StopNextAndPrevMoveThePlayerAndTheSlider) {
    rig.Open(DataPath("cbr128_44k_joint.mp3"));
    Press(PlayerControl::Button::Next);
    EXPECT_EQ(Window().TrackBar1()->value(), 80);
    EXPECT_EQ(Player().Position(), Player().Length());
    Press(PlayerControl::Button::Prev);
    EXPECT_EQ(Window().TrackBar1()->value(), 0);
    EXPECT_EQ(Player().Position(), 0);
    Window().TrackBar1()->setValue(40);
    Press(PlayerControl::Button::Play);
    rig.Run(200);
    Press(PlayerControl::Button::Stop);
    EXPECT_EQ(Player().Position(), 0);
    EXPECT_EQ(Window().TrackBar1()->value(), 0);
    EXPECT_FALSE(Window().Timer1()->isActive());
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Stopped);
}

TEST_F(MainWindowTest, PlaySelectionPlaysOnlyAForwardSelection) {
    rig.Open(DataPath("cbr128_44k_joint.mp3"));
    Select(30, 30);
    Window().BitBtn7Click();
    EXPECT_EQ(Player().CurrentMode(), Mode::Stopped);
    EXPECT_FALSE(Window().Timer1()->isActive());

    Select(30, 40);
    Window().TrackBar1()->setValue(0);
    Window().BitBtn7Click();
    EXPECT_EQ(Player().Position(), 132300);
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Playing);
    rig.Run(1200);
    // The player stops at the end by itself, and the window shows it stopped.
    EXPECT_EQ(Player().Position(), 176400);
    EXPECT_FALSE(Window().Timer1()->isActive());
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Stopped);
}

TEST_F(MainWindowTest, SplitStopsThePreviewBeforeTheSaveDialog) {
    int saveDialogs = 0;
    Mode modeAtSaveDialog = Mode::Playing;
    Window().SetSaveDialog([&] {
        ++saveDialogs;
        modeAtSaveDialog = Player().CurrentMode();
    });
    rig.Open(DataPath("cbr128_44k_joint.mp3"));
    Press(PlayerControl::Button::Play);
    Window().BitBtn5Click();
    EXPECT_EQ(saveDialogs, 1);
    EXPECT_EQ(modeAtSaveDialog, Mode::Stopped);
    EXPECT_FALSE(Window().Timer1()->isActive());
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Stopped);
}

TEST_F(MainWindowTest, PreloadScansUnderTheLoadingWindow) {
    Window().Context().PreloadOption = true;
    // The scan lets the window paint, so a zero timer fires while it runs.
    bool loadingShown = false;
    QTimer::singleShot(0, [&] {
        const TForm11* loading = Window().findChild<TForm11*>();
        loadingShown =
            loading != nullptr && loading->isVisible() && loading->windowTitle() == "Loading...";
    });
    rig.Open(DataPath("junk_between_frames.mp3"));
    EXPECT_TRUE(loadingShown);
    EXPECT_GT(State().FrameCount, 300);
    EXPECT_GE(State().ErrorCount, 10);
    EXPECT_EQ(State().DurationMs, static_cast<std::int64_t>(State().DurationMsExact));
    EXPECT_DOUBLE_EQ(State().Koef,
                     static_cast<double>(Player().Length()) / State().DurationMsExact);
    EXPECT_TRUE(Window().findChildren<TForm11*>().isEmpty());
}

TEST_F(MainWindowTest, FirstStartWritesTheDefaultsThatOptionsShows) {
    EXPECT_TRUE(rig.Settings.KeyExists());
    const SettingsStore::ReadOutcome stored = rig.Settings.ReadAtStartUp();
    EXPECT_FALSE(stored.Error);
    EXPECT_FALSE(stored.Settings.Preload);
    EXPECT_TRUE(stored.Settings.SaveFrame);

    bool preloadShown = true;
    bool saveFrameShown = false;
    QTimer::singleShot(0, [&] {
        TOptions* options = Window().Options();
        preloadShown = options->findChild<QCheckBox*>("CheckBox1")->isChecked();
        saveFrameShown = options->findChild<QCheckBox*>("CheckBox2")->isChecked();
        options->findChild<QPushButton*>("Button2")->click();
    });
    Window().Button3Click();
    EXPECT_FALSE(preloadShown);
    EXPECT_TRUE(saveFrameShown);
}

TEST_F(MainWindowTest, OptionsCancelKeepsAndOkStoresTheSettings) {
    const auto changeBothAndPress = [this](const char* button) {
        QTimer::singleShot(0, [this, button] {
            TOptions* options = Window().Options();
            options->findChild<QCheckBox*>("CheckBox1")->toggle();
            options->findChild<QCheckBox*>("CheckBox2")->toggle();
            options->findChild<QCheckBox*>("CheckBox3")->toggle();
            options->findChild<QCheckBox*>("CheckBox4")->toggle();
            options->findChild<QCheckBox*>("CheckBox5")->toggle();
            // ID3v2.4 is offered only with ID3v2 tags.
            QCheckBox* id3v24 = options->findChild<QCheckBox*>("CheckBox6");
            EXPECT_EQ(id3v24->isEnabled(),
                      options->findChild<QCheckBox*>("CheckBox3")->isChecked());
            id3v24->toggle();
            options->findChild<QPushButton*>(button)->click();
        });
        Window().Button3Click();
    };
    changeBothAndPress("Button2");
    EXPECT_FALSE(Window().Context().PreloadOption);
    EXPECT_TRUE(Window().Context().SaveFrameOption);
    EXPECT_FALSE(Window().Context().Id3v2Option);
    EXPECT_FALSE(Window().Context().RebuildInfoFrameOption);
    EXPECT_FALSE(Window().Context().ExactCutsOption);
    EXPECT_FALSE(Window().Context().Id3v24Option);

    changeBothAndPress("Button1");
    EXPECT_TRUE(Window().Context().PreloadOption);
    EXPECT_FALSE(Window().Context().SaveFrameOption);
    const SettingsStore::ReadOutcome stored = rig.Settings.ReadAtStartUp();
    EXPECT_TRUE(stored.Settings.Preload);
    EXPECT_FALSE(stored.Settings.SaveFrame);
    EXPECT_TRUE(stored.Settings.Id3v2 && Window().Context().Id3v2Option);
    EXPECT_TRUE(stored.Settings.RebuildInfoFrame && Window().Context().RebuildInfoFrameOption);
    EXPECT_TRUE(stored.Settings.ExactCuts && Window().Context().ExactCutsOption);
    EXPECT_TRUE(stored.Settings.Id3v24 && Window().Context().Id3v24Option);
    EXPECT_FALSE(Window().Options()->Chosen().Preload && !Window().Context().PreloadOption);
}

TEST(MainWindowOptions, WithoutTheStoredKeyOkChangesNothing) {
    WindowRig rig;
    rig.Settings = SettingsStore("OrrindaleTest", "KerflineWithoutKey");
    rig.Build();
    QSettings(QSettings::IniFormat, QSettings::UserScope, "OrrindaleTest", "KerflineWithoutKey")
        .clear();
    ASSERT_FALSE(rig.Settings.KeyExists());
    QTimer::singleShot(0, [&rig] {
        TOptions* options = rig.Window->Options();
        options->findChild<QCheckBox*>("CheckBox1")->toggle();
        options->findChild<QPushButton*>("Button1")->click();
    });
    rig.Window->Button3Click();
    EXPECT_FALSE(rig.Window->Context().PreloadOption);
    EXPECT_FALSE(rig.Settings.KeyExists());
    EXPECT_TRUE(rig.Messages.Shown.empty());
}

// Help shows the document shipped beside the program; without it, it says so.
TEST_F(MainWindowTest, HelpShowsTheShippedDocumentOrSaysItIsMissingAndAboutOpensItsLinks) {
    Window().Context().ProgramFolder = dir.path();
    Window().Button1Click();
    EXPECT_TRUE(rig.Shell.Help.empty());
    ASSERT_EQ(rig.Messages.Errors().size(), 1u);
    EXPECT_TRUE(rig.Messages.Errors()[0].contains(dir.filePath("kerflinehelp.html")));

    Window().Context().ProgramFolder = KERFLINE_PROGRAM_FOLDER;
    Window().Button1Click();
    ASSERT_EQ(rig.Shell.Help.size(), 1u);
    EXPECT_EQ(rig.Shell.Help[0], QDir(KERFLINE_PROGRAM_FOLDER).filePath("kerflinehelp.html"));
    EXPECT_TRUE(QFile::exists(rig.Shell.Help[0]));
    EXPECT_TRUE(rig.Shell.Opened.empty());

    QString title;
    bool bold = false;
    QTimer::singleShot(0, [&] {
        auto* about = Window().findChild<TAboutBox*>();
        ASSERT_NE(about, nullptr);
        auto* product = about->findChild<QLabel*>("ProductName");
        title = product->text();
        bold = product->font().bold();
        for (const char* link : {"MailLink", "WebLink"}) {
            QLabel* label = about->findChild<QLabel*>(link);
            const QString html = label->text();
            const int start = html.indexOf('"') + 1;
            emit label->linkActivated(html.mid(start, html.indexOf('"', start) - start));
        }
        about->findChild<QPushButton*>("CloseButton")->click();
    });
    Window().Button2Click();
    EXPECT_EQ(title, QStringLiteral("Kerfline %1").arg(KerflineVersion));
    EXPECT_TRUE(bold);
    ASSERT_EQ(rig.Shell.Opened.size(), 2u);
    EXPECT_EQ(rig.Shell.Opened[0], "mailto:support@kerfline.example?subject=Kerfline");
    EXPECT_EQ(rig.Shell.Opened[1], "https://kerfline.example");
}

} // namespace
