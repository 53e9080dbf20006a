#include "split_road_support.h"
#include "ui/split_thread.h"

#include <QCoreApplication>
#include <QDir>
#include <gtest/gtest.h>

using namespace split_road;

namespace {

class SplitThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        OpenSource(env.Context, MakeLongSource(folder));
        for (int i = 0; i < 4; ++i) {
            env.Context.List.AddEntry(i * 900000, (i + 1) * 900000, env.Context.AudioInfo.Tag);
            plan.push_back({folder.filePath(QString("part%1.mp3").arg(i)).toStdString(),
                            PartDecision::Write, ""});
        }
    }

    SplitJob Job() const { return JobFor(env.Context, plan); }
    QStringList Parts() const {
        // Part files and any temporary file left beside them.
        return QDir(folder.path())
            .entryList({"part*", ".*"}, QDir::Files | QDir::Hidden, QDir::Name);
    }

    TestContext env;
    QTemporaryDir folder;
    PartPlan plan;
};

// Deleting a worker that waits for its progress step in the UI thread must
// neither hang nor leave a part cut short.
TEST_F(SplitThreadTest, DeletingARunningWorkerStopsItAfterWholeParts) {
    auto* thread = new myThread2(Job());
    int steps = 0;
    QObject::connect(thread, &myThread2::ProgressStepped, [&steps] { ++steps; });
    thread->start();
    delete thread;
    EXPECT_LE(steps, 1);
    ASSERT_LE(Parts().size(), 1);
    QTemporaryDir engineFolder;
    const auto expected = EngineParts(env.Context, engineFolder.path());
    for (const QString& name : Parts()) {
        EXPECT_EQ(ReadBytes(folder.filePath(name).toStdString()), expected[0])
            << name.toStdString();
    }
}

TEST_F(SplitThreadTest, AFailedPartSetsSplitErrorAndStopsTheRun) {
    plan[1].Path = folder.filePath("missing/part1.mp3").toStdString();
    myThread2 thread(Job());
    EXPECT_EQ(thread.PartsToWrite(), 4);
    thread.start();
    while (!thread.wait(10)) {
        QCoreApplication::sendPostedEvents(&thread, QEvent::MetaCall);
    }
    EXPECT_TRUE(thread.SplitError());
    EXPECT_TRUE(thread.StopRequested());
    EXPECT_FALSE(thread.Outcome().Success);
    EXPECT_EQ(Parts(), QStringList{"part0.mp3"});
}

} // namespace
