#include "split_road_support.h"
#include "ui/split_by_parts_dialog.h"
#include "ui/split_list_panel.h"
#include "ui/up_down.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace split_road;

namespace {

class SplitByPartsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenSource(env.Context, DataPath("cbr128_44k_joint.mp3"));
        env.Context.State.DurationMsExact = 9000.0;
        env.Context.State.DurationMs = 9000;
        env.Context.State.PositionStep = 100;
        dialog.show();
    }

    QLineEdit* Count() { return dialog.findChild<QLineEdit*>("LabeledEdit1"); }
    QLineEdit* Overlap() { return dialog.findChild<QLineEdit*>("LabeledEdit2"); }
    UpDownButtons* UpDown(const char* name) { return dialog.findChild<UpDownButtons*>(name); }
    void PressOk() { dialog.findChild<QPushButton*>("Button1")->click(); }
    std::vector<std::pair<int, int>> Ranges() const {
        std::vector<std::pair<int, int>> ranges;
        for (const SplitListItem& entry : env.Context.List.Entries()) {
            ranges.emplace_back(entry.StartMs, entry.EndMs);
        }
        return ranges;
    }

    TestContext env;
    SplitListPanel panel{env.Context};
    TForm8 dialog{env.Context, panel};
};

TEST_F(SplitByPartsDialogTest, StartsWithTwoPartsAndNoOverlap) {
    EXPECT_EQ(dialog.windowTitle(), "Split by parts");
    EXPECT_EQ(dialog.size(), QSize(320, 150));
    EXPECT_EQ(Count()->text(), "2");
    EXPECT_EQ(Count()->maxLength(), 3);
    EXPECT_EQ(Overlap()->text(), "00:00.0");
    EXPECT_TRUE(Overlap()->isReadOnly());
    EXPECT_EQ(UpDown("UpDown1")->Maximum(), 999);
    EXPECT_EQ(UpDown("UpDown2")->Maximum(), 90);
    EXPECT_TRUE(dialog.findChild<QPushButton*>("Button1")->isDefault());
}

TEST_F(SplitByPartsDialogTest, OnlyDigitsAndBackspaceCanBeTyped) {
    Count()->setFocus();
    Count()->selectAll();
    QTest::keyClicks(Count(), "a");
    EXPECT_EQ(Count()->text(), "2");
    QTest::keyClick(Count(), Qt::Key_End);
    QTest::keyClicks(Count(), "x-5 .7");
    EXPECT_EQ(Count()->text(), "257");
    QTest::keyClicks(Count(), "9");
    EXPECT_EQ(Count()->text(), "257");
    QTest::keyClick(Count(), Qt::Key_Backspace);
    EXPECT_EQ(Count()->text(), "25");
    EXPECT_EQ(UpDown("UpDown1")->Position(), 25);
    // Enter in the count field presses OK, as in any other dialog.
    QTest::keyClick(Count(), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(env.Context.List.SplitCount(), 25);
}

TEST_F(SplitByPartsDialogTest, CountUpDownStaysWithinTwoAndTheLimit) {
    UpDown("UpDown1")->DownButton()->click();
    EXPECT_EQ(Count()->text(), "2");
    UpDown("UpDown1")->UpButton()->click();
    EXPECT_EQ(Count()->text(), "3");
}

TEST_F(SplitByPartsDialogTest, ThreePartsWithOverlapLengthenAllButTheLast) {
    Count()->setText("3");
    for (int i = 0; i < 20; ++i) {
        UpDown("UpDown2")->UpButton()->click();
    }
    EXPECT_EQ(Overlap()->text(), "00:02.0");
    PressOk();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Ranges(), (std::vector<std::pair<int, int>>{{0, 5000}, {3000, 8000}, {6000, 9000}}));
    ASSERT_EQ(panel.ListView()->topLevelItemCount(), 3);
    EXPECT_EQ(panel.ListView()->topLevelItem(1)->text(1), "00:03.0");
    EXPECT_EQ(panel.ListView()->topLevelItem(2)->checkState(0), Qt::Checked);
}

TEST_F(SplitByPartsDialogTest, EmptyOrTooSmallCountsGiveTwoParts) {
    Count()->setText("");
    PressOk();
    EXPECT_EQ(Count()->text(), "2");
    EXPECT_EQ(env.Context.List.SplitCount(), 2);
    Count()->setText("1");
    PressOk();
    EXPECT_EQ(Count()->text(), "1");
    EXPECT_EQ(env.Context.List.SplitCount(), 4);
}

TEST_F(SplitByPartsDialogTest, PastedTextThatIsNoNumberAddsNothing) {
    Count()->setText("x1");
    PressOk();
    EXPECT_EQ(env.Context.List.SplitCount(), 0);
    ASSERT_EQ(env.Messages.Shown.size(), 1u);
    EXPECT_EQ(env.Messages.Shown[0].Kind, MessageKind::Error);
    EXPECT_EQ(env.Messages.Shown[0].Text, "'x1' is not a valid integer value");
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(SplitByPartsDialogTest, TheLimitStopsTheLoopAndKeepsTheDialogOpen) {
    for (int i = 0; i < 998; ++i) {
        env.Context.List.AddEntry(0, 10, env.Context.AudioInfo.Tag);
    }
    panel.AppendRows(0, 998);
    Count()->setText("3");
    PressOk();
    EXPECT_EQ(env.Context.List.SplitCount(), 999);
    EXPECT_EQ(panel.ListView()->topLevelItemCount(), 999);
    ASSERT_EQ(env.Messages.Shown.size(), 1u);
    EXPECT_EQ(env.Messages.Shown[0].Kind, MessageKind::Information);
    EXPECT_EQ(env.Messages.Shown[0].Text, "Sorry! In this program you can add only 999 parts!");
    EXPECT_TRUE(dialog.isVisible());
    PressOk();
    EXPECT_EQ(env.Context.List.SplitCount(), 999);
    EXPECT_EQ(env.Messages.Shown.size(), 2u);
}

} // namespace
