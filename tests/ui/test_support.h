#pragma once

// Fakes for driving the windows as a user would: recorded message boxes, a
// scripted file chooser, a recording desktop shell, a hand-moved clock for the
// silent player, a fresh settings store, and long sources made of a fixture.

#include "ui/clock_media_player.h"
#include "ui/main_window.h"
#include "ui/platform_services.h"
#include "ui/settings_store.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace ui_test {

inline QString DataPath(const char* name) {
    return QString::fromUtf8(KERFLINE_TEST_DATA) + "/" + QString::fromUtf8(name);
}

enum class MessageKind { Information, Warning, Error, Overwrite, Question };

struct ShownMessage {
    MessageKind Kind;
    QString Text;
};

class RecordingMessageBoxes : public MessageBoxes {
public:
    std::vector<ShownMessage> Shown;
    std::deque<OverwriteAnswer> Answers; // for AskOverwrite in order; Yes when empty
    std::deque<bool> YesNoAnswers;       // for AskYesNo in order; Yes when empty
    int ErrorBeeps = 0;
    int InformationBeeps = 0;

    void Information(QWidget*, const QString& text) override {
        Shown.push_back({MessageKind::Information, text});
    }
    void Warning(QWidget*, const QString& text) override {
        Shown.push_back({MessageKind::Warning, text});
    }
    void Error(QWidget*, const QString& text) override {
        Shown.push_back({MessageKind::Error, text});
    }
    OverwriteAnswer AskOverwrite(QWidget*, const QString& text) override {
        Shown.push_back({MessageKind::Overwrite, text});
        if (Answers.empty()) {
            return OverwriteAnswer::Yes;
        }
        const OverwriteAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    bool AskYesNo(QWidget*, const QString& text) override {
        Shown.push_back({MessageKind::Question, text});
        if (YesNoAnswers.empty())
            return true;
        const bool yes = YesNoAnswers.front();
        YesNoAnswers.pop_front();
        return yes;
    }
    void ErrorBeep() override { ++ErrorBeeps; }
    void InformationBeep() override { ++InformationBeeps; }

    std::vector<QString> Errors() const {
        std::vector<QString> texts;
        for (const ShownMessage& message : Shown) {
            if (message.Kind == MessageKind::Error) {
                texts.push_back(message.Text);
            }
        }
        return texts;
    }
};

// Hands out the scripted answers in order; a cancel once the script is used up.
class ScriptedFileChoosers : public FileChoosers {
public:
    std::deque<std::optional<QString>> Sources;
    std::deque<std::optional<QString>> Folders;
    int SourceRequests = 0;
    int FolderRequests = 0;

    std::optional<QString> ChooseSourceFile(QWidget*) override {
        ++SourceRequests;
        return Next(Sources);
    }
    std::optional<QString> ChooseFolder(QWidget*, const QString&, const QString&) override {
        ++FolderRequests;
        return Next(Folders);
    }
    std::deque<std::optional<QString>> CueFiles;
    std::optional<QString> ChooseCueToOpen(QWidget*, const QString&) override {
        return Next(CueFiles);
    }
    std::optional<QString> ChooseCueToSave(QWidget*, const QString&, const QString&) override {
        return Next(CueFiles);
    }
    std::deque<QStringList> FilesToJoin;
    std::deque<std::optional<QString>> JoinTargets;
    QStringList ChooseFilesToJoin(QWidget*) override {
        if (FilesToJoin.empty())
            return {};
        const QStringList files = FilesToJoin.front();
        FilesToJoin.pop_front();
        return files;
    }
    std::optional<QString> ChooseJoinTarget(QWidget*, const QString&) override {
        return Next(JoinTargets);
    }
    std::deque<std::optional<QString>> ChapterFiles;
    std::optional<QString> ChooseChapterFile(QWidget*, const QString&) override {
        return Next(ChapterFiles);
    }

private:
    static std::optional<QString> Next(std::deque<std::optional<QString>>& script) {
        if (script.empty()) {
            return std::nullopt;
        }
        const bool chosen = script.front().has_value();
        const QString path = script.front().value_or(QString());
        script.pop_front();
        return chosen ? std::optional<QString>(path) : std::nullopt;
    }
};

class RecordingShell : public DesktopShell {
public:
    std::vector<QString> Opened;
    std::vector<QString> Help;
    void OpenUrl(const QString& url) override { Opened.push_back(url); }
    void OpenHelp(QWidget*, const QString& path) override { Help.push_back(path); }
};

// A clock that moves only when the test moves it.
class ManualClock {
public:
    std::int64_t NowMs = 1000;
    ClockMediaPlayer::Clock AsClock() {
        return [this] { return NowMs; };
    }
};

// A player that refuses every file, as a player without the needed decoder does.
class RefusingPlayer : public ClockMediaPlayer {
public:
    static constexpr const char* Text = "Could not find a decoder for this media.";
    using ClockMediaPlayer::ClockMediaPlayer;
    void Open(const SourceSession&) override { throw MediaPlayerError(Text); }
};

// A player that does something to the file once it has opened it.
class HookedPlayer : public ClockMediaPlayer {
public:
    HookedPlayer(Clock clock, std::function<void(const QString&)> afterOpen)
        : ClockMediaPlayer(std::move(clock)), afterOpen_(std::move(afterOpen)) {}
    void Open(const SourceSession& session) override {
        ClockMediaPlayer::Open(session);
        afterOpen_(QFile::decodeName(QByteArray::fromStdString(session.State.SourceFileName)));
    }

private:
    std::function<void(const QString&)> afterOpen_;
};

// A settings store of its own for each test, in the temporary settings folder.
inline SettingsStore FreshSettingsStore() {
    static std::atomic<int> counter{0};
    return SettingsStore("OrrindaleTest", QStringLiteral("Kerfline%1").arg(++counter));
}

// A long source: the frames of a fixture repeated (its frames follow each
// other seamlessly) up to the given size, written into a temporary folder.
inline QString RepeatedSource(const QTemporaryDir& dir, const char* fixture,
                              std::int64_t totalBytes) {
    QFile source(DataPath(fixture));
    EXPECT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    const QString path = dir.filePath(QStringLiteral("%1-%2").arg(totalBytes).arg(fixture));
    QFile target(path);
    EXPECT_TRUE(target.open(QIODevice::WriteOnly));
    for (std::int64_t left = totalBytes; left > 0; left -= bytes.size()) {
        target.write(
            bytes.left(static_cast<qsizetype>(std::min<std::int64_t>(left, bytes.size()))));
    }
    return path;
}

// The main window over the fakes, with the silent player on a hand-moved clock.
struct WindowRig {
    RecordingMessageBoxes Messages;
    ScriptedFileChoosers Choosers;
    RecordingShell Shell;
    SettingsStore Settings = FreshSettingsStore();
    ManualClock Clock;
    bool RefuseAudible = false;
    std::function<void(const QString&)> AfterAudibleOpen;
    std::unique_ptr<TForm1> Window;

    void Build() {
        TForm1::PlayerFactory audible = [this]() -> std::unique_ptr<MediaPlayer> {
            if (RefuseAudible) {
                return std::make_unique<RefusingPlayer>(Clock.AsClock());
            }
            if (AfterAudibleOpen) {
                return std::make_unique<HookedPlayer>(Clock.AsClock(), AfterAudibleOpen);
            }
            return std::make_unique<ClockMediaPlayer>(Clock.AsClock());
        };
        TForm1::PlayerFactory silent = [this]() -> std::unique_ptr<MediaPlayer> {
            return std::make_unique<ClockMediaPlayer>(Clock.AsClock());
        };
        Window = std::make_unique<TForm1>(
            TForm1::Services{Messages, Choosers, Shell, Settings, audible, silent});
    }

    // Chooses the file in the open-file chooser and presses Open.
    void Open(const QString& path) {
        Choosers.Sources.push_back(path);
        Window->BitBtn3Click();
    }

    // Moves the clock in 1 ms steps, letting Timer1 poll at each as it would.
    void Run(std::int64_t ms) {
        for (std::int64_t i = 0; i < ms; ++i) {
            ++Clock.NowMs;
            if (Window->Timer1()->isActive()) {
                Window->Timer1Timer();
            }
        }
    }
};

} // namespace ui_test
