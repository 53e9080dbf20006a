#include "split/split_list.h"
#include "split_road_support.h"
#include "ui/edit_section_dialog.h"
#include "ui/split_list_panel.h"
#include "ui/up_down.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace split_road;

namespace {

class SplitListPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenSource(env.Context, DataPath("cbr96_id3v1.mp3"));
        panel.SetSplitButtonEnabler([this](bool enabled) { splitEnabled = enabled; });
    }

    QTreeWidget* List() const { return panel.ListView(); }
    QString Cell(int row, int column) const { return List()->topLevelItem(row)->text(column); }
    bool RowChecked(int row) const {
        return List()->topLevelItem(row)->checkState(0) == Qt::Checked;
    }
    void Select(int row) { List()->setCurrentItem(List()->topLevelItem(row)); }
    QPushButton* Button(const char* name) const { return panel.findChild<QPushButton*>(name); }

    TestContext env;
    SplitListPanel panel{env.Context};
    bool splitEnabled = false;
};

TEST_F(SplitListPanelTest, ListViewHasTheTenColumnsAndItsCaption) {
    EXPECT_EQ(panel.title(),
              " Split List    (Hint: Mouse rightclick for menu, doubleclick for play)  ");
    ASSERT_EQ(List()->objectName(), "ListView1");
    const QStringList captions = {"V",      "Start", "End",  "Length",  "Title",
                                  "Artist", "Album", "Year", "Comment", "Volume"};
    // The time columns have room for hours.
    const int time = List()->fontMetrics().horizontalAdvance("10:00:00.0");
    const int widths[] = {25, 0, 0, 0, 125, 125, 100, 50, 70, 70};
    for (int column = 0; column < 10; ++column) {
        EXPECT_EQ(List()->headerItem()->text(column), captions[column]);
        if (widths[column] == 0) {
            EXPECT_GT(List()->columnWidth(column), time);
        } else {
            EXPECT_EQ(List()->columnWidth(column), widths[column]);
        }
    }
    EXPECT_EQ(List()->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(List()->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(List()->toolTip(), "Splitlist");
    for (const char* name : {"BitBtn4", "BitBtn10", "BitBtn2", "BitBtn1"}) {
        EXPECT_FALSE(Button(name)->isEnabled()) << name;
    }
}

TEST_F(SplitListPanelTest, AddSelectionAppendsACheckedRowWithTheSourceTag) {
    panel.AddSelectionToList(20, 55);
    ASSERT_EQ(env.Context.List.SplitCount(), 1);
    ASSERT_EQ(List()->topLevelItemCount(), 1);
    EXPECT_EQ(env.Context.List[0].StartMs, 2000);
    EXPECT_EQ(env.Context.List[0].EndMs, 5500);
    EXPECT_EQ(Cell(0, 0), "");
    EXPECT_EQ(Cell(0, 1), "00:02.0");
    EXPECT_EQ(Cell(0, 2), "00:05.5");
    EXPECT_EQ(Cell(0, 3), "00:03.5");
    const TID3v1Tag& tag = env.Context.AudioInfo.Tag;
    EXPECT_EQ(Cell(0, 4), QString::fromLatin1(tag.Title));
    EXPECT_EQ(Cell(0, 5), QString::fromLatin1(tag.Artist));
    EXPECT_EQ(Cell(0, 7), QString::fromLatin1(tag.Year));
    EXPECT_TRUE(RowChecked(0));
    EXPECT_TRUE(splitEnabled);
    for (const char* name : {"BitBtn4", "BitBtn10", "BitBtn2", "BitBtn1"}) {
        EXPECT_TRUE(Button(name)->isEnabled()) << name;
    }
}

TEST_F(SplitListPanelTest, EmptyOrReversedSelectionAddsNothingAndSaysNothing) {
    panel.AddSelectionToList(30, 30);
    panel.AddSelectionToList(40, 10);
    EXPECT_EQ(env.Context.List.SplitCount(), 0);
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_TRUE(env.Messages.Shown.empty());
    EXPECT_FALSE(splitEnabled);
}

TEST_F(SplitListPanelTest, TheNineHundredNinetyNinthEntryIsTheLast) {
    for (int i = 0; i < SplitList::MaxParts - 1; ++i) {
        panel.AddSelectionToList(i % 50, i % 50 + 1);
    }
    EXPECT_TRUE(env.Messages.Shown.empty());
    panel.AddSelectionToList(1, 2);
    EXPECT_EQ(env.Context.List.SplitCount(), 999);
    panel.AddSelectionToList(1, 2);
    EXPECT_EQ(env.Context.List.SplitCount(), 999);
    EXPECT_EQ(List()->topLevelItemCount(), 999);
    ASSERT_EQ(env.Messages.Shown.size(), 1u);
    EXPECT_EQ(env.Messages.Shown[0].Kind, MessageKind::Information);
    EXPECT_EQ(env.Messages.Shown[0].Text, "Sorry! In this program you can add only 999 parts!");
}

TEST_F(SplitListPanelTest, RemovingTheMiddleRowKeepsTheOthersWithTheirCheckMarks) {
    panel.AddSelectionToList(0, 10);
    panel.AddSelectionToList(10, 20);
    panel.AddSelectionToList(20, 30);
    List()->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    EXPECT_FALSE(env.Context.List[2].Checked);
    Select(1);
    Button("BitBtn2")->click();
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    ASSERT_EQ(env.Context.List.SplitCount(), 2);
    EXPECT_EQ(Cell(0, 1), "00:00.0");
    EXPECT_EQ(Cell(1, 1), "00:02.0");
    EXPECT_EQ(env.Context.List[1].StartMs, 2000);
    EXPECT_TRUE(RowChecked(0));
    EXPECT_FALSE(RowChecked(1));
    EXPECT_TRUE(env.Context.List[0].Checked);
    EXPECT_FALSE(env.Context.List[1].Checked);
    EXPECT_TRUE(splitEnabled);
}

TEST_F(SplitListPanelTest, RemovingTheLastEntryOrAllDisablesTheListButtons) {
    panel.AddSelectionToList(0, 10);
    Select(0);
    panel.RemoveSelectedPart();
    EXPECT_EQ(env.Context.List.SplitCount(), 0);
    EXPECT_FALSE(splitEnabled);
    EXPECT_FALSE(Button("BitBtn1")->isEnabled());

    panel.AddSelectionToList(0, 10);
    panel.AddSelectionToList(10, 20);
    Button("BitBtn1")->click();
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_EQ(env.Context.List.SplitCount(), 0);
    EXPECT_FALSE(splitEnabled);
    for (const char* name : {"BitBtn4", "BitBtn10", "BitBtn2", "BitBtn1"}) {
        EXPECT_FALSE(Button(name)->isEnabled()) << name;
    }
}

TEST_F(SplitListPanelTest, CommandsWithoutASelectedRowDoNothing) {
    panel.AddSelectionToList(0, 10);
    List()->clearSelection();
    int plays = 0;
    QObject::connect(&panel, &SplitListPanel::PlayPartRequested, [&plays] { ++plays; });
    panel.RemoveSelectedPart();
    panel.PlaySelectedPart();
    panel.EditSelectedPart();
    EXPECT_EQ(env.Context.List.SplitCount(), 1);
    EXPECT_EQ(plays, 0);
    EXPECT_TRUE(env.Messages.Shown.empty());
}

TEST_F(SplitListPanelTest, ContextMenuItemsNeedASelectedRow) {
    const auto items = [this] {
        std::vector<bool> enabled;
        for (const char* name : {"Play1", "Edit1", "Delete1"}) {
            enabled.push_back(panel.PopupMenu()->findChild<QAction*>(name) != nullptr &&
                              panel.PopupMenu()->findChild<QAction*>(name)->isEnabled());
        }
        return enabled;
    };
    panel.PopupMenu1Popup();
    EXPECT_EQ(items(), std::vector<bool>({false, false, false}));
    panel.AddSelectionToList(0, 10);
    List()->clearSelection();
    panel.PopupMenu1Popup();
    EXPECT_EQ(items(), std::vector<bool>({false, false, false}));
    Select(0);
    panel.PopupMenu1Popup();
    EXPECT_EQ(items(), std::vector<bool>({true, true, true}));
}

TEST_F(SplitListPanelTest, PlayAndDoubleClickRequestTheEntryExactRange) {
    env.Context.List.AddEntry(12345, 20000, env.Context.AudioInfo.Tag);
    panel.AppendRows(0, 1);
    std::vector<std::pair<int, int>> requests;
    QObject::connect(&panel, &SplitListPanel::PlayPartRequested,
                     [&requests](int start, int end) { requests.emplace_back(start, end); });
    Select(0);
    panel.PlaySelectedPart();
    emit List()->itemDoubleClicked(List()->topLevelItem(0), 2);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0], std::make_pair(12345, 20000));
    EXPECT_EQ(requests[1], std::make_pair(12345, 20000));
}

TEST_F(SplitListPanelTest, EditRefreshesTheRowAndKeepsItsCheckMark) {
    panel.AddSelectionToList(0, 10);
    panel.AddSelectionToList(10, 40);
    List()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    Select(1);
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TForm4*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<UpDownButtons*>("UpDown1")->UpButton()->click();
        dialog->findChild<QLineEdit*>("Title")->setText(
            QString::fromUtf8("Zweiter Teil \u00e9 \u2013 \u00fc"));
        dialog->findChild<QPushButton*>("Button2")->click();
    });
    Button("BitBtn10")->click();
    EXPECT_EQ(env.Context.List[1].StartMs, 1100);
    EXPECT_EQ(env.Context.List[1].Title, "Zweiter Teil \u00e9 \u2013 \u00fc");
    EXPECT_EQ(Cell(1, 1), "00:01.1");
    EXPECT_EQ(Cell(1, 3), "00:02.9");
    EXPECT_EQ(Cell(1, 4), QString::fromUtf8("Zweiter Teil \u00e9 \u2013 \u00fc"));
    EXPECT_FALSE(RowChecked(1));
    EXPECT_FALSE(env.Context.List[1].Checked);
}

// The list's buttons too: on an empty list they would do nothing.
TEST_F(SplitListPanelTest, OpeningASourceEmptiesTheListAndDisablesSplit) {
    panel.AddSelectionToList(0, 10);
    panel.SourceOpened();
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_FALSE(splitEnabled);
    for (const char* name : {"BitBtn4", "BitBtn10", "BitBtn2", "BitBtn1"})
        EXPECT_FALSE(Button(name)->isEnabled()) << name;
}

} // namespace
