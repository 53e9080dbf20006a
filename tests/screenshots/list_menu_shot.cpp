#include "test_support.h"
#include "ui/list_file_commands.h"
#include "ui/pause_split_dialog.h"
#include "ui/qt_platform_services.h"
#include "ui/split_list_panel.h"
#include "user_home.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <vector>

using namespace ui_test;
using shots::Settle;

namespace {

// Writes the pictures of the split list's List menu into the folder named by
// KERFLINE_SCREENSHOT_DIR. The sources are copied into the Music folder of a
// home made in the temporary folder, so that the paths the pictures show are a user's.
class ListMenuScreenshotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = qEnvironmentVariable("KERFLINE_SCREENSHOT_DIR");
        if (folder.isEmpty()) {
            GTEST_SKIP() << "KERFLINE_SCREENSHOT_DIR is not set";
        }
    }

    void Save(const QPixmap& picture, const char* name) {
        EXPECT_TRUE(picture.save(QDir(folder).filePath(name))) << name;
    }

    // The window's rectangle of the screen, with any menu open over it.
    static QPixmap ScreenOf(QWidget& window) {
        return window.screen()->grabWindow(0, window.x(), window.y(),
                                           window.frameGeometry().width(),
                                           window.frameGeometry().height());
    }

    QString folder;
    shots::UserHome user;
};

TEST_F(ListMenuScreenshotsTest, WritesTheListMenuAndItsDialogs) {
    const QString cue = user.Album();
    const QString source = QDir(user.Music).filePath("Harbour Sessions.mp3");

    WindowRig rig;
    rig.Build();
    TForm1& window = *rig.Window;
    window.move(0, 0);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    rig.Open(source);
    shots::HideSoundNotice(window);
    shots::WaitForOverview(window);

    auto* commands = window.findChild<ListFileCommands*>("ListFileCommands");
    ASSERT_NE(commands, nullptr);
    rig.Choosers.CueFiles.push_back(cue);
    commands->ImportCue();
    auto* panel = window.findChild<SplitListPanel*>();
    panel->ListView()->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
    panel->ListView()->setCurrentItem(panel->ListView()->topLevelItem(2));
    // Wide enough, its columns fitted, for the titles, performers and album the sheet brought in.
    QTreeWidget* list = panel->ListView();
    const QSize firstSize = window.size();
    std::vector<int> firstWidths;
    window.resize(980, firstSize.height());
    for (int column = 0; column < list->columnCount(); ++column) {
        firstWidths.push_back(list->columnWidth(column));
        list->resizeColumnToContents(column);
    }
    Settle();
    Save(ScreenOf(window), "import-cue.png");
    window.resize(firstSize);
    for (int column = 0; column < list->columnCount(); ++column) {
        list->setColumnWidth(column, firstWidths[column]);
    }
    Settle();

    // The menu opened from its button; above it and flush with its right edge,
    // as it opens when the window meets the bottom of the screen, so that the
    // picture of the window holds it whole.
    auto* button = window.findChild<QToolButton*>("ListButton");
    QMenu* menu = commands->Menu();
    const QSize size = menu->sizeHint();
    menu->popup(button->mapToGlobal(QPoint(button->width() - size.width(), -size.height())));
    Settle();
    Save(ScreenOf(window), "list-menu.png");
    menu->hide();

    // The real save chooser, as Export cue and Save list open it.
    QtFileChoosers choosers;
    QTimer::singleShot(800, [this] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->setSidebarUrls(
            {QUrl("file:"), QUrl::fromLocalFile(user.Home), QUrl::fromLocalFile(user.Music)});
        dialog->resize(760, 420);
        Settle(400);
        auto* files = dialog->findChild<QTreeView*>("treeView");
        ASSERT_NE(files, nullptr);
        for (int column = 1; column < files->model()->columnCount(files->rootIndex()); ++column) {
            files->resizeColumnToContents(column);
        }
        files->setColumnWidth(0, 260);
        Settle();
        Save(dialog->grab(), "export-cue.png");
        dialog->reject();
    });
    choosers.ChooseCueToSave(&window, "Export cue", cue);

    // Split at pauses on a source with two quiet stretches, once measured.
    const QString pauses = user.Copy("tone_silence.mp3", "Rehearsal take 3.mp3");
    rig.Open(pauses);
    shots::HideSoundNotice(window);
    PauseSplitDialog dialog(window.Context(), *panel, PauseSettings{}, &window);
    QSignalSpy measured(&dialog, &PauseSplitDialog::MeasuringDone);
    dialog.show();
    dialog.StartMeasuring();
    ASSERT_TRUE(measured.wait(20000));
    Settle();
    Save(dialog.grab(), "split-at-pauses.png");
    dialog.reject();
}

} // namespace
