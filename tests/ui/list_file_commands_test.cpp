#include "../chapter_source.h"
#include "test_support.h"
#include "ui/list_file_commands.h"
#include "ui/pause_split_dialog.h"

#include <QAction>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

using ui_test::MessageKind;

class ListFileCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        rig.Build();
        rig.Window->show();
        rig.Open(ui_test::DataPath("tone_silence.mp3"));
        commands = rig.Window->findChild<ListFileCommands*>("ListFileCommands");
        ASSERT_NE(commands, nullptr);
    }

    QTreeWidget* List() { return rig.Window->findChild<QTreeWidget*>("ListView1"); }
    QString Column(int row, int column) { return List()->topLevelItem(row)->text(column); }
    void Trigger(const QString& text) {
        emit commands->Menu()->aboutToShow();
        for (QAction* action : commands->Menu()->actions())
            if (action->text() == text) {
                ASSERT_TRUE(action->isEnabled()) << text.toStdString();
                action->trigger();
                return;
            }
        FAIL() << "no menu item " << text.toStdString();
    }
    QString Sheet(const char* name, const QByteArray& text) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }
    void Drop(const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.Window.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.Window.get(), &drop);
    }

    QTemporaryDir folder;
    ui_test::WindowRig rig;
    ListFileCommands* commands = nullptr;
};

const QByteArray kSheet = "PERFORMER \"Ensemble\"\nTITLE \"Tones\"\nFILE \"tone_silence.mp3\" MP3\n"
                          " TRACK 01 AUDIO\n  TITLE \"Low\"\n  INDEX 01 00:00:00\n"
                          " TRACK 02 AUDIO\n  TITLE \"Hütte\"\n  INDEX 01 00:02:56\n";

TEST_F(ListFileCommandsTest, TheSourcesChaptersFillTheListAndAreSavedAsOneFile) {
    QAction* import = rig.Window->findChild<QAction*>("ImportChaptersAction");
    ASSERT_NE(import, nullptr);
    emit commands->Menu()->aboutToShow();
    EXPECT_FALSE(import->isEnabled()); // tone_silence.mp3 has no chapters
    const QString source = folder.filePath("book.mp3");
    chapter_source::Make(
        ui_test::DataPath("cbr128_id3v2_cover.mp3").toStdString(), source.toStdString(),
        {{"a", 0, 3000, "Eins"}, {"b", 3000, 5500, "Zwei"}, {"c", 6000, 8000}}, {"a", "b", "c"});
    rig.Open(source);
    EXPECT_EQ(rig.Window->findChild<QLabel*>("ChaptersLabel")->text(), "Chapters: 3");
    Trigger("Import chapters");
    ASSERT_EQ(List()->topLevelItemCount(), 3);
    EXPECT_EQ(Column(1, 1), "00:03.0");
    EXPECT_EQ(Column(1, 2), "00:05.5");
    EXPECT_EQ(Column(1, 4), "Zwei");
    EXPECT_EQ(Column(2, 4), "");
    EXPECT_EQ(Column(2, 5), "Someone");
    ASSERT_FALSE(rig.Messages.Shown.empty()); // the gap before the third chapter
    EXPECT_TRUE(rig.Messages.Shown.back().Text.contains("a gap of 0.500 s"));

    List()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    const QString target = folder.filePath("marked.mp3");
    rig.Choosers.ChapterFiles.push_back(target);
    Trigger("Save as chapters…");
    EXPECT_EQ(rig.Messages.Shown.back().Text, "Wrote 2 chapters to " + target);
    rig.Open(target);
    EXPECT_EQ(rig.Window->findChild<QLabel*>("ChaptersLabel")->text(), "Chapters: 2");
    // Replacing it asks first; No leaves it.
    rig.Messages.YesNoAnswers.push_back(false);
    rig.Choosers.ChapterFiles.push_back(target);
    Trigger("Import chapters");
    Trigger("Save as chapters…");
    EXPECT_EQ(rig.Messages.Shown.back().Kind, MessageKind::Question);
}

TEST_F(ListFileCommandsTest, ACueSheetIsImportedByMenuOrByDropAndABadOneAddsNothing) {
    rig.Choosers.CueFiles.push_back(Sheet("good.cue", kSheet));
    Trigger("Import cue…");
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(Column(1, 1), "00:02.7");
    EXPECT_EQ(Column(1, 4), "Hütte");
    EXPECT_EQ(Column(1, 5), "Ensemble");
    EXPECT_TRUE(rig.Messages.Shown.empty());

    const QString bad = Sheet("bad.cue", kSheet + " TRACK 03 AUDIO\n  INDEX 01 00:01:00\n");
    Drop(bad);
    EXPECT_EQ(List()->topLevelItemCount(), 2);
    ASSERT_EQ(rig.Messages.Shown.size(), 1u);
    EXPECT_EQ(rig.Messages.Shown[0].Kind, MessageKind::Error);
    EXPECT_TRUE(rig.Messages.Shown[0].Text.startsWith(bad + ":11: "))
        << rig.Messages.Shown[0].Text.toStdString();

    Drop(Sheet("again.cue", kSheet));
    EXPECT_EQ(List()->topLevelItemCount(), 4);
}

TEST_F(ListFileCommandsTest, ASavedListLoadsBackExactlyAndBringsItsSource) {
    rig.Choosers.CueFiles.push_back(Sheet("album.cue", kSheet));
    Trigger("Import cue…");
    List()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    const QString saved = folder.filePath("list.cue");
    rig.Choosers.CueFiles.push_back(saved);
    Trigger("Save list…");
    const std::vector<SplitListItem> before = rig.Window->Context().List.Entries();

    rig.Open(ui_test::DataPath("cbr96_id3v1.mp3")); // another source, an empty list
    ASSERT_EQ(List()->topLevelItemCount(), 0);
    rig.Choosers.CueFiles.push_back(saved);
    Trigger("Load list…");
    EXPECT_EQ(rig.Window->Context().State.SourceFileName,
              ui_test::DataPath("tone_silence.mp3").toStdString());
    const std::vector<SplitListItem>& after = rig.Window->Context().List.Entries();
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(std::tie(after[i].StartMs, after[i].EndMs, after[i].Checked, after[i].Title),
                  std::tie(before[i].StartMs, before[i].EndMs, before[i].Checked, before[i].Title));
    }
    EXPECT_EQ(List()->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(List()->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_TRUE(rig.Messages.Shown.empty());
}

// A row removed from a saved list, or all of them, is work a load would
// lose: Load list asks first, and No keeps the list as it is.
TEST_F(ListFileCommandsTest, RemovingRowsOfASavedListIsAskedAboutBeforeALoad) {
    const QString saved = folder.filePath("list.cue");
    const std::function<void()> removals[] = {
        [this] {
            List()->setCurrentItem(List()->topLevelItem(0));
            rig.Window->findChild<QPushButton*>("BitBtn2")->click();
        },
        [this] { rig.Window->findChild<QPushButton*>("BitBtn1")->click(); },
    };
    const int rowsLeft[] = {1, 0};
    for (int i = 0; i < 2; ++i) {
        rig.Open(ui_test::DataPath("tone_silence.mp3"));
        rig.Choosers.CueFiles.push_back(Sheet("album.cue", kSheet));
        Trigger("Import cue…");
        rig.Choosers.CueFiles.push_back(saved);
        Trigger("Save list…");
        removals[i]();
        ASSERT_EQ(List()->topLevelItemCount(), rowsLeft[i]);
        rig.Messages.Shown.clear();
        rig.Messages.YesNoAnswers = {false, true};
        for (int load = 0; load < 2; ++load) {
            rig.Choosers.CueFiles.push_back(saved);
            Trigger("Load list…");
        }
        ASSERT_EQ(rig.Messages.Shown.size(), 2u) << i;
        EXPECT_EQ(rig.Messages.Shown[0].Kind, MessageKind::Question);
        EXPECT_TRUE(rig.Messages.Shown[0].Text.contains(i == 0 ? "1 row was removed"
                                                               : "2 rows were removed"))
            << rig.Messages.Shown[0].Text.toStdString();
        EXPECT_EQ(List()->topLevelItemCount(), 2) << "Yes loads the list";
    }
}

// Rows out of time order with a gap between them: the sheet holds them in time
// order, reads back, and the window says what it could not hold.
TEST_F(ListFileCommandsTest, AnExportedSheetIsInTimeOrderAndWarnsOfAGap) {
    SplitList& list = rig.Window->Context().List;
    list.AddEntry(3000, 5000, TID3v1Tag());
    list.AddEntry(0, 1000, TID3v1Tag());
    const QString exported = folder.filePath("exported.cue");
    rig.Choosers.CueFiles.push_back(exported);
    Trigger("Export cue…");
    ASSERT_EQ(rig.Messages.Shown.size(), 1u);
    EXPECT_EQ(rig.Messages.Shown[0].Kind, MessageKind::Warning);
    EXPECT_TRUE(rig.Messages.Shown[0].Text.startsWith("a cue sheet has no gaps"))
        << rig.Messages.Shown[0].Text.toStdString();

    list.ClearEntries();
    rig.Choosers.CueFiles.push_back(exported);
    Trigger("Import cue…");
    ASSERT_EQ(list.SplitCount(), 2) << rig.Messages.Shown.back().Text.toStdString();
    EXPECT_EQ(list[0].StartMs, 0);
    EXPECT_EQ(list[1].StartMs, 3000);
    EXPECT_EQ(list[1].EndMs, static_cast<std::int32_t>(rig.Window->Context().State.DurationMs));
}

TEST_F(ListFileCommandsTest, ThePausesDialogCountsThePartsAsTheSettingsChange) {
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<PauseSplitDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (!dialog->Measured()) {
            QSignalSpy done(dialog, &PauseSplitDialog::MeasuringDone);
            ASSERT_TRUE(done.wait(10000));
        }
        EXPECT_EQ(dialog->PartCountLabel()->text(), "This gives 3 parts");
        dialog->MinimumBox()->setValue(1.2);
        EXPECT_EQ(dialog->PartCountLabel()->text(), "This gives 2 parts");
        // Far above the threshold measured for: the levels are measured again.
        QSignalSpy again(dialog, &PauseSplitDialog::MeasuringDone);
        dialog->ThresholdBox()->setValue(-20.0);
        EXPECT_FALSE(dialog->OkButton()->isEnabled());
        ASSERT_TRUE(again.wait(10000));
        EXPECT_EQ(dialog->PartCountLabel()->text(), "This gives 2 parts");
        dialog->ThresholdBox()->setValue(-45.0);
        dialog->OkButton()->click();
    });
    Trigger("Split at pauses…");
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(Column(1, 4), "Part 02");

    // Cancel while it measures: nothing is added, the settings are kept.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<PauseSplitDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_DOUBLE_EQ(dialog->MinimumBox()->value(), 1.2);
        dialog->reject();
    });
    Trigger("Split at pauses…");
    EXPECT_EQ(List()->topLevelItemCount(), 2);

    // A talk over quiet noise, whose pauses are known quiet without decoding
    // them: the count is shown at once, and a threshold below what was left
    // undecoded is measured again, once.
    rig.Open(ui_test::DataPath("talk_pauses_64k_mono.mp3"));
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<PauseSplitDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->ThresholdBox()->setValue(-45.0);
        dialog->MinimumBox()->setValue(0.8);
        if (!dialog->Measured()) {
            QSignalSpy done(dialog, &PauseSplitDialog::MeasuringDone);
            ASSERT_TRUE(done.wait(10000));
        }
        EXPECT_EQ(dialog->PartCountLabel()->text(), "This gives 6 parts");
        QSignalSpy again(dialog, &PauseSplitDialog::MeasuringDone);
        dialog->ThresholdBox()->setValue(-90.0);
        ASSERT_TRUE(again.wait(10000));
        EXPECT_FALSE(again.wait(300));
        EXPECT_EQ(dialog->PartCountLabel()->text(), "No pause: the whole file is one part");
        dialog->reject();
    });
    Trigger("Split at pauses…");
}

} // namespace
