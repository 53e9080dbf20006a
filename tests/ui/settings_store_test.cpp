#include "test_support.h"

#include <QDir>
#include <QSettings>
#include <gtest/gtest.h>

using namespace ui_test;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    QSettings Raw() {
        return QSettings(QSettings::IniFormat, QSettings::UserScope, "OrrindaleTest", name);
    }

    static int NextNumber() {
        static int number = 0;
        return ++number;
    }

    const QString name = QStringLiteral("Store%1").arg(NextNumber());
    SettingsStore store{"OrrindaleTest", name};
};

TEST_F(SettingsStoreTest, FirstStartWritesZeroAndOneAsIntegers) {
    EXPECT_FALSE(store.KeyExists());
    const SettingsStore::ReadOutcome outcome = store.ReadAtStartUp();
    EXPECT_FALSE(outcome.Error);
    EXPECT_FALSE(outcome.Settings.Preload);
    EXPECT_TRUE(outcome.Settings.SaveFrame);
    EXPECT_EQ(Raw().value("Preload").toString(), "0");
    EXPECT_EQ(Raw().value("Saveframe").toString(), "1");
    EXPECT_EQ(Raw().value("Id3v2").toString(), "0");
    EXPECT_EQ(Raw().value("RebuildInfoFrame").toString(), "0");
    EXPECT_EQ(Raw().value("ExactCuts").toString(), "0");
    EXPECT_EQ(Raw().value("Id3v24").toString(), "0");
}

// A store written before the two later options: they read as off, unreported.
TEST_F(SettingsStoreTest, TheLaterOptionsAreOffWhenMissingOrMistyped) {
    Raw().setValue("Preload", 0);
    Raw().setValue("Saveframe", 1);
    Raw().setValue("RebuildInfoFrame", "yes");
    Raw().setValue("ExactCuts", "yes");
    SettingsStore::ReadOutcome outcome = store.ReadAtStartUp();
    EXPECT_FALSE(outcome.Error);
    EXPECT_FALSE(outcome.Settings.Id3v2);
    EXPECT_FALSE(outcome.Settings.RebuildInfoFrame);
    EXPECT_FALSE(outcome.Settings.ExactCuts);
    EXPECT_FALSE(outcome.Settings.Id3v24);
    Raw().setValue("Id3v2", 1);
    Raw().setValue("ExactCuts", 3);
    Raw().setValue("RebuildInfoFrame", 2);
    Raw().setValue("Id3v24", 1);
    outcome = store.ReadAtStartUp();
    EXPECT_TRUE(outcome.Settings.Id3v2);
    EXPECT_TRUE(outcome.Settings.RebuildInfoFrame);
    EXPECT_TRUE(outcome.Settings.ExactCuts);
    EXPECT_TRUE(outcome.Settings.Id3v24);
}

TEST_F(SettingsStoreTest, AnyIntegerButZeroReadsAsOn) {
    Raw().setValue("Preload", 5);
    Raw().setValue("Saveframe", 0);
    const SettingsStore::ReadOutcome outcome = store.ReadAtStartUp();
    EXPECT_FALSE(outcome.Error);
    EXPECT_TRUE(outcome.Settings.Preload);
    EXPECT_FALSE(outcome.Settings.SaveFrame);
}

TEST_F(SettingsStoreTest, MissingOrMistypedValuesAreReportedAndStayOff) {
    Raw().setValue("Preload", 1);
    SettingsStore::ReadOutcome outcome = store.ReadAtStartUp();
    EXPECT_EQ(outcome.Error, "Failed to get data for 'Saveframe'");
    EXPECT_TRUE(outcome.Settings.Preload);
    EXPECT_FALSE(outcome.Settings.SaveFrame);

    Raw().setValue("Preload", "yes");
    Raw().setValue("Saveframe", 1);
    outcome = store.ReadAtStartUp();
    EXPECT_EQ(outcome.Error, "Invalid data type for 'Preload'");
    EXPECT_FALSE(outcome.Settings.Preload);
    EXPECT_FALSE(outcome.Settings.SaveFrame);
}

// The window's size and recent files kept before the options were ever
// written do not pass for the options' key: first start still writes them.
TEST_F(SettingsStoreTest, TheWindowsValuesAreNotTheOptionsKey) {
    EXPECT_EQ(store.ReadWindowSize(), std::nullopt);
    store.WriteWindowSize(QSize(800, 700));
    store.WriteRecentFiles({"/home/alex/Music/a, b.mp3"});
    EXPECT_FALSE(store.KeyExists());
    EXPECT_FALSE(store.ReadAtStartUp().Error);
    EXPECT_EQ(Raw().value("Saveframe").toString(), "1");
    EXPECT_EQ(store.ReadWindowSize(), QSize(800, 700));
    EXPECT_EQ(store.ReadRecentFiles(), QStringList{"/home/alex/Music/a, b.mp3"});
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeWrittenIsReported) {
    // A folder where the settings file should be cannot be written as a file.
    const QString file = Raw().fileName();
    ASSERT_TRUE(QDir().mkpath(file));
    const SettingsStore::ReadOutcome outcome = store.ReadAtStartUp();
    EXPECT_EQ(outcome.Error, "Failed to set data for 'Preload'");
    EXPECT_FALSE(outcome.Settings.Preload);
    EXPECT_FALSE(outcome.Settings.SaveFrame);
    EXPECT_EQ(store.Write({true, true}), "Failed to set data for 'Preload'");
    QDir(file).removeRecursively();
}

} // namespace
