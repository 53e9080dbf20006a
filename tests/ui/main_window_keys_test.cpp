#include "test_support.h"
#include "ui/about_dialog.h"
#include "ui/edit_section_dialog.h"
#include "ui/help_window.h"
#include "ui/options_dialog.h"
#include "ui/overview_strip.h"
#include "ui/pause_split_dialog.h"
#include "ui/position_slider.h"
#include "ui/save_dialog.h"
#include "ui/split_by_parts_dialog.h"
#include "ui/split_list_panel.h"
#include "ui/split_list_wiring.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <gtest/gtest.h>
#include <set>

using namespace ui_test;
using Set = PlayerControl::ButtonSet;

namespace {

// The controls Tab stops at, in the window's focus chain, without the inner
// editors of spin and combo boxes.
std::vector<QWidget*> TabStops(QWidget& window) {
    std::vector<QWidget*> stops;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
        const bool inner = qobject_cast<QAbstractSpinBox*>(w->parentWidget()) != nullptr ||
                           qobject_cast<QComboBox*>(w->parentWidget()) != nullptr;
        if (w->window() == &window && w->isVisibleTo(&window) && !inner &&
            (w->focusPolicy() & Qt::TabFocus) != 0)
            stops.push_back(w);
    }
    return stops;
}

QRect InWindow(QWidget& widget) {
    return QRect(widget.mapTo(widget.window(), QPoint(0, 0)), widget.size());
}

// Every labelled button and every label for a control has its own Alt+letter;
// Tab goes down the rows and left to right within a row.
void ExpectKeyboardReach(QWidget& window) {
    SCOPED_TRACE(window.objectName().toStdString());
    std::set<QString> taken;
    const auto expectMnemonic = [&taken](const QString& text) {
        const QString key = QKeySequence::mnemonic(text).toString();
        EXPECT_FALSE(key.isEmpty()) << "no mnemonic: " << text.toStdString();
        EXPECT_TRUE(key.isEmpty() || taken.insert(key).second) << "clash: " << text.toStdString();
    };
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (button->window() == &window && button->isVisibleTo(&window) &&
            !button->text().isEmpty())
            expectMnemonic(button->text());
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->window() == &window && label->buddy() != nullptr)
            expectMnemonic(label->text());

    const std::vector<QWidget*> stops = TabStops(window);
    for (std::size_t i = 1; i < stops.size(); ++i) {
        const QRect a = InWindow(*stops[i - 1]);
        const QRect b = InWindow(*stops[i]);
        const bool nextRow = b.top() >= a.bottom() - 2;
        const bool sameRowRight =
            b.left() >= a.right() - 2 && b.top() < a.bottom() && a.top() < b.bottom();
        EXPECT_TRUE(nextRow || sameRowRight) << stops[i - 1]->objectName().toStdString() << " then "
                                             << stops[i]->objectName().toStdString();
    }
}

class MainWindowKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.Build();
        Window().show();
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window()));
        Window().TrackBar1()->setFocus();
    }

    TForm1& Window() { return *rig.Window; }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr ? focus : &Window(), key, mods);
    }
    QTreeWidget* List() { return Window().findChild<SplitListPanel*>()->ListView(); }

    QTemporaryDir dir;
    WindowRig rig;
};

// Every moving key from the middle of a 3-minute source (100 ms slider steps).
TEST_F(MainWindowKeysTest, MovingKeysMoveThePlayPosition) {
    // 1600 bytes of the 128 kbit/s fixture per tenth of a second, and a tag's room.
    rig.Open(RepeatedSource(dir, "cbr128_44k_joint.mp3", 1600 * 1800 + 128));
    ASSERT_EQ(Window().TrackBar1()->maximum(), 1800);
    struct Case {
        Qt::Key Key;
        Qt::KeyboardModifiers Mods;
        int Expected;
    };
    const Case cases[] = {
        {Qt::Key_Left, Qt::NoModifier, 890},      {Qt::Key_Right, Qt::NoModifier, 910},
        {Qt::Key_Left, Qt::ShiftModifier, 899},   {Qt::Key_Right, Qt::ShiftModifier, 900},
        {Qt::Key_Left, Qt::ControlModifier, 800}, {Qt::Key_Right, Qt::ControlModifier, 1000},
        {Qt::Key_PageUp, Qt::NoModifier, 300},    {Qt::Key_PageDown, Qt::NoModifier, 1500},
        {Qt::Key_Home, Qt::NoModifier, 0},        {Qt::Key_End, Qt::NoModifier, 1800},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QKeySequence(c.Key | c.Mods).toString().toStdString());
        Window().TrackBar1()->setValue(900);
        Key(c.Key, c.Mods);
        EXPECT_EQ(Window().TrackBar1()->value(), c.Expected);
    }
}

// "+" arrives with Shift and zooms; a move while playing moves the player too; End, O, Home, I, A
// make a section that runs to the end of the audio, past the slider's last position (the walked
// length is not a whole number of 0.1 s steps).
TEST_F(MainWindowKeysTest, ShiftedPlusStepsWhilePlayingAndEndReachesTheEnd) {
    Window().Context().PreloadOption = true;
    rig.Open(RepeatedSource(dir, "cbr128_44k_joint.mp3", 16 * 180050 + 128));
    const std::int64_t length = Window().Context().State.DurationMs;
    ASSERT_NE(length % 100, 0);
    const std::int64_t span = Window().Overview()->VisibleSpanMs();
    Key(Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(Window().Overview()->VisibleSpanMs(), span / 2);

    Window().TrackBar1()->setValue(900);
    Key(Qt::Key_Space);
    ASSERT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Playing);
    Key(Qt::Key_Right);
    ASSERT_EQ(Window().TrackBar1()->value(), 910);
    EXPECT_EQ(Window().Player().Position(),
              PositionToPlayer(910, 100, Window().Context().State.Koef));
    Key(Qt::Key_Space);

    for (const Qt::Key key : {Qt::Key_End, Qt::Key_O, Qt::Key_Home, Qt::Key_I, Qt::Key_A})
        Key(key);
    ASSERT_EQ(Window().Context().List.SplitCount(), 1);
    EXPECT_EQ(Window().Context().List[0].EndMs, length);
}

// Moves while playing start from what plays, though the slider has not caught
// up with it; Shift and an arrow move one frame of audio (1152 samples at
// 44.1 kHz), playing or not, on a source whose slider positions are 0.1 s and
// on one whose positions are 1 s.
TEST_F(MainWindowKeysTest, MovesStartFromWhatPlaysAndShiftMovesOneFrame) {
    const double frameMs = 1152 * 1000.0 / 44100;
    for (const std::int64_t tenths : {std::int64_t{1800}, std::int64_t{10040}}) {
        rig.Open(RepeatedSource(dir, "cbr128_44k_joint.mp3", 1600 * tenths + 128));
        const SessionState& state = Window().Context().State;
        const std::int32_t step = state.PositionStep;
        ASSERT_EQ(step, tenths < 10000 ? 100 : 1000);
        SCOPED_TRACE(step);
        MediaPlayer& player = Window().Player();
        const auto units = [&](double ms) { return ms * state.Koef; };
        const auto expectAt = [&](double ms) {
            EXPECT_NEAR(static_cast<double>(player.Position()), units(ms), 3.0);
            EXPECT_EQ(Window().TrackBar1()->value(), static_cast<std::int32_t>(ms / step));
        };

        // Stopped: from the slider, then from the player's own place within it.
        Window().TrackBar1()->setValue(50000 / step);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        expectAt(50000 + frameMs);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        expectAt(50000 + 2 * frameMs);
        Key(Qt::Key_Left, Qt::ShiftModifier);
        expectAt(50000 + frameMs);
        Key(Qt::Key_Space);
        ASSERT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Playing);
        expectAt(50000 + frameMs); // Play goes on from the frame

        // Playing: 2 s on, before the window has looked at the player.
        rig.Clock.NowMs += 2000;
        Key(Qt::Key_Right, Qt::ShiftModifier);
        expectAt(52000 + 2 * frameMs);
        EXPECT_EQ(player.CurrentMode(), MediaPlayer::Mode::Playing);
        rig.Clock.NowMs += 2000;
        Key(Qt::Key_Right);
        const double from = 54000 + 2 * frameMs;
        expectAt(std::floor(from / step) * step + std::max(1000, step));
        rig.Clock.NowMs += 2000;
        const std::int32_t playing = static_cast<std::int32_t>(
            PlayerToPosition(static_cast<double>(player.Position()), step, state.Koef));
        Key(Qt::Key_PageDown);
        EXPECT_EQ(Window().TrackBar1()->value(), playing + 60000 / step);
        EXPECT_EQ(player.CurrentMode(), MediaPlayer::Mode::Playing);
        Key(Qt::Key_Space);
    }
}

// The whole road with keys alone: open, play, pause, mark, add, tick, edit,
// remove, and Split's dialog; Enter in the list never presses Open.
TEST_F(MainWindowKeysTest, TheWholeRoadWithKeysAlone) {
    rig.Choosers.Sources.push_back(DataPath("cbr128_44k_joint.mp3"));
    Key(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(Window().Context().State.DurationMs, 8000);

    Key(Qt::Key_Space);
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Playing);
    rig.Clock.NowMs += 1550;
    Window().Timer1Timer();
    Key(Qt::Key_Space);
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Stopped);
    EXPECT_EQ(Window().TrackBar1()->value(), 15);

    Key(Qt::Key_I);
    Key(Qt::Key_Right, Qt::ControlModifier); // 10 s: to the end of the 8 s file
    Key(Qt::Key_Left);
    Key(Qt::Key_O);
    EXPECT_EQ(Window().TrackBar1()->SelStart(), 15);
    EXPECT_EQ(Window().TrackBar1()->SelEnd(), 70);
    Key(Qt::Key_P);
    EXPECT_EQ(Window().MediaPlayer1()->EnabledButtons(), Set::Playing);
    Key(Qt::Key_A);
    ASSERT_EQ(Window().Context().List.SplitCount(), 1);
    EXPECT_EQ(Window().Context().List[0].StartMs, 1500);
    EXPECT_EQ(Window().Context().List[0].EndMs, 7000);

    List()->setCurrentItem(List()->topLevelItem(0));
    QTest::keyClick(List(), Qt::Key_Space);
    EXPECT_FALSE(Window().Context().List[0].Checked);
    QTest::keyClick(List(), Qt::Key_Space);
    EXPECT_TRUE(Window().Context().List[0].Checked);
    for (const Qt::Key edit : {Qt::Key_Return, Qt::Key_F2}) {
        QString shown;
        QTimer::singleShot(0, [&shown] {
            shown = QApplication::activeModalWidget()->windowTitle();
            QApplication::activeModalWidget()->close();
        });
        QTest::keyClick(List(), edit); // the section editor, never the file chooser
        EXPECT_EQ(shown, "Edit section info");
    }
    EXPECT_EQ(rig.Choosers.SourceRequests, 1);

    // Ctrl+S, Enter (the folder chooser), a folder, Enter, Enter writes the part;
    // the next Ctrl+S, Enter writes it again into the same folder.
    const QString part = dir.filePath("cbr128_44k_joint_001.mp3");
    rig.Choosers.Folders.push_back(dir.path());
    for (int round = 1; round <= 2; ++round) {
        QString shown;
        QTimer::singleShot(0, [&shown, round, this] {
            QWidget* dialog = QApplication::activeModalWidget();
            shown = dialog->windowTitle();
            if (!QTest::qWaitForWindowActive(dialog)) {
                ADD_FAILURE() << "the Save dialog never became active";
                dialog->close();
                return;
            }
            Key(Qt::Key_Return);
            if (round == 1)
                Key(Qt::Key_Return);
        });
        Key(Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(shown, "Save file(s)");
        EXPECT_EQ(rig.Choosers.FolderRequests, 1);
        EXPECT_TRUE(QFile::exists(part));
        EXPECT_EQ(rig.Messages.InformationBeeps, round);
        EXPECT_FALSE(QApplication::activeModalWidget());
    }
    EXPECT_EQ(rig.Messages.Shown.size(), 1u) << "asked once about overwriting the part";

    Window().TrackBar1()->setFocus();
    QTimer::singleShot(0, [&] { QApplication::activeModalWidget()->close(); });
    Key(Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(Window().Context().List.SplitCount(), 1) << "Split by parts, closed";

    QTest::keyClick(List(), Qt::Key_Delete);
    EXPECT_EQ(Window().Context().List.SplitCount(), 0);
}

// Undo and redo by keys alone: three rows added, two taken back, one again;
// the List menu names the steps, and Save writes the two rows left.
TEST_F(MainWindowKeysTest, UndoAndRedoKeysTakeBackAndRepeatAdds) {
    rig.Choosers.Sources.push_back(DataPath("cbr128_44k_joint.mp3"));
    Key(Qt::Key_O, Qt::ControlModifier);
    Key(Qt::Key_Right);
    Key(Qt::Key_O);
    for (int i = 0; i < 3; ++i)
        Key(Qt::Key_A);
    Key(Qt::Key_Z, Qt::ControlModifier);
    Key(Qt::Key_Z, Qt::ControlModifier);
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Window().Context().List.SplitCount(), 2);
    EXPECT_EQ(List()->topLevelItemCount(), 2);
    auto* menu = Window().findChild<QMenu*>("ListMenu");
    emit menu->aboutToShow();
    EXPECT_EQ(Window().findChild<QAction*>("UndoAction")->text(), "Undo Add Section");
    EXPECT_EQ(Window().findChild<QAction*>("RedoAction")->text(), "Redo Add Section");
    Key(Qt::Key_Y, Qt::ControlModifier);
    emit menu->aboutToShow();
    EXPECT_FALSE(Window().findChild<QAction*>("RedoAction")->isEnabled());
    Key(Qt::Key_Z, Qt::ControlModifier);

    // Ctrl+S, then Enter for the folder chooser and Enter for Save, in the dialog.
    rig.Choosers.Folders.push_back(dir.path());
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(dialog->focusWidget() != nullptr ? dialog->focusWidget() : dialog,
                            Qt::Key_Return);
    });
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

// Every window and dialog, with a file open and a row in the list.
TEST_F(MainWindowKeysTest, EveryWindowHasMnemonicsAndTabsInReadingOrder) {
    rig.Open(DataPath("cbr128_44k_joint.mp3"));
    Window().TrackBar1()->setValue(20);
    Key(Qt::Key_O);
    Key(Qt::Key_A);
    ASSERT_EQ(Window().Context().List.SplitCount(), 1);
    auto* wiring = Window().findChild<SplitListWiring*>();
    auto* panel = Window().findChild<SplitListPanel*>();
    AppContext& context = Window().Context();
    TAboutBox about(rig.Shell, &Window());
    TForm4 edit(context, 0, Window().TrackBar1()->maximum(), &Window());
    PauseSplitDialog pauses(context, *panel, PauseSettings{}, &Window());
    HelpWindow* help =
        HelpWindow::Show(&Window(), QDir(KERFLINE_PROGRAM_FOLDER).filePath("kerflinehelp.html"));
    QWidget* windows[] = {&Window(),
                          wiring->SaveDialog(),
                          wiring->SplitByPartsDialog(),
                          Window().Options(),
                          &about,
                          &edit,
                          &pauses,
                          help};
    for (QWidget* window : windows) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        ExpectKeyboardReach(*window);
        if (window != &Window())
            window->hide();
    }
}

} // namespace
