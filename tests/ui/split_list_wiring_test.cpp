#include "split_road_support.h"
#include "test_support.h"
#include "ui/edit_section_dialog.h"
#include "ui/position_slider.h"
#include "ui/save_dialog.h"
#include "ui/split_by_parts_dialog.h"
#include "ui/split_list_panel.h"
#include "ui/split_list_wiring.h"
#include "ui/up_down.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using Answer = MessageBoxes::OverwriteAnswer;
using Kind = ui_test::MessageKind;

namespace {

// The whole road as a user goes it in the main window: open, mark, add,
// divide, edit, untick, save, and save again over the files written.
class SplitListWiringTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(target.isValid());
        rig.Build();
        rig.Window->show();
        rig.Open(ui_test::DataPath("cbr96_id3v1.mp3"));
    }

    TForm1& Window() { return *rig.Window; }
    AppContext& Context() { return Window().Context(); }
    QPushButton* Button(const char* name) { return Window().findChild<QPushButton*>(name); }
    QTreeWidget* List() { return Window().findChild<QTreeWidget*>("ListView1"); }
    template <typename Dialog> static Dialog* Modal() {
        return qobject_cast<Dialog*>(QApplication::activeModalWidget());
    }

    void MarkAndAdd(int start, int end) {
        Window().TrackBar1()->setValue(start);
        Button("BitBtn8")->click();
        Window().TrackBar1()->setValue(end);
        Button("BitBtn9")->click();
        Button("BitBtn6")->click();
    }

    void AddEqualParts(int count, int overlapClicks) {
        QTimer::singleShot(0, [count, overlapClicks] {
            auto* dialog = Modal<TForm8>();
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QLineEdit*>("LabeledEdit1")->setText(QString::number(count));
            for (int i = 0; i < overlapClicks; ++i) {
                dialog->findChild<UpDownButtons*>("UpDown2")->UpButton()->click();
            }
            dialog->findChild<QPushButton*>("Button1")->click();
            if (dialog->isVisible()) {
                dialog->findChild<QPushButton*>("Button2")->click();
            }
        });
        Button("BitBtn11")->click();
    }

    void EditFirstEntry() {
        List()->setCurrentItem(List()->topLevelItem(0));
        QTimer::singleShot(0, [] {
            auto* dialog = Modal<TForm4>();
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<UpDownButtons*>("UpDown1")->UpButton()->click();
            dialog->findChild<QLineEdit*>("Title")->setText("Opening");
            dialog->findChild<QPushButton*>("Button2")->click();
        });
        Button("BitBtn10")->click();
    }

    void Save(bool chooseFolder) {
        QTimer::singleShot(0, [this, chooseFolder] {
            auto* dialog = Modal<TForm2>();
            ASSERT_NE(dialog, nullptr);
            if (chooseFolder) {
                rig.Choosers.Folders.push_back(target.path());
                dialog->findChild<QPushButton*>("BitBtn1")->click();
                dialog->findChild<QLineEdit*>("FileNameEdit")->setText("$F_$N");
            }
            dialog->findChild<QPushButton*>("BitBtn2")->click();
        });
        Button("BitBtn5")->click();
    }

    QString PartPath(int row) const {
        return target.path() + QString("/cbr96_id3v1_%1.mp3").arg(row + 1, 3, 10, QChar('0'));
    }

    void MarkFilesOld() {
        for (int row = 0; row < Context().List.SplitCount(); ++row) {
            if (!Context().List[row].Checked) {
                continue;
            }
            QFile file(PartPath(row));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("old");
        }
    }

    // Every checked row's file holds what the split engine writes for it.
    void ExpectEngineBytes() {
        QTemporaryDir engineFolder;
        const auto expected = split_road::EngineParts(Context(), engineFolder.path());
        for (int row = 0; row < Context().List.SplitCount(); ++row) {
            if (Context().List[row].Checked) {
                EXPECT_EQ(split_road::ReadBytes(PartPath(row).toStdString()), expected[row]) << row;
            } else {
                EXPECT_FALSE(QFile::exists(PartPath(row))) << row;
            }
        }
    }

    int Questions() const {
        int n = 0;
        for (const auto& message : rig.Messages.Shown) {
            n += message.Kind == Kind::Overwrite ? 1 : 0;
        }
        return n;
    }

    ui_test::WindowRig rig;
    QTemporaryDir target;
};

TEST_F(SplitListWiringTest, FromTwoSectionsAndThreeEqualPartsToTheFilesOnDisk) {
    ASSERT_NE(Window().findChild<SplitListWiring*>(), nullptr);
    MarkAndAdd(10, 25);
    MarkAndAdd(30, 52);
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_TRUE(Button("BitBtn5")->isEnabled());
    EXPECT_EQ(List()->topLevelItem(1)->text(1), "00:03.0");

    AddEqualParts(3, 5);
    ASSERT_EQ(Context().List.SplitCount(), 5);
    EXPECT_EQ(Context().List[2].StartMs, 0);
    EXPECT_EQ(Context().List[3].StartMs, Context().List[2].EndMs - 500);

    EditFirstEntry();
    EXPECT_EQ(Context().List[0].StartMs, 1100);
    EXPECT_EQ(List()->topLevelItem(0)->text(1), "00:01.1");
    EXPECT_EQ(List()->topLevelItem(0)->text(4), "Opening");

    List()->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
    EXPECT_FALSE(Context().List[3].Checked);

    Save(true);
    EXPECT_EQ(rig.Messages.InformationBeeps, 1);
    EXPECT_TRUE(rig.Messages.Errors().empty());
    EXPECT_EQ(QDir(target.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
    ExpectEngineBytes();

    // Second run: every question answered No, nothing is written.
    MarkFilesOld();
    rig.Messages.Answers = {Answer::No, Answer::No, Answer::No, Answer::No};
    Save(false);
    EXPECT_EQ(Questions(), 4);
    EXPECT_EQ(split_road::ReadBytes(PartPath(0).toStdString()), std::vector<char>({'o', 'l', 'd'}));
    EXPECT_EQ(rig.Messages.InformationBeeps, 1);

    // Third run: Yes to each question.
    rig.Messages.Answers = {Answer::Yes, Answer::Yes, Answer::Yes, Answer::Yes};
    Save(false);
    EXPECT_EQ(Questions(), 8);
    EXPECT_EQ(rig.Messages.InformationBeeps, 2);
    ExpectEngineBytes();

    // Fourth run: Yes to All at the first question.
    MarkFilesOld();
    rig.Messages.Answers = {Answer::YesToAll};
    Save(false);
    EXPECT_EQ(Questions(), 9);
    EXPECT_EQ(rig.Messages.InformationBeeps, 3);
    ExpectEngineBytes();
    EXPECT_TRUE(rig.Messages.Errors().empty());
}

TEST_F(SplitListWiringTest, PlayingAnEntryShowsItOnTheSliderAndPlaysItsExactRange) {
    Context().List.AddEntry(2345, 5000, Context().AudioInfo.Tag);
    Window().findChild<SplitListPanel*>()->AppendRows(0, 1);
    List()->setCurrentItem(List()->topLevelItem(0));
    emit List()->itemDoubleClicked(List()->topLevelItem(0), 1);
    EXPECT_EQ(Window().TrackBar1()->SelStart(), 23);
    EXPECT_EQ(Window().TrackBar1()->SelEnd(), 50);
    EXPECT_EQ(Window().UpDown1()->Position(), 23);
    EXPECT_EQ(Window().LabeledEdit1()->text(), "00:02.3");
    EXPECT_EQ(Window().LabeledEdit2()->text(), "00:05.0");
    EXPECT_TRUE(Window().Timer1()->isActive());
    EXPECT_EQ(Window().Player().CurrentMode(), MediaPlayer::Mode::Playing);
    EXPECT_EQ(Window().Label13()->text().left(7), "00:02.7");
}

TEST_F(SplitListWiringTest, TheLimitHoldsForAddToListAndSplitByParts) {
    for (int i = 0; i < SplitList::MaxParts - 1; ++i) {
        Context().List.AddEntry(0, 100, Context().AudioInfo.Tag);
    }
    Window().findChild<SplitListPanel*>()->AppendRows(0, SplitList::MaxParts - 1);
    AddEqualParts(3, 0);
    EXPECT_EQ(Context().List.SplitCount(), 999);
    MarkAndAdd(10, 20);
    EXPECT_EQ(Context().List.SplitCount(), 999);
    const QString limit = "Sorry! In this program you can add only 999 parts!";
    int shown = 0;
    for (const auto& message : rig.Messages.Shown) {
        shown += message.Kind == Kind::Information && message.Text == limit ? 1 : 0;
    }
    EXPECT_EQ(shown, 2);
}

TEST_F(SplitListWiringTest, OpeningAnotherSourceEmptiesTheList) {
    MarkAndAdd(10, 25);
    rig.Open(ui_test::DataPath("cbr128_44k_joint.mp3"));
    EXPECT_EQ(List()->topLevelItemCount(), 0);
    EXPECT_EQ(Context().List.SplitCount(), 0);
    EXPECT_FALSE(Button("BitBtn5")->isEnabled());
}

} // namespace
