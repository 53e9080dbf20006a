#pragma once

// Helpers for the tests of the road from the split list to the part files:
// a source set up as the Open command leaves it, a long source, and the part
// files that the split engine writes itself.

#include "split/part_plan.h"
#include "split/split_worker.h"
#include "state/open_source.h"
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
    ASSERT_TRUE(context.Session.Open(path, {scan, {}}).Ok()) << path;
    context.State.Koef = 1.0;
}

// A plan that writes row i to paths[i].
inline PartPlan PlanWriting(const std::vector<std::string>& paths) {
    PartPlan plan;
    for (const std::string& path : paths) {
        plan.push_back({path, PartDecision::Write, ""});
    }
    return plan;
}

inline SplitJob JobFor(const AppContext& context, const PartPlan& plan) {
    return BuildSplitJob(context.Session.Source(), context.SaveFrameOption, context.List, plan);
}

inline std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A source of a little over an hour: the frames of the 16 kbit/s fixture (72 ms each) repeated.
inline std::string MakeLongSource(const QTemporaryDir& folder) {
    return ui_test::RepeatedSource(folder, "cbr16_mpeg25_8k_mono.mp3", 7300800).toStdString();
}

// What the split engine itself writes for the context's checked rows, into another folder.
inline std::vector<std::vector<char>> EngineParts(const AppContext& context,
                                                  const QString& folder) {
    std::vector<std::string> paths;
    for (std::int32_t i = 0; i < context.List.SplitCount(); ++i) {
        paths.push_back((folder + QString("/engine_%1.mp3").arg(i)).toStdString());
    }
    const SplitJob job = JobFor(context, PlanWriting(paths));
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
