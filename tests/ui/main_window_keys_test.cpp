#include "test_support.h"
#include "ui/position_slider.h"
#include "ui/split_list_panel.h"

#include <QApplication>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace ui_test;
using Set = PlayerControl::ButtonSet;

namespace {

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
        {Qt::Key_Left, Qt::ShiftModifier, 899},   {Qt::Key_Right, Qt::ShiftModifier, 901},
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
    QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
    QTest::keyClick(List(), Qt::Key_Return); // the section editor, not the file chooser
    EXPECT_TRUE(rig.Choosers.Sources.empty());
    EXPECT_EQ(Window().Context().List.SplitCount(), 1);

    QString shown;
    QTimer::singleShot(0, [&shown] {
        shown = QApplication::activeModalWidget()->windowTitle();
        QApplication::activeModalWidget()->close();
    });
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(shown, "Save file(s)");

    QTest::keyClick(List(), Qt::Key_Delete);
    EXPECT_EQ(Window().Context().List.SplitCount(), 0);
}

} // namespace
