#include "test_support.h"
#include "ui/join_dialog.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace ui_test;

namespace {

// Each row's columns, joined by " | ".
QStringList ListTexts(const QTreeWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const QTreeWidgetItem& item = *list.topLevelItem(row);
        texts.append(item.text(0) + " | " + item.text(1) + " | " + item.text(2));
    }
    return texts;
}

void Press(QDialog& dialog, const char* name) {
    dialog.findChild<QPushButton*>(name)->click();
}

// Files added by the chooser and by a drop, a warning on the one of another
// format until it is removed, a reordered list and its total, then Join on
// its thread into the chosen file.
void DriveJoin(JoinDialog& dialog, const QString& cbr, const QString& tagged,
               const QString& target) {
    Press(dialog, "JoinAdd");
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(tagged)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    QApplication::sendEvent(&dialog, &drop);
    EXPECT_EQ(ListTexts(*dialog.FileList()),
              (QStringList{"cbr128_44k_joint.mp3 | 00:08.0 | ",
                           "cbr320_48k.mp3 | 00:08.0 | cannot join: 48000 Hz where "
                           "cbr128_44k_joint.mp3 has 44100 Hz",
                           "cbr128_id3v2_small.mp3 | 00:08.0 | "}));
    EXPECT_FALSE(dialog.JoinButton()->isEnabled());
    dialog.FileList()->setCurrentItem(dialog.FileList()->topLevelItem(1));
    Press(dialog, "JoinRemove");
    Press(dialog, "JoinUp"); // the tagged file goes first
    EXPECT_EQ(dialog.Files(), (QStringList{tagged, cbr}));
    EXPECT_EQ(dialog.TotalLabel()->text(), "Total: 00:16.0 in 2 files");
    Press(dialog, "JoinChooseTarget");
    ASSERT_TRUE(dialog.JoinButton()->isEnabled());
    Press(dialog, "JoinButton");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Joining(); }, 10000));
    EXPECT_EQ(dialog.StatusLabel()->text(), "Joined 2 files into " + target);
}

// From the button beside Open to a file whose bytes are the files' frames in
// the list's order.
TEST(JoinDialogTest, JoinsTheListedFilesInOrderIntoTheChosenFile) {
    QTemporaryDir dir;
    WindowRig rig;
    rig.Build();
    const QString cbr = DataPath("cbr128_44k_joint.mp3");
    const QString tagged = DataPath("cbr128_id3v2_small.mp3");
    const QString target = dir.filePath("joined.mp3");
    rig.Choosers.FilesToJoin.push_back({cbr, DataPath("cbr320_48k.mp3")});
    rig.Choosers.JoinTargets.push_back(target);
    bool drove = false;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<JoinDialog*>(modal)) {
            DriveJoin(*dialog, cbr, tagged, target);
            drove = true;
        }
        if (modal != nullptr)
            qobject_cast<QDialog*>(modal)->reject();
    });
    rig.Window->findChild<QPushButton*>("JoinFilesButton")->click();
    ASSERT_TRUE(drove);
    QFile joined(target);
    ASSERT_TRUE(joined.open(QIODevice::ReadOnly));
    QFile first(tagged);
    QFile second(cbr);
    ASSERT_TRUE(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    // The first file's ID3v2 tag and both files' frames, no information frame between.
    EXPECT_EQ(joined.readAll(), first.readAll() + second.readAll());
    EXPECT_TRUE(rig.Messages.Shown.empty());
}

// A target that is one of the files is refused at once, before any question
// about replacing it; what a join did goes once the files or the target change.
TEST(JoinDialogTest, AnInputAsTargetIsRefusedAtOnceAndTheOutcomeGoesWithAChange) {
    QTemporaryDir dir;
    const QString first = dir.filePath("first.mp3");
    const QString second = dir.filePath("second.mp3");
    ASSERT_TRUE(QFile::copy(DataPath("cbr128_44k_joint.mp3"), first));
    ASSERT_TRUE(QFile::copy(DataPath("cbr128_id3v2_small.mp3"), second));
    const QByteArray secondBytes = [&] {
        QFile file(second);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    WindowRig rig;
    rig.Build();
    JoinDialog dialog(rig.Window->Context(), rig.Window.get());
    const auto* progress = dialog.findChild<QProgressBar*>("JoinProgress");
    dialog.AddFiles({first, second});
    const auto join = [&](const QString& target) {
        rig.Choosers.JoinTargets.push_back(target);
        Press(dialog, "JoinChooseTarget");
        Press(dialog, "JoinButton");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Joining(); }, 10000));
    };

    join(second);
    ASSERT_EQ(rig.Messages.Shown.size(), 1u);
    EXPECT_EQ(rig.Messages.Shown[0].Kind, MessageKind::Error);
    EXPECT_EQ(rig.Messages.Shown[0].Text, second + ": is one of the files being joined");
    EXPECT_EQ(dialog.StatusLabel()->text(), rig.Messages.Shown[0].Text);
    QFile kept(second);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), secondBytes);

    const QString target = dir.filePath("joined.mp3");
    const std::function<void()> changes[] = {
        [&] { dialog.AddFiles({DataPath("cbr128_44k_joint.mp3")}); },
        [&] { Press(dialog, "JoinRemove"); },
        [&] { Press(dialog, "JoinUp"); },
        [&] {
            rig.Choosers.JoinTargets.push_back(dir.filePath("other.mp3"));
            Press(dialog, "JoinChooseTarget");
        },
    };
    for (const std::function<void()>& change : changes) {
        dialog.FileList()->setCurrentItem(
            dialog.FileList()->topLevelItem(dialog.FileList()->topLevelItemCount() - 1));
        join(target);
        ASSERT_TRUE(dialog.StatusLabel()->text().startsWith("Joined "));
        EXPECT_EQ(progress->value(), progress->maximum());
        change();
        EXPECT_EQ(dialog.StatusLabel()->text(), "");
        EXPECT_EQ(progress->value(), 0);
    }
}

} // namespace
