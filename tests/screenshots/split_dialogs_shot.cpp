#include "split_road_support.h"
#include "test_support.h"
#include "ui/edit_section_dialog.h"
#include "ui/position_slider.h"
#include "ui/save_dialog.h"
#include "ui/split_by_parts_dialog.h"
#include "ui/split_list_panel.h"
#include "ui/split_list_wiring.h"
#include "ui/split_progress_dialog.h"
#include "ui/split_thread.h"
#include "ui/up_down.h"
#include "user_home.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

// Writes the pictures of the split list and its dialogs into the folder named
// by KERFLINE_SCREENSHOT_DIR; scripts/screenshots.sh runs it on a virtual display.
class SplitScreenshotsTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = qEnvironmentVariable("KERFLINE_SCREENSHOT_DIR");
        if (folder.isEmpty()) {
            GTEST_SKIP() << "KERFLINE_SCREENSHOT_DIR is not set";
        }
        rig.Build();
        rig.Window->show();
        rig.Open(user.AlbumAudio());
        shots::HideSoundNotice(*rig.Window);
        shots::WaitForOverview(*rig.Window);
        FillList();
    }

    void FillList() {
        TForm1& window = *rig.Window;
        const auto add = [&window](int start, int end) {
            window.TrackBar1()->setValue(start);
            window.findChild<QPushButton*>("BitBtn8")->click();
            window.TrackBar1()->setValue(end);
            window.findChild<QPushButton*>("BitBtn9")->click();
            window.findChild<QPushButton*>("BitBtn6")->click();
        };
        add(0, 678);
        add(678, 1298);
        auto* panel = window.findChild<SplitListPanel*>();
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<TForm8*>(QApplication::activeModalWidget());
            dialog->findChild<QLineEdit*>("LabeledEdit1")->setText("3");
            dialog->findChild<QPushButton*>("Button1")->click();
        });
        window.findChild<QPushButton*>("BitBtn11")->click();
        panel->ListView()->setCurrentItem(panel->ListView()->topLevelItem(1));
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<TForm4*>(QApplication::activeModalWidget());
            dialog->findChild<QLineEdit*>("Title")->setText("Second movement");
            dialog->findChild<QPushButton*>("Button2")->click();
        });
        window.findChild<QPushButton*>("BitBtn10")->click();
        panel->ListView()->topLevelItem(3)->setCheckState(0, Qt::Unchecked);
        panel->ListView()->setCurrentItem(panel->ListView()->topLevelItem(1));
    }

    void Save(QWidget* widget, const char* name) {
        widget->show();
        widget->raise();
        widget->activateWindow();
        for (int i = 0; i < 10; ++i) {
            QApplication::processEvents();
        }
        EXPECT_TRUE(widget->grab().save(QDir(folder).filePath(name))) << name;
    }

    shots::UserHome user;
    ui_test::WindowRig rig;
    QString folder;
};

TEST_F(SplitScreenshotsTest, WritesTheSplitListAndItsDialogs) {
    TForm1& window = *rig.Window;
    AppContext& context = window.Context();
    Save(&window, "split-list.png");

    TForm4 edit(context, 1, SliderMaximumOf(context.State), &window);
    edit.findChild<UpDownButtons*>("UpDown1")->UpButton()->click();
    Save(&edit, "edit-section.png");
    edit.reject();

    auto* parts = window.findChild<SplitListWiring*>()->SplitByPartsDialog();
    parts->findChild<QLineEdit*>("LabeledEdit1")->setText("4");
    for (int i = 0; i < 15; ++i) {
        parts->findChild<UpDownButtons*>("UpDown2")->UpButton()->click();
    }
    Save(parts, "split-by-parts.png");
    parts->reject();

    const QString target = QDir(user.Music).filePath("Parts");
    QDir().mkpath(target);
    auto* save = window.findChild<SplitListWiring*>()->SaveDialog();
    rig.Choosers.Folders.push_back(target);
    save->findChild<QPushButton*>("BitBtn1")->click();
    Save(save, "save-dialog.png");
    save->reject();

    // The progress dialog during a real split of a long source, at its second part.
    QTemporaryDir longFolder;
    const std::string source = split_road::MakeLongSource(longFolder);
    AppContext longContext;
    split_road::OpenSource(longContext, source);
    std::vector<std::string> paths;
    for (int i = 0; i < 5; ++i) {
        longContext.List.AddEntry(i * 700000, (i + 1) * 700000, longContext.AudioInfo.Tag);
        paths.push_back(QDir(target)
                            .filePath(QString("Night drive %1.mp3").arg(i + 1, 3, 10, QChar('0')))
                            .toStdString());
    }
    QPointer<myThread2> thread;
    TForm9 progress(thread, &window);
    progress.SetJob(split_road::JobFor(longContext, split_road::PlanWriting(paths)));
    QObject::connect(progress.ProgressBar(), &QProgressBar::valueChanged, [&](int value) {
        if (value == 2) {
            Save(&progress, "split-progress.png");
        }
    });
    progress.exec();
    while (thread != nullptr && !thread->wait(10)) {
        QCoreApplication::sendPostedEvents(thread, QEvent::MetaCall);
    }
}

} // namespace
