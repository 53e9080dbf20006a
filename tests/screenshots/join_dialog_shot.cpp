#include "split/split_worker.h"
#include "split_road_support.h"
#include "ui/join_dialog.h"
#include "user_home.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

// The join dialog with the album's four tracks, split here, and a recording
// of another rate that cannot join them.
TEST(JoinScreenshotTest, WritesTheJoinDialog) {
    const QString folder = qEnvironmentVariable("KERFLINE_SCREENSHOT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "KERFLINE_SCREENSHOT_DIR is not set";
    shots::UserHome user;
    split_road::TestContext env;
    AppContext& context = env.Context;
    split_road::OpenSource(context, user.AlbumAudio().toStdString());
    const QString tracks = QDir(user.Music).filePath("Harbour Sessions");
    QDir().mkpath(tracks);
    const struct {
        std::int32_t StartMs;
        std::int32_t EndMs;
        const char* Name;
    } sections[] = {
        {0, 67800, "01 Opening Bell.mp3"},
        {67800, 129800, "02 Salt Road.mp3"},
        {129800, 197800, "03 Night Ferry.mp3"},
        {197800, static_cast<std::int32_t>(context.State.DurationMs), "04 Lantern Song.mp3"}};
    std::vector<std::string> paths;
    for (const auto& section : sections) {
        context.List.AddEntry(section.StartMs, section.EndMs, context.AudioInfo.Tag);
        paths.push_back(QDir(tracks).filePath(section.Name).toStdString());
    }
    ASSERT_TRUE(
        WriteAllParts(split_road::JobFor(context, split_road::PlanWriting(paths)), {}).Success);
    const QString interview = user.Copy("cbr320_48k.mp3", "Interview.mp3");

    JoinDialog dialog(context);
    QStringList files;
    for (const std::string& path : paths)
        files.append(QString::fromStdString(path));
    dialog.AddFiles(files);
    dialog.AddFiles({interview});
    dialog.FileList()->setCurrentItem(dialog.FileList()->topLevelItem(4));
    env.Choosers.JoinTargets.push_back(QDir(user.Music).filePath("Harbour Sessions, joined.mp3"));
    dialog.findChild<QPushButton*>("JoinChooseTarget")->click();
    dialog.show();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    EXPECT_TRUE(dialog.grab().save(QDir(folder).filePath("join-dialog.png")));
}

} // namespace
