#include "test_support.h"
#include "ui/overview_strip.h"
#include "ui/position_slider.h"
#include "ui/split_list_panel.h"

#include <QImage>
#include <QTest>
#include <QWheelEvent>
#include <functional>
#include <gtest/gtest.h>

using namespace ui_test;

namespace {

class OverviewStripTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig.Build();
        rig.Window->show();
    }

    OverviewStrip& Strip() { return *rig.Window->Overview(); }

    void OpenAndWait(const char* name) {
        rig.Open(DataPath(name));
        ASSERT_TRUE(QTest::qWaitFor([this] { return Strip().Ready(); }, 10000));
    }

    // Columns of the strip's middle row that show a level (neither band nor line colour).
    int InkedColumns() {
        const QImage image = Strip().grab().toImage();
        const QColor ink = Strip().palette().text().color();
        int inked = 0;
        for (int x = 2; x < image.width() - 2; ++x)
            inked += image.pixelColor(x, image.height() / 2) == ink;
        return inked;
    }

    void CtrlWheel(int notches) {
        const QPointF at(Strip().width() / 2.0, Strip().height() / 2.0);
        QWheelEvent wheel(at, Strip().mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&Strip(), &wheel);
    }

    WindowRig rig;
};

// Levels arrive in the background, decoded, for Layer III and Layer II alike;
// silence draws nothing, so the mostly silent file inks far fewer columns.
TEST_F(OverviewStripTest, ShowsLevelsOfEveryLayerAndSilenceAsNothing) {
    OpenAndWait("cbr128_44k_joint.mp3");
    const int music = InkedColumns();
    EXPECT_GT(music, Strip().width() * 9 / 10);
    OpenAndWait("layer2_192k.mp3");
    EXPECT_GT(InkedColumns(), Strip().width() * 9 / 10);
    OpenAndWait("silence_loud_quiet.mp3");
    EXPECT_LT(InkedColumns(), music * 2 / 3);
}

// A click seeks the slider; Ctrl+wheel zooms down to a few frames around the
// play position and back out; the zoomed strip scrolls to follow playback.
TEST_F(OverviewStripTest, ClickSeeksAndCtrlWheelZoomsAroundThePlayPosition) {
    OpenAndWait("cbr128_44k_joint.mp3"); // 8.0 s, 100 ms slider steps
    QTest::mouseClick(&Strip(), Qt::LeftButton, {}, QPoint(Strip().width() / 2, 10));
    EXPECT_NEAR(rig.Window->TrackBar1()->value(), 40, 1);

    const std::int64_t whole = Strip().VisibleSpanMs();
    CtrlWheel(1);
    EXPECT_EQ(Strip().VisibleSpanMs(), whole / 2);
    CtrlWheel(20);
    EXPECT_LE(Strip().VisibleStartMs(), 4000);
    EXPECT_GE(Strip().VisibleStartMs() + Strip().VisibleSpanMs(), 4000);

    rig.Window->TrackBar1()->setValue(70);
    EXPECT_LE(Strip().VisibleStartMs(), 7000);
    EXPECT_GE(Strip().VisibleStartMs() + Strip().VisibleSpanMs(), 7000);
    CtrlWheel(-30);
    EXPECT_EQ(Strip().VisibleSpanMs(), whole);
}

// Counts the paint events a widget receives.
struct PaintCounter : QObject {
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        Paints += event->type() == QEvent::Paint;
        return false;
    }
};

// The strip draws the list's sections as bands, so every change of the rows
// repaints it, also when the slider's selection stays as it was.
TEST_F(OverviewStripTest, RepaintsWhenTheListRowsChange) {
    OpenAndWait("cbr128_44k_joint.mp3");
    SplitListPanel& panel = *rig.Window->findChild<SplitListPanel*>();
    const std::pair<const char*, std::function<void()>> changes[] = {
        {"add", [&] { panel.AddSelectionToList(10, 30); }},
        {"remove all", [&] { panel.RemoveAllParts(); }},
    };
    for (const auto& [name, change] : changes) {
        QTest::qWait(50);
        PaintCounter counter;
        Strip().installEventFilter(&counter);
        change();
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.Paints > 0; }, 500)) << name;
        Strip().removeEventFilter(&counter);
    }
}

} // namespace
