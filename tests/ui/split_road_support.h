#pragma once

// Helpers for the tests of the road from the split list to the part files:
// a source set up as the Open command leaves it, a long source, and the part
// files that the split engine writes itself.

#include "core/preload_scan.h"
#include "split/split_worker.h"
#include "state/session_state.h"
#include "test_support.h"
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

using ui_test::MessageKind;
using ui_test::RecordingMessageBoxes;

// The scripted choosers, remembering what the folder chooser was shown with.
class RecordingChoosers : public ui_test::ScriptedFileChoosers {
public:
    QString LastFolderTitle;
    QString LastPreselected;

    std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                        const QString& preselected) override {
        LastFolderTitle = title;
        LastPreselected = preselected;
        return ScriptedFileChoosers::ChooseFolder(parent, title, preselected);
    }
};

inline int CountShown(const RecordingMessageBoxes& messages, MessageKind kind) {
    int n = 0;
    for (const ui_test::ShownMessage& message : messages.Shown) {
        n += message.Kind == kind ? 1 : 0;
    }
    return n;
}

// An AppContext wired to the fakes above.
struct TestContext {
    RecordingMessageBoxes Messages;
    RecordingChoosers Choosers;
    ui_test::RecordingShell Shell;
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

// A source of a little over an hour: the frames of the 16 kbit/s fixture (72 ms each) repeated.
inline std::string MakeLongSource(const QTemporaryDir& folder) {
    return ui_test::RepeatedSource(folder, "cbr16_mpeg25_8k_mono.mp3", 7300800).toStdString();
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
