#include "test_support.h"
#include "ui/position_slider.h"

#include <QApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

using namespace ui_test;

namespace {

// Takes the picture of the main window for the documentation, with a fixture
// open, a selection and two sections in the split list, into the file named by
// KERFLINE_SCREENSHOT. scripts/screenshots.sh runs it on a virtual display.
TEST(MainWindowScreenshot, TakenWhenAsked) {
    const QString target = qEnvironmentVariable("KERFLINE_SCREENSHOT");
    if (target.isEmpty()) {
        GTEST_SKIP() << "set KERFLINE_SCREENSHOT to a .png path";
    }
    WindowRig rig;
    rig.Build();
    TForm1& window = *rig.Window;
    window.move(0, 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    rig.Open(DataPath("cbr96_id3v1.mp3"));
    const auto select = [&window](int start, int end) {
        window.TrackBar1()->setValue(start);
        window.BitBtn8Click();
        window.TrackBar1()->setValue(end);
        window.BitBtn9Click();
        window.BitBtn6Click();
    };
    select(0, 25);
    select(25, 60);
    window.TrackBar1()->setValue(37);
    QTest::qWait(300);

    const QPixmap shot = window.screen()->grabWindow(
        0, window.x(), window.y(), window.frameGeometry().width(), window.frameGeometry().height());
    ASSERT_TRUE(shot.save(target));
}

} // namespace
