#pragma once

// Helpers for the tests of the road from the split list to the part files:
// a source set up as the Open command leaves it, long sources made of a
// fixture's frames, and the part files that the split engine writes itself.

#include "core/preload_scan.h"
#include "split/split_worker.h"
#include "state/session_state.h"
#include "ui/app_context.h"
#include "ui/platform_services.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace split_road {

inline std::string DataPath(const char* name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

struct Message {
    enum class Kind { Information, Warning, Error, Overwrite } kind;
    QString text;
};

class RecordingMessages : public MessageBoxes {
public:
    std::vector<Message> Shown;
    std::deque<OverwriteAnswer> Answers; // for AskOverwrite, in order; Yes when empty
    int InformationBeeps = 0;
    int ErrorBeeps = 0;

    void Information(QWidget*, const QString& text) override {
        Shown.push_back({Message::Kind::Information, text});
    }
    void Warning(QWidget*, const QString& text) override {
        Shown.push_back({Message::Kind::Warning, text});
    }
    void Error(QWidget*, const QString& text) override {
        Shown.push_back({Message::Kind::Error, text});
    }
    OverwriteAnswer AskOverwrite(QWidget*, const QString& text) override {
        Shown.push_back({Message::Kind::Overwrite, text});
        if (Answers.empty()) {
            return OverwriteAnswer::Yes;
        }
        const OverwriteAnswer answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
    void ErrorBeep() override { ++ErrorBeeps; }
    void InformationBeep() override { ++InformationBeeps; }

    int Count(Message::Kind kind) const {
        int n = 0;
        for (const Message& message : Shown) {
            n += message.kind == kind ? 1 : 0;
        }
        return n;
    }
};

class ScriptedChoosers : public FileChoosers {
public:
    std::optional<QString> Source;
    std::optional<QString> Folder;
    QString LastFolderTitle;
    QString LastPreselected;
    int FolderRequests = 0;

    std::optional<QString> ChooseSourceFile(QWidget*) override { return Source; }
    std::optional<QString> ChooseFolder(QWidget*, const QString& title,
                                        const QString& preselected) override {
        ++FolderRequests;
        LastFolderTitle = title;
        LastPreselected = preselected;
        return Folder;
    }
};

class RecordingShell : public DesktopShell {
public:
    std::vector<QString> Opened;
    void OpenUrl(const QString& url) override { Opened.push_back(url); }
};

// An AppContext wired to the fakes above.
struct TestContext {
    RecordingMessages Messages;
    ScriptedChoosers Choosers;
    RecordingShell Shell;
    AppContext Context;

    TestContext() {
        Context.Messages = &Messages;
        Context.Choosers = &Choosers;
        Context.Shell = &Shell;
    }
};

// The state the Open command leaves behind for a source (a player counting in ms).
inline void OpenSource(AppContext& context, const std::string& path, bool scan = true) {
    ASSERT_EQ(context.AudioInfo.AnalyseFile(path), AnalysisResult::Ok) << path;
    SessionState& state = context.State;
    state.SourceFileName = path;
    state.DurationMs = DurationMsFromAnalysis(context.AudioInfo);
    state.DurationMsExact = static_cast<double>(state.DurationMs);
    state.FrameCount = 0;
    if (scan) {
        const ScanResult result = PreloadScan(ScanSource::From(path, context.AudioInfo));
        state.FrameCount = result.FrameCount;
        state.DurationMsExact = result.DurationMsExact;
        state.DurationMs = static_cast<std::int64_t>(result.DurationMsExact);
    }
    state.Koef = 1.0;
    state.PositionStep = ChoosePositionStep(state.DurationMs);
    context.List.ClearEntries();
}

inline std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A source of at least the given length, made by repeating the audio frames of a
// fixture without an information frame or tag (its first frame at offset 0).
inline std::string MakeLongSource(const QString& folder, const char* fixture,
                                  std::int64_t minimumBytes) {
    const std::vector<char> frames = ReadBytes(DataPath(fixture));
    const std::string path = (folder + "/long_source.mp3").toStdString();
    std::ofstream out(path, std::ios::binary);
    for (std::int64_t written = 0; written < minimumBytes;
         written += static_cast<std::int64_t>(frames.size())) {
        out.write(frames.data(), static_cast<std::streamsize>(frames.size()));
    }
    return path;
}

// What the split engine itself writes for the context's list, into another folder.
inline std::vector<std::vector<char>> EngineParts(const AppContext& context,
                                                  const QString& folder) {
    SplitJob job = SplitJob::From(context.State.SourceFileName, context.AudioInfo,
                                  context.State.FrameCount, context.SaveFrameOption, context.List);
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < job.Rows.size(); ++i) {
        job.Rows[i].OutPath = (folder + QString("/engine_%1.mp3").arg(i)).toStdString();
        paths.push_back(job.Rows[i].OutPath);
    }
    const SplitOutcome outcome =
        WriteAllParts(job, {[] {}, [](const std::string&) {}, [] { return false; }});
    EXPECT_TRUE(outcome.Success);
    std::vector<std::vector<char>> parts;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const bool written = job.Rows[i].Checked && job.Rows[i].DoWrite;
        parts.push_back(written ? ReadBytes(paths[i]) : std::vector<char>{});
    }
    return parts;
}

} // namespace split_road
