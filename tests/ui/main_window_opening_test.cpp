#include "test_support.h"
#include "ui/list_file_commands.h"
#include "ui/overview_strip.h"
#include "ui/position_slider.h"
#include "ui/recent_files_menu.h"
#include "ui/split_list_panel.h"

#include <QApplication>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace ui_test;

namespace {

class MainWindowOpeningTest : public ::testing::Test {
protected:
    void SetUp() override { rig.Build(); }

    TForm1& Window() { return *rig.Window; }
    QString Text(const char* label) { return Window().findChild<QLabel*>(label)->text(); }
    std::string Source() { return Window().Context().State.SourceFileName; }

    // Drags the file over the window and drops it there; whether the window took it.
    bool Drop(const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Window(), &enter);
        if (enter.isAccepted()) {
            QApplication::sendEvent(&Window(), &drop);
        }
        QApplication::processEvents();
        return enter.isAccepted();
    }

    RecentFilesMenu* Menu() {
        auto* menu = Window().findChild<RecentFilesMenu*>();
        emit menu->aboutToShow();
        return menu;
    }
    QStringList MenuTexts() {
        QStringList texts;
        for (const QAction* action : Menu()->actions()) {
            // As shown: a single "&" marks a shortcut letter and is not drawn.
            texts.append(action->isEnabled() ? action->iconText() : "-" + action->iconText());
        }
        return texts;
    }

    QTemporaryDir dir;
    WindowRig rig;
};

TEST_F(MainWindowOpeningTest, ADroppedMp3OpensAsOpenWouldAndOtherFilesAreRefused) {
    EXPECT_FALSE(Drop(DataPath("README.md")));
    const QString path = DataPath("cbr96_id3v1.mp3");
    EXPECT_TRUE(Drop(path));
    EXPECT_EQ(Source(), path.toStdString());
    EXPECT_EQ(Text("Label2"), "Title:          Morning Light");
    EXPECT_EQ(rig.Choosers.SourceRequests, 0);
}

TEST_F(MainWindowOpeningTest, TheRecentFilesMenuListsWhatWasOpenedAndOpensIt) {
    EXPECT_EQ(MenuTexts(), QStringList{"-No recent files"});
    const QString gone = dir.filePath("gone.mp3");
    const QString tagged = DataPath("cbr96_id3v1.mp3");
    const QString plain = DataPath("cbr128_44k_joint.mp3");
    QFile::copy(plain, gone);
    for (const QString& path : {plain, gone, tagged, plain, dir.filePath("refused.mp3")}) {
        rig.Open(path);
    }
    QFile::remove(gone);
    EXPECT_EQ(MenuTexts(), (QStringList{plain, tagged}));

    rig.Window.reset(); // a later run
    rig.Build();
    Menu()->actions().at(1)->trigger();
    EXPECT_EQ(Source(), tagged.toStdString());
    EXPECT_EQ(MenuTexts(), (QStringList{tagged, plain}));

    const QString ampersand = dir.filePath("Rock & Roll.mp3");
    QFile::copy(tagged, ampersand);
    rig.Open(ampersand);
    EXPECT_EQ(MenuTexts().front(), ampersand);
}

TEST_F(MainWindowOpeningTest, TheWindowGrowsIntoTheListAndTheOverviewAndKeepsItsSize) {
    EXPECT_EQ(Window().size(), QSize(TForm1::ClientWidth, TForm1::ClientHeight));
    EXPECT_EQ(Window().minimumSize(), Window().size());
    Window().show();
    QTreeWidget* list = Window().findChild<SplitListPanel*>()->ListView();
    const QSize listBefore = list->size();
    const int overviewBefore = Window().Overview()->height();
    Window().resize(960, 750);
    QApplication::processEvents();
    EXPECT_GT(list->width() - listBefore.width(), 400);
    EXPECT_GT(list->height() - listBefore.height(), 80);
    EXPECT_GT(Window().Overview()->height() - overviewBefore, 20);
    EXPECT_LE(list->header()->length(), list->viewport()->width()); // every column in view

    Window().close();
    rig.Window.reset();
    rig.Build();
    EXPECT_EQ(Window().size(), QSize(960, 750));
}

// Open, a recent file, a drop, Load list and closing the window each ask
// before they throw away rows neither split nor saved; No keeps the source
// and the list, Yes goes on. Saved rows are not asked about until they change.
TEST_F(MainWindowOpeningTest, UnkeptRowsAreAskedAboutBeforeTheListIsEmptied) {
    const QString first = DataPath("cbr128_44k_joint.mp3");
    const QString other = DataPath("cbr96_id3v1.mp3");
    const QString saved = dir.filePath("list.cue");
    auto* commands = Window().findChild<ListFileCommands*>();
    const auto fill = [&] {
        rig.Open(first);
        for (int end : {20, 40}) {
            Window().TrackBar1()->SetSelection(end - 10, end);
            Window().BitBtn6Click();
        }
        ASSERT_EQ(Window().Context().List.SplitCount(), 2);
    };
    const QString question =
        "The split list has 2 rows that were not split or saved. Discard them?";
    struct Case {
        const char* Way;
        std::function<void()> Leave;
    };
    const Case cases[] = {
        {"Open", [&] { rig.Open(other); }},
        {"recent files",
         [&] {
             for (QAction* action : Menu()->actions())
                 if (action->text() == other)
                     action->trigger();
         }},
        {"drop", [&] { Drop(other); }},
        {"Load list",
         [&] {
             rig.Choosers.CueFiles.push_back(saved);
             commands->LoadList();
         }},
        {"close", [&] { Window().close(); }},
    };
    rig.Open(other); // for the recent files menu
    fill();
    rig.Choosers.CueFiles.push_back(saved);
    commands->SaveList();
    Window().Context().List[0].Title = "changed";
    Window().TrackBar1()->SetSelection(50, 60);
    Window().BitBtn6Click();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Way);
        Window().show();
        rig.Messages.Shown.clear();
        rig.Messages.YesNoAnswers = {false};
        c.Leave();
        ASSERT_EQ(rig.Messages.Shown.size(), 1u);
        EXPECT_EQ(rig.Messages.Shown[0].Text, question);
        EXPECT_EQ(Source(), first.toStdString());
        EXPECT_EQ(Window().Context().List.SplitCount(), 3);
        EXPECT_TRUE(Window().isVisible());
    }
    rig.Messages.Shown.clear();
    rig.Messages.YesNoAnswers = {true};
    rig.Open(other);
    EXPECT_EQ(rig.Messages.Shown.size(), 1u);
    EXPECT_EQ(Window().Context().List.SplitCount(), 0);

    fill();
    rig.Choosers.CueFiles.push_back(saved);
    commands->SaveList();
    rig.Messages.Shown.clear();
    rig.Choosers.CueFiles.push_back(saved);
    commands->LoadList();
    Window().close();
    EXPECT_TRUE(rig.Messages.Shown.empty()) << "saved, then loaded: nothing to lose";
    EXPECT_FALSE(Window().isVisible());
}

// While the walk runs the window still shows the previous source whole: its
// path, tag and MPEG information change together once the walk is done.
TEST_F(MainWindowOpeningTest, PreloadAddsTheFramesLineAndTheGroupsChangeTogether) {
    const QString tagged = DataPath("cbr96_id3v1.mp3");
    rig.Open(tagged);
    EXPECT_EQ(Text("FramesLabel"), "");
    EXPECT_EQ(Window().findChild<QLabel*>("Label3")->toolTip(), "Artist: The Quiet Hours");

    Window().Context().PreloadOption = true;
    QStringList duringWalk;
    QTimer::singleShot(0, [&] {
        duringWalk = {Window().findChild<QLineEdit*>("Edit2")->text(), Text("Label2"),
                      Text("Label9")};
    });
    rig.Open(DataPath("junk_between_frames.mp3"));
    EXPECT_EQ(duringWalk, (QStringList{tagged, "Title:          Morning Light",
                                       "Filesize:            96896 bytes"}));
    EXPECT_EQ(Text("Label2"), "Title:");
    EXPECT_EQ(Text("FramesLabel"),
              QString("Frames: %1, skipped bytes: 10").arg(Window().Context().State.FrameCount));
}

} // namespace
