#include "split_road_support.h"
#include "ui/edit_section_dialog.h"
#include "ui/up_down.h"

#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace split_road;

namespace {

class EditSectionDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        OpenSource(env.Context, DataPath("cbr96_id3v1_track.mp3"));
        env.Context.State.PositionStep = 100;
        env.Context.List.AddEntry(12345, 20000, env.Context.AudioInfo.Tag);
    }

    QLineEdit* Field(TForm4& dialog, const char* name) {
        return dialog.findChild<QLineEdit*>(name);
    }
    UpDownButtons* UpDown(TForm4& dialog, const char* name) {
        return dialog.findChild<UpDownButtons*>(name);
    }
    const SplitListItem& Entry() const { return env.Context.List[0]; }

    TestContext env;
};

TEST_F(EditSectionDialogTest, ShowsTheEntryAndItsTruncatedPositions) {
    TForm4 dialog(env.Context, 0, 300);
    EXPECT_EQ(dialog.windowTitle(), "Edit section info");
    EXPECT_EQ(dialog.size(), QSize(314, 385));
    EXPECT_EQ(Field(dialog, "LabeledEdit1")->text(), "00:12.3");
    EXPECT_EQ(Field(dialog, "LabeledEdit2")->text(), "00:20.0");
    EXPECT_EQ(UpDown(dialog, "UpDown1")->Position(), 123);
    EXPECT_EQ(UpDown(dialog, "UpDown1")->Maximum(), 300);
    EXPECT_EQ(UpDown(dialog, "UpDown2")->Position(), 200);
    EXPECT_EQ(Field(dialog, "Title")->text().toStdString(), Entry().Title);
    EXPECT_EQ(Field(dialog, "year")->maxLength(), 4);
    EXPECT_EQ(Field(dialog, "Comment")->maxLength(), 30);
    EXPECT_TRUE(dialog.findChild<QPushButton*>("Button2")->isDefault());
}

TEST_F(EditSectionDialogTest, OkWithoutStepsKeepsTheExactTimes) {
    TForm4 dialog(env.Context, 0, 300);
    dialog.findChild<QPushButton*>("Button2")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(Entry().StartMs, 12345);
    EXPECT_EQ(Entry().EndMs, 20000);
}

TEST_F(EditSectionDialogTest, EachClickMovesOneWholePosition) {
    {
        TForm4 dialog(env.Context, 0, 300);
        UpDown(dialog, "UpDown1")->UpButton()->click();
        EXPECT_EQ(dialog.EditStartMs(), 12400);
        EXPECT_EQ(Field(dialog, "LabeledEdit1")->text(), "00:12.4");
    }
    TForm4 dialog(env.Context, 0, 300);
    UpDown(dialog, "UpDown1")->DownButton()->click();
    UpDown(dialog, "UpDown2")->UpButton()->click();
    EXPECT_EQ(dialog.EditStartMs(), 12200);
    EXPECT_EQ(dialog.EditEndMs(), 20100);
    dialog.findChild<QPushButton*>("Button2")->click();
    EXPECT_EQ(Entry().StartMs, 12200);
    EXPECT_EQ(Entry().EndMs, 20100);
}

TEST_F(EditSectionDialogTest, OkStoresTextsCutToCapacityAndKeepsTheGenre) {
    const std::uint8_t genre = Entry().Genre;
    TForm4 dialog(env.Context, 0, 300);
    Field(dialog, "Title")->setText("");
    Field(dialog, "Artist")->setText(QString(40, 'a'));
    Field(dialog, "year")->setText("19xx9");
    Field(dialog, "Comment")->setText(QString::fromUtf8("caf\u00e9 \u2013 \U0001F3B5"));
    dialog.findChild<QPushButton*>("Button2")->click();
    EXPECT_EQ(Entry().Title, "");
    EXPECT_EQ(Entry().Artist, std::string(30, 'a'));
    EXPECT_EQ(Entry().Year, "19xx");
    EXPECT_EQ(Entry().Comment, "caf\u00e9 \u2013 \U0001F3B5");
    EXPECT_EQ(Entry().Genre, genre);
}

// Texts longer than the fields' limits come from cue sheets and saved lists;
// OK for a change of times keeps them whole rather than cutting them.
TEST_F(EditSectionDialogTest, OkKeepsLongerTextsItDidNotChange) {
    SplitListItem& entry = env.Context.List[0];
    entry.Title = "Symphony No. 9 in D minor, Op. 125: IV. Presto";
    entry.Artist = "Orchestra of the Age of Enlightenment";
    entry.Year = "2020-05-01";
    const SplitListItem before = entry;
    TForm4 dialog(env.Context, 0, 300);
    UpDown(dialog, "UpDown2")->UpButton()->click();
    dialog.findChild<QPushButton*>("Button2")->click();
    EXPECT_EQ(Entry().Title, before.Title);
    EXPECT_EQ(Entry().Artist, before.Artist);
    EXPECT_EQ(Entry().Year, before.Year);
    EXPECT_EQ(Entry().EndMs, 20100);
}

TEST_F(EditSectionDialogTest, CancelLeavesTheEntryAsItWas) {
    const SplitListItem before = Entry();
    TForm4 dialog(env.Context, 0, 300);
    UpDown(dialog, "UpDown1")->UpButton()->click();
    Field(dialog, "Title")->setText("changed");
    dialog.findChild<QPushButton*>("Button1")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(Entry().StartMs, before.StartMs);
    EXPECT_EQ(Entry().Title, before.Title);
}

} // namespace

namespace {

// The Volume fields: each set of values as the row keeps it, the list's
// text for it, and undo bringing back the row's volume before.
TEST_F(EditSectionDialogTest, VolumeFieldsSetTheRowsGainAndFadesAndUndoTakesThemBack) {
    const struct {
        double GainDb;
        int FadeInMs, FadeOutMs;
        PartVolume Stored;
        const char* Shown;
    } cases[] = {
        {3.0, 0, 0, {2, 0, 0}, "+3.0 dB"},
        {-4.0, 2000, 0, {-3, 2000, 0}, "-4.5 dB, fade in 2 s"}, // taken to the nearest step
        {0.0, 1500, 1000, {0, 1500, 1000}, "0.0 dB, fade in 1.5 s, out 1 s"},
        {0.0, 0, 0, {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Shown);
        const PartVolume before = Entry().Volume;
        TForm4 dialog(env.Context, 0, 300);
        dialog.findChild<QDoubleSpinBox*>("Gain")->setValue(c.GainDb);
        dialog.findChild<QSpinBox*>("FadeIn")->setValue(c.FadeInMs);
        dialog.findChild<QSpinBox*>("FadeOut")->setValue(c.FadeOutMs);
        dialog.findChild<QPushButton*>("Button2")->click();
        EXPECT_EQ(Entry().Volume, c.Stored);
        EXPECT_EQ(VolumeText(Entry().Volume), c.Shown);
        if (before != c.Stored) {
            ASSERT_TRUE(env.Context.Session.Undo());
            EXPECT_EQ(Entry().Volume, before);
            ASSERT_TRUE(env.Context.Session.Redo());
        }
    }
}

} // namespace
