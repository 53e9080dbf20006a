#include "test_support.h"
#include "ui/list_file_commands.h"
#include "ui/position_slider.h"
#include "ui/split_list_panel.h"
#include "user_home.h"

#include <QMenu>
#include <QScreen>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace ui_test;

namespace {

// Takes the pictures of the main window for the documentation, at its first
// size and grown, into the folder named by KERFLINE_SCREENSHOT_DIR: the album
// from the Music folder walked at open, its cue sheet in the split list, a
// marked selection and the overview. scripts/screenshots.sh runs it on a virtual display.
TEST(MainWindowScreenshot, TakenWhenAsked) {
    const QString folder = qEnvironmentVariable("KERFLINE_SCREENSHOT_DIR");
    if (folder.isEmpty()) {
        GTEST_SKIP() << "KERFLINE_SCREENSHOT_DIR is not set";
    }
    shots::UserHome user;
    const QString cue = user.Album();
    WindowRig rig;
    rig.Build();
    TForm1& window = *rig.Window;
    window.Context().PreloadOption = true;
    window.move(0, 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    for (const char* name : {"Tide Tables.mp3", "Morning Light.mp3"}) {
        rig.Open(user.Copy("cbr128_44k_joint.mp3", name));
    }
    rig.Open(QDir(user.Music).filePath("Harbour Sessions.mp3"));
    shots::HideSoundNotice(window);
    rig.Choosers.CueFiles.push_back(cue);
    window.findChild<ListFileCommands*>("ListFileCommands")->ImportCue();
    QTreeWidget* list = window.findChild<SplitListPanel*>()->ListView();
    list->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
    list->setCurrentItem(list->topLevelItem(1));
    window.TrackBar1()->setValue(678);
    window.BitBtn8Click();
    window.TrackBar1()->setValue(1298);
    window.BitBtn9Click();
    window.TrackBar1()->setValue(905);
    shots::WaitForOverview(window);

    const auto save = [&window, &folder](const char* name) {
        shots::Settle(300);
        const QPixmap shot =
            window.screen()->grabWindow(0, window.x(), window.y(), window.frameGeometry().width(),
                                        window.frameGeometry().height());
        EXPECT_TRUE(shot.save(QDir(folder).filePath(name))) << name;
    };
    save("main-window.png");
    window.resize(940, 700);
    save("main-window-grown.png");

    // The recent files under the arrow beside Open, over the top of the window,
    // whose whole width shows the row of Open and Join files.
    auto* arrow = window.findChild<QToolButton*>("RecentFilesButton");
    QMenu* recent = arrow->menu();
    recent->popup(arrow->mapToGlobal(QPoint(0, arrow->height())));
    shots::Settle(300);
    const QPixmap top =
        window.screen()->grabWindow(0, window.x(), window.y(), window.frameGeometry().width(), 150);
    EXPECT_TRUE(top.save(QDir(folder).filePath("recent-files.png")));
    recent->hide();
}

} // namespace
