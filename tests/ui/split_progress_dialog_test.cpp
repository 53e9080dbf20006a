#include "split_road_support.h"
#include "ui/split_progress_dialog.h"
#include "ui/split_thread.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace split_road;

namespace {

// A source of a little over an hour (16 kbit/s, 72 ms frames), cut into parts.
class SplitProgressDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        source = MakeLongSource(folder);
        OpenSource(env.Context, source);
        ASSERT_GT(env.Context.State.DurationMs, 3600000);
        QDir().mkdir(folder.path() + "/parts");
        const int parts = 4;
        const auto length = static_cast<std::int32_t>(env.Context.State.DurationMs / parts);
        for (int i = 0; i < parts; ++i) {
            env.Context.List.AddEntry(i * length, (i + 1) * length, env.Context.AudioInfo.Tag);
            plan.push_back({PartPath(i).toStdString(), PartDecision::Write, ""});
        }
    }

    QString PartPath(int i) const { return folder.path() + QString("/parts/part%1.mp3").arg(i); }
    QStringList FilesWritten() const {
        return QDir(folder.path() + "/parts").entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    void WaitForWorker() {
        while (thread != nullptr && !thread->wait(10)) {
            QCoreApplication::sendPostedEvents(thread, QEvent::MetaCall);
        }
        QCoreApplication::processEvents();
    }

    TestContext env;
    QTemporaryDir folder;
    std::string source;
    QPointer<myThread2> thread;
    PartPlan plan;
};

TEST_F(SplitProgressDialogTest, TheBarStepsPerPartAndOkComesWhenEveryPartIsWritten) {
    TForm9 dialog(thread);
    EXPECT_EQ(dialog.windowTitle(), "Split Progress");
    EXPECT_EQ(dialog.size(), QSize(400, 122));
    EXPECT_TRUE(dialog.CancelButton()->isDefault());
    dialog.SetJob(JobFor(env.Context, plan));
    std::vector<int> seen;
    QStringList shown;
    QObject::connect(dialog.ProgressBar(), &QProgressBar::valueChanged, [&](int value) {
        seen.push_back(value);
        shown << dialog.PartLabel()->text();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(shown, (QStringList{"Part 1 of 4: part0.mp3", "Part 2 of 4: part1.mp3",
                                  "Part 3 of 4: part2.mp3", "Part 4 of 4: part3.mp3"}));
    WaitForWorker();
    QTemporaryDir engineFolder;
    const auto expected = EngineParts(env.Context, engineFolder.path());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ReadBytes(PartPath(i).toStdString()), expected[i]) << i;
    }
}

TEST_F(SplitProgressDialogTest, CancelClosesAtOnceAndLeavesOnlyWholeParts) {
    TForm9 dialog(thread);
    dialog.SetJob(JobFor(env.Context, plan));
    // The worker waits in its first step while Cancel is pressed.
    QObject::connect(dialog.ProgressBar(), &QProgressBar::valueChanged, [&dialog](int value) {
        if (value == 1) {
            dialog.CancelButton()->click();
        }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.ProgressBar()->value(), 1);
    EXPECT_EQ(dialog.EndMessage(), "Stopped after 1 of 4 parts");
    // The list may change at once: the worker has its own copy.
    env.Context.List.ClearEntries();
    WaitForWorker();
    EXPECT_EQ(FilesWritten(), QStringList{"part0.mp3"});
    OpenSource(env.Context, source);
    env.Context.List.AddEntry(0, static_cast<std::int32_t>(env.Context.State.DurationMs / 4),
                              env.Context.AudioInfo.Tag);
    QTemporaryDir engineFolder;
    EXPECT_EQ(ReadBytes(PartPath(0).toStdString()),
              EngineParts(env.Context, engineFolder.path())[0]);
}

TEST_F(SplitProgressDialogTest, EscapeStopsTheWorkerAsCancelDoes) {
    TForm9 dialog(thread);
    dialog.SetJob(JobFor(env.Context, plan));
    QObject::connect(dialog.ProgressBar(), &QProgressBar::valueChanged, [&dialog](int value) {
        if (value == 2) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    WaitForWorker();
    EXPECT_EQ(FilesWritten(), (QStringList{"part0.mp3", "part1.mp3"}));
}

TEST_F(SplitProgressDialogTest, TheWindowStaysResponsiveDuringALongSplit) {
    TForm9 dialog(thread);
    dialog.SetJob(JobFor(env.Context, plan));
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(0);
    int stepsSeenWhileTicking = 0;
    QObject::connect(dialog.ProgressBar(), &QProgressBar::valueChanged,
                     [&](int) { stepsSeenWhileTicking += ticks > 0 ? 1 : 0; });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_GT(ticks, 0);
    EXPECT_GT(stepsSeenWhileTicking, 0);
    WaitForWorker();
}

TEST_F(SplitProgressDialogTest, AnUnscannedSourceIsCountedInTheWorkersWalk) {
    AppContext unscanned;
    OpenSource(unscanned, source, false);
    unscanned.List = env.Context.List;
    TForm9 dialog(thread);
    dialog.SetJob(JobFor(unscanned, plan));
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    WaitForWorker();
    QTemporaryDir engineFolder;
    const auto expected = EngineParts(env.Context, engineFolder.path());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ReadBytes(PartPath(i).toStdString()), expected[i]) << i;
    }
}

TEST_F(SplitProgressDialogTest, AFailedPartClosesWithCancel) {
    plan[2].Path = (folder.path() + "/missing/part2.mp3").toStdString();
    TForm9 dialog(thread);
    dialog.SetJob(JobFor(env.Context, plan));
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(dialog.SplitError());
    EXPECT_EQ(dialog.EndMessage(), "Part 3 of 4 not written: " + folder.path() +
                                       "/missing/part2.mp3: No such file or directory");
    WaitForWorker();
    EXPECT_EQ(FilesWritten(), (QStringList{"part0.mp3", "part1.mp3"}));
}

TEST_F(SplitProgressDialogTest, AFailureInTheLastPartIsNoSuccess) {
    plan[3].Path = (folder.path() + "/missing/part3.mp3").toStdString();
    TForm9 dialog(thread);
    dialog.SetJob(JobFor(env.Context, plan));
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    WaitForWorker();
}

TEST_F(SplitProgressDialogTest, WaitingForARunningWorkerEndsWhenItEnds) {
    thread = new myThread2(JobFor(env.Context, plan));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    TForm9 dialog(thread);
    dialog.WaitFor(thread);
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(thread == nullptr || thread->isFinished());
    WaitForWorker();
    EXPECT_EQ(FilesWritten().size(), 4);
}

} // namespace
