#include "media/part_levels.h"
#include "split_road_support.h"
#include "ui/save_dialog.h"
#include "ui/split_progress_dialog.h"
#include "ui/split_thread.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace split_road;
using Answer = MessageBoxes::OverwriteAnswer;

namespace {

class SaveDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        OpenSource(env.Context, DataPath("cbr96_id3v1.mp3"));
        const TID3v1Tag& tag = env.Context.AudioInfo.Tag;
        env.Context.List.AddEntry(0, 2000, tag);
        env.Context.List.AddEntry(2000, 4500, tag);
        env.Context.List.AddEntry(4500, 8000, tag);
    }

    QLineEdit* FileName() { return dialog.findChild<QLineEdit*>("FileNameEdit"); }
    QPushButton* Button(const char* name) { return dialog.findChild<QPushButton*>(name); }
    void ChooseFolder(const QString& path) {
        env.Choosers.Folders.push_back(path);
        Button("BitBtn1")->click();
    }
    // Shows the dialog modally and presses Save in it, as a user would.
    int Save() {
        QTimer::singleShot(0, [this] { Button("BitBtn2")->click(); });
        return dialog.exec();
    }
    QString PartPath(int number) const {
        return folder.path() + QString("/cbr96_id3v1_%1.mp3").arg(number, 3, 10, QChar('0'));
    }
    std::vector<char> Part(int number) const { return ReadBytes(PartPath(number).toStdString()); }
    void WriteMarker(int number) {
        QFile file(PartPath(number));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old");
    }

    TestContext env;
    QTemporaryDir folder;
    TForm2 dialog{env.Context};
};

TEST_F(SaveDialogTest, ControlsAtCreation) {
    EXPECT_EQ(dialog.windowTitle(), "Save file(s)");
    EXPECT_EQ(dialog.size(), QSize(461, 448));
    EXPECT_EQ(dialog.findChild<QLineEdit*>("FolderEdit")->text(), "There is no selected folder");
    EXPECT_EQ(FileName()->text(), "$F_$N");
    EXPECT_EQ(FileName()->maxLength(), 255);
    EXPECT_FALSE(Button("BitBtn2")->isEnabled());
    EXPECT_TRUE(Button("BitBtn1")->isDefault());
    auto* presets = dialog.findChild<QComboBox*>("ComboBox1");
    ASSERT_EQ(presets->count(), 4);
    EXPECT_EQ(presets->itemText(3), "$A_$T_$N");
    presets->setCurrentIndex(1);
    EXPECT_EQ(FileName()->text(), "$T_$N");
    const QStringList lines = dialog.findChild<QPlainTextEdit*>("Memo1")->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[0], "You can use following tags combined with text in the file name");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[5], "$N  -  Sequence number in Splitlist");
    EXPECT_EQ(lines[6], "");
    EXPECT_EQ(lines[9], " \"$F_Song$N\" as naming rule, you will get filename of splitted tracks");
    EXPECT_EQ(lines[10], " as Performer_Song001.mp3, Performer_Song002.mp3, etc.");
}

TEST_F(SaveDialogTest, TheFolderChooserIsTitledAndPreselectsTheLastFolder) {
    Button("BitBtn1")->click();
    EXPECT_EQ(env.Choosers.LastFolderTitle, "Please select the destination folder");
    EXPECT_FALSE(Button("BitBtn2")->isEnabled());
    EXPECT_TRUE(env.Context.TargetFolder.isEmpty());

    ChooseFolder(folder.path());
    EXPECT_TRUE(Button("BitBtn2")->isEnabled());
    EXPECT_EQ(dialog.findChild<QLineEdit*>("FolderEdit")->text(), folder.path());
    EXPECT_EQ(env.Context.TargetFolder, folder.path());

    Button("BitBtn1")->click();
    EXPECT_EQ(env.Choosers.FolderRequests, 3);
    EXPECT_EQ(env.Choosers.LastPreselected, folder.path());
    EXPECT_EQ(env.Context.TargetFolder, folder.path());
}

// Enter presses the button with the focus, else the one needed next: Open
// until a folder is chosen, then Save, which takes the focus. F1 is Help.
TEST_F(SaveDialogTest, EnterPressesTheFocusedButtonOrTheOneNeededNextAndF1IsHelp) {
    env.Context.ProgramFolder = KERFLINE_PROGRAM_FOLDER;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(FileName(), Qt::Key_F1);
    Button("Button2")->setFocus();
    QTest::keyClick(Button("Button2"), Qt::Key_Return);
    EXPECT_EQ(env.Shell.Help.size(), 2u);
    EXPECT_EQ(env.Choosers.FolderRequests, 0);

    env.Choosers.Folders.push_back(folder.path());
    for (int enter = 1; enter <= 2; ++enter) {
        FileName()->setFocus();
        QTest::keyClick(FileName(), Qt::Key_Return);
    }
    EXPECT_EQ(env.Choosers.FolderRequests, 1);
    EXPECT_TRUE(QFile::exists(PartPath(3)));
}

TEST_F(SaveDialogTest, ASuccessfulSplitBeepsAndWritesWhatTheEngineWrites) {
    ChooseFolder(folder.path());
    env.Context.List[1].Checked = false;
    EXPECT_EQ(Save(), QDialog::Accepted);
    EXPECT_EQ(env.Messages.InformationBeeps, 1);
    EXPECT_TRUE(env.Messages.Shown.empty());
    EXPECT_TRUE(QFile::exists(PartPath(1)));
    EXPECT_FALSE(QFile::exists(PartPath(2)));
    QTemporaryDir engineFolder;
    const auto expected = EngineParts(env.Context, engineFolder.path());
    EXPECT_EQ(Part(1), expected[0]);
    EXPECT_EQ(Part(3), expected[2]);
}

// "Normalize to" brings every part written to the target's loudness (libebur128 on the part).
TEST_F(SaveDialogTest, NormalizeToBringsEveryPartToTheTarget) {
    ChooseFolder(folder.path());
    auto* normalize = dialog.findChild<QComboBox*>("Normalize");
    ASSERT_EQ(normalize->count(), 3);
    normalize->setCurrentIndex(2);
    EXPECT_EQ(env.Context.Session.Options().NormalizeLufs, std::optional<double>(-23.0));
    EXPECT_EQ(Save(), QDialog::Accepted);
    for (int number = 1; number <= 3; ++number) {
        ScanSource part;
        part.Path = PartPath(number).toStdString();
        const Result<std::vector<PartLevel>> level = MeasureLevels(part, {{0, 10000}});
        ASSERT_TRUE(level);
        EXPECT_NEAR(level.Value()[0].IntegratedLufs, -23.0, 0.8) << number;
    }
    normalize->setCurrentIndex(0);
    EXPECT_EQ(env.Context.Session.Options().NormalizeLufs, std::nullopt);
}

TEST_F(SaveDialogTest, OverwriteAnswersNoYesNoWriteOnlyTheSecondPart) {
    ChooseFolder(folder.path());
    for (int number = 1; number <= 3; ++number) {
        WriteMarker(number);
    }
    env.Messages.Answers = {Answer::No, Answer::Yes, Answer::No};
    Save();
    ASSERT_EQ(CountShown(env.Messages, MessageKind::Overwrite), 3);
    EXPECT_EQ(env.Messages.Shown[0].Text,
              "The file \"" + PartPath(1) + "\" already exists. Do you want ot overwrite it?");
    EXPECT_EQ(Part(1), std::vector<char>({'o', 'l', 'd'}));
    EXPECT_GT(Part(2).size(), 3u);
    EXPECT_EQ(Part(3), std::vector<char>({'o', 'l', 'd'}));
    EXPECT_EQ(env.Messages.InformationBeeps, 1);
}

TEST_F(SaveDialogTest, YesToAllStopsTheQuestions) {
    ChooseFolder(folder.path());
    for (int number = 1; number <= 3; ++number) {
        WriteMarker(number);
    }
    env.Messages.Answers = {Answer::YesToAll};
    Save();
    EXPECT_EQ(CountShown(env.Messages, MessageKind::Overwrite), 1);
    for (int number = 1; number <= 3; ++number) {
        EXPECT_GT(Part(number).size(), 3u) << number;
    }
}

TEST_F(SaveDialogTest, EveryPartAnsweredNoRunsNoSplitAndSaysNothing) {
    ChooseFolder(folder.path());
    for (int number = 1; number <= 3; ++number) {
        WriteMarker(number);
    }
    env.Messages.Answers = {Answer::No, Answer::No, Answer::No};
    EXPECT_EQ(Save(), QDialog::Accepted);
    EXPECT_EQ(CountShown(env.Messages, MessageKind::Error), 0);
    EXPECT_EQ(env.Messages.InformationBeeps, 0);
    EXPECT_EQ(dialog.SplitThread(), nullptr);
}

TEST_F(SaveDialogTest, ARefusedNameIsSkippedWithAWarning) {
    ChooseFolder(folder.path());
    env.Context.List[1].Title = "What?";
    FileName()->setText("$T_$N");
    Save();
    // A tag's "?" cannot refuse the part; the template's own can.
    EXPECT_EQ(CountShown(env.Messages, MessageKind::Warning), 0);
    EXPECT_TRUE(QFile::exists(folder.path() + "/What__002.mp3"));
    FileName()->setText("$T?$N");
    Save();
    ASSERT_EQ(CountShown(env.Messages, MessageKind::Warning), 3);
    EXPECT_EQ(env.Messages.Shown[1].Text, "Can't create file " + folder.path() +
                                              "/What_?002.mp3: it holds \"?\", which a file "
                                              "name cannot hold");
}

TEST_F(SaveDialogTest, TheSourceItselfIsNeverATarget) {
    QFile::copy(QString::fromStdString(DataPath("cbr96_id3v1.mp3")), folder.path() + "/source.mp3");
    const std::string source = (folder.path() + "/source.mp3").toStdString();
    const std::vector<char> before = ReadBytes(source);
    env.Context.State.SourceFileName = source;
    while (env.Context.List.SplitCount() > 1) {
        env.Context.List.RemoveEntry(1);
    }
    ChooseFolder(folder.path());
    FileName()->setText("$F");
    env.Messages.Answers = {Answer::YesToAll};
    EXPECT_EQ(Save(), QDialog::Accepted);
    EXPECT_EQ(CountShown(env.Messages, MessageKind::Overwrite), 0);
    ASSERT_EQ(CountShown(env.Messages, MessageKind::Warning), 1);
    EXPECT_EQ(env.Messages.Shown[0].Text, "Can't create file " + QString::fromStdString(source) +
                                              ": it is the source file itself");
    EXPECT_EQ(ReadBytes(source), before);
}

// The message names the part that failed and why, or the source when no part was begun.
TEST_F(SaveDialogTest, AFailedSplitEndsWithAMessageThatSaysWhy) {
    ChooseFolder(folder.path() + "/missing");
    EXPECT_EQ(Save(), QDialog::Accepted);
    ASSERT_EQ(CountShown(env.Messages, MessageKind::Error), 1);
    EXPECT_EQ(env.Messages.Shown.back().Text,
              "Part 1 of 3 not written: " + folder.path() +
                  "/missing/cbr96_id3v1_001.mp3: No such file or directory");
    EXPECT_EQ(env.Messages.InformationBeeps, 0);

    QFile::copy(QString::fromStdString(DataPath("cbr96_id3v1.mp3")), folder.path() + "/gone.mp3");
    env.Context.State.SourceFileName = (folder.path() + "/gone.mp3").toStdString();
    QFile::remove(folder.path() + "/gone.mp3");
    ChooseFolder(folder.path());
    EXPECT_EQ(Save(), QDialog::Accepted);
    EXPECT_EQ(CountShown(env.Messages, MessageKind::Error), 2);
    EXPECT_EQ(env.Messages.Shown.back().Text,
              folder.path() + "/gone.mp3: cannot open the source: No such file or directory");
}

} // namespace

namespace {

// A Save cancelled during a long split, then Save again at once: the second
// split waits for the first worker and then writes every part whole.
TEST_F(SaveDialogTest, ASaveAfterACancelledSplitWaitsForTheWorker) {
    QTemporaryDir longFolder;
    OpenSource(env.Context, MakeLongSource(longFolder));
    const auto half = static_cast<std::int32_t>(env.Context.State.DurationMs / 2);
    env.Context.List.AddEntry(0, half, env.Context.AudioInfo.Tag);
    env.Context.List.AddEntry(half, 2 * half, env.Context.AudioInfo.Tag);
    ChooseFolder(folder.path());
    FileName()->setText("part$N");
    QTimer::singleShot(0, [this] {
        QTimer::singleShot(0, [] {
            auto* progress = qobject_cast<TForm9*>(QApplication::activeModalWidget());
            ASSERT_NE(progress, nullptr);
            QObject::connect(progress->ProgressBar(), &QProgressBar::valueChanged,
                             [progress](int value) {
                                 if (value == 1) {
                                     progress->CancelButton()->click();
                                 }
                             });
        });
        Button("BitBtn2")->click();
    });
    dialog.exec();
    ASSERT_EQ(env.Messages.Errors(), std::vector<QString>{"Stopped after 1 of 2 parts"});

    env.Messages.Answers = {Answer::YesToAll};
    EXPECT_EQ(Save(), QDialog::Accepted);
    EXPECT_EQ(env.Messages.InformationBeeps, 1);
    EXPECT_EQ(env.Messages.Errors().size(), 1u);
    EXPECT_EQ(dialog.SplitThread(), nullptr);
    QTemporaryDir engineFolder;
    const auto expected = EngineParts(env.Context, engineFolder.path());
    EXPECT_EQ(ReadBytes((folder.path() + "/part001.mp3").toStdString()), expected[0]);
    EXPECT_EQ(ReadBytes((folder.path() + "/part002.mp3").toStdString()), expected[1]);
}

} // namespace
