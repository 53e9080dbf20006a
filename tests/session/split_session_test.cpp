#include "../frame_stream.h"
#include "../talks.h"
#include "session/split_session.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string Fixture(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

// One edit of a sequence; Count repeats it.
struct Step {
    // clang-format off
    enum Kind { Add, Remove, RemoveAll, Untick, Edit, Parts, Import, Pauses, Save, Open, Load,
                Split, Undo, Redo } What;
    // clang-format on
    int Count = 1;
};

// The list as "start-end" per row, "!" after an unticked one.
std::string Rows(const SplitList& list) {
    std::string rows;
    for (const SplitListItem& entry : list.Entries())
        rows += std::to_string(entry.StartMs) + "-" + std::to_string(entry.EndMs) +
                (entry.Checked ? " " : "! ");
    return rows;
}

class SessionEdits : public ::testing::Test {
protected:
    void Take(SplitSession& session, const Step& step) {
        const auto& list = session.List();
        const auto next = static_cast<std::int32_t>(list.SplitCount() * 1000 % 8000);
        const std::string sheet = (scratch_.Path() / "list.cue").string();
        switch (step.What) {
        case Step::Add:
            ASSERT_TRUE(session.AddSection(next, next + 1000));
            break;
        case Step::Remove:
            session.Remove(0);
            break;
        case Step::RemoveAll:
            session.RemoveAll();
            break;
        case Step::Untick:
            session.Tick(0, false);
            break;
        case Step::Edit: {
            SplitListItem entry = list[0];
            entry.StartMs = 500;
            session.Edit(0, entry);
            break;
        }
        case Step::Parts:
            ASSERT_TRUE(session.EqualParts("4", 0, 100));
            break;
        case Step::Import: {
            const std::string cue = (scratch_.Path() / "import.cue").string();
            std::ofstream(cue)
                << "FILE \"tone_silence.mp3\" MP3\n  TRACK 01 AUDIO\n"
                   "    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:03:00\n";
            ASSERT_TRUE(session.ImportCue(cue));
            break;
        }
        case Step::Pauses:
            ASSERT_TRUE(session.FindPauses({}, {}));
            break;
        case Step::Save:
            std::ofstream(sheet) << session.SavedListText();
            break;
        case Step::Open:
            ASSERT_TRUE(session.Open(Fixture("tone_silence.mp3")));
            break;
        case Step::Load: {
            Result<SavedListFile> saved = SplitSession::ReadList(sheet);
            ASSERT_TRUE(saved);
            ASSERT_TRUE(session.LoadList(saved.Value()));
            break;
        }
        case Step::Split: {
            const PartPlan plan = session.Plan({"$N", scratch_.Path().string(), ""});
            ASSERT_TRUE(SplitSession::Run(session.Job(plan).Job, {}).Success);
            break;
        }
        case Step::Undo:
            session.Undo();
            break;
        case Step::Redo:
            session.Redo();
            break;
        }
    }
    frame_stream::TempDir scratch_;
};

// Each sequence starts on a freshly opened source (8 s, no undo step).
TEST_F(SessionEdits, UndoAndRedoGiveBackTheListOfEachStep) {
    using S = Step;
    struct Case {
        const char* Name;
        std::vector<Step> Steps;
        std::string Expected;
        std::string UndoName;
        std::string RedoName;
    };
    // clang-format off
    const Case cases[] = {
        {"three adds, two undone, one redone", {{S::Add, 3}, {S::Undo, 2}, {S::Redo}},
         "0-1000 1000-2000 ", "Add Section", "Add Section"},
        {"Remove All is one step", {{S::Add, 2}, {S::RemoveAll}, {S::Undo}},
         "0-1000 1000-2000 ", "Add Section", "Remove All"},
        {"Remove of one row", {{S::Add, 2}, {S::Remove}, {S::Undo}, {S::Redo}},
         "1000-2000 ", "Remove", ""},
        {"a tick and an edit are steps, an edit without a change none",
         {{S::Add}, {S::Untick}, {S::Edit}, {S::Edit}, {S::Undo}},
         "0-1000! ", "Untick", "Edit Section"},
        {"equal parts are one step", {{S::Add}, {S::Parts}, {S::Undo}},
         "0-1000 ", "Add Section", "Split by Parts"},
        {"an import is one step", {{S::Add}, {S::Import}, {S::Undo}, {S::Redo}},
         "0-1000 0-3000 3000-8000 ", "Import Cue", ""},
        {"pauses are one step", {{S::Pauses}, {S::Undo}}, "", "", "Split at Pauses"},
        {"a new step drops what was undone", {{S::Add, 2}, {S::Undo}, {S::Add}, {S::Redo}},
         "0-1000 1000-2000 ", "Add Section", ""},
        {"Remove All drops what was undone", {{S::Add, 2}, {S::Undo}, {S::RemoveAll}, {S::Redo}},
         "", "Remove All", ""},
        {"a split keeps the history", {{S::Add, 2}, {S::Split}, {S::Undo}},
         "0-1000 ", "Add Section", "Add Section"},
        {"opening a source clears it", {{S::Add, 2}, {S::Open}, {S::Undo}}, "", "", ""},
        {"a list loaded with its source is one step",
         {{S::Add, 2}, {S::Save}, {S::Open}, {S::Load}, {S::Undo}}, "", "", "Load List"},
        {"a hundred steps are kept, the oldest dropped", {{S::Add, 101}, {S::Undo, 101}},
         "0-1000 ", "", "Add Section"},
        {"undo and redo with nothing to do change nothing", {{S::Undo}, {S::Add}, {S::Redo}},
         "0-1000 ", "Add Section", ""},
    };
    // clang-format on
    for (const Case& c : cases) {
        SplitSession session;
        ASSERT_TRUE(session.Open(Fixture("tone_silence.mp3")));
        for (const Step& step : c.Steps)
            for (int i = 0; i < step.Count; ++i)
                Take(session, step);
        EXPECT_EQ(Rows(session.List()), c.Expected) << c.Name;
        EXPECT_EQ(session.UndoName(), c.UndoName) << c.Name;
        EXPECT_EQ(session.RedoName(), c.RedoName) << c.Name;
        EXPECT_EQ(session.CanUndo(), !c.UndoName.empty()) << c.Name;
    }
}

// The one way an error reads: the file, the sheet's line when there is one, the reason.
TEST_F(SessionEdits, ErrorsNameTheFileAndTheLine) {
    const std::string bad = (scratch_.Path() / "bad.cue").string();
    std::ofstream(bad) << "FILE \"x.mp3\" MP3\n  TRACK 01 AUDIO\n    NONSENSE\n";
    SplitSession session;
    ASSERT_TRUE(session.Open(Fixture("tone_silence.mp3")));
    const Result<void> notAudio = session.Open(Fixture("not_audio.mp3"));
    ASSERT_FALSE(notAudio);
    EXPECT_EQ(ErrorMessage(notAudio.Failure()).rfind(Fixture("not_audio.mp3") + ": ", 0), 0u);
    EXPECT_EQ(session.SourcePath(), Fixture("tone_silence.mp3")) << "a refusal keeps the source";
    const Result<ListChange> imported = session.ImportCue(bad);
    ASSERT_FALSE(imported);
    EXPECT_EQ(ErrorMessage(imported.Failure()).rfind(bad + ":3: ", 0), 0u);
    const Result<ListChange> parts = session.EqualParts("x", 0, 100);
    ASSERT_FALSE(parts);
    EXPECT_EQ(parts.Failure().Category, ErrorCategory::Input);
    EXPECT_FALSE(session.CanUndo()) << "a refused change is no step";
}

// More pauses than the list has room for: the longest are cut at, and the user is told.
TEST(SessionPauses, TheListsRoomTakesTheLongestPauses) {
    struct Case {
        int RowsBefore;
        int RowsAdded;
        std::string Note;
        bool Limit;
    };
    const std::vector<Case> cases = {
        {0, 3, "", false},
        {996, 3, "", false},
        {997, 2, "Cut at the 1 longest of 2 pauses: the list holds 999 parts", false},
        {999, 0, "", true},
    };
    for (const Case& c : cases) {
        SplitSession session;
        ASSERT_TRUE(session.Open(Fixture("tone_silence.mp3")));
        for (int i = 0; i < c.RowsBefore; ++i)
            session.UnrecordedList().AddEntry(0, 1000, {});
        const Result<ListChange> found = session.FindPauses({}, {});
        ASSERT_TRUE(found);
        EXPECT_EQ(found.Value().RowsAdded, c.RowsAdded) << c.RowsBefore;
        EXPECT_EQ(found.Value().Warnings,
                  c.Note.empty() ? std::vector<std::string>{} : std::vector{c.Note});
        EXPECT_EQ(found.Value().Limit.empty(), !c.Limit) << c.RowsBefore;
    }
}

// A search measured once serves every setting it says it covers with the
// parts a search of that setting would find; a threshold down among the
// bounds that stand for undecoded levels is not covered.
TEST(SessionPauses, ACoveredSettingFindsWhatItsOwnSearchWould) {
    SplitSession session;
    ASSERT_TRUE(session.Open(Fixture("talk_pauses_64k_mono.mp3")));
    PauseSearch search = session.Pauses();
    ASSERT_TRUE(search.Measure({-30.0, 800}, {}));
    const auto rows = [&](const PauseSearch& measured, const PauseSettings& settings) {
        std::string text;
        for (const SplitListItem& entry : session.PausePartsFor(measured, settings).Sections)
            text += std::to_string(entry.StartMs) + "-" + std::to_string(entry.EndMs) + " ";
        return text;
    };
    int covered = 0;
    for (const double thresholdDb : {-30.0, -32.0, -34.0, -40.0, -45.0, -60.0, -95.0}) {
        const PauseSettings settings{thresholdDb, 1200};
        if (!search.Covers(settings))
            continue;
        ++covered;
        PauseSearch own = session.Pauses();
        ASSERT_TRUE(own.Measure(settings, {}));
        EXPECT_EQ(rows(search, settings), rows(own, settings)) << thresholdDb;
    }
    EXPECT_GE(covered, 2);
    EXPECT_FALSE(search.Covers({-95.0, 1200}));
}

// The window's Split at pauses measures as its dialog does (a threshold 6 dB
// higher and pauses half as long, nothing undecoded over the threshold set)
// and counts, for the settings set and for a little higher ones, every pause a
// whole decode finds on talks with noisy pauses.
TEST(SessionPauses, TheDialogsCountsAreAWholeDecodesOnNoisyTalks) {
    for (const std::string& path : talks::FamilyPaths()) {
        SCOPED_TRACE(path);
        SplitSession session;
        ASSERT_TRUE(session.Open(path));
        PauseSearch search = session.Pauses();
        const PauseSettings set{-45.0, 800};
        ASSERT_TRUE(search.Measure({set.ThresholdDb + 6.0, set.MinMs / 2}, {}, set.ThresholdDb));
        const std::vector<float> whole = talks::WholeDecodeLevels(path);
        for (const PauseSettings& settings :
             {set, PauseSettings{-42.0, 1000}, PauseSettings{-40.0, 400}}) {
            ASSERT_TRUE(search.Covers(settings)) << settings.ThresholdDb;
            EXPECT_EQ(session.PausePartsFor(search, settings).PausesFound,
                      FindPauses(whole, settings).size())
                << settings.ThresholdDb;
        }
    }
}

// A source gone since it was opened: the pause search says so, naming it once.
TEST(SessionErrors, APauseSearchOverAVanishedSourceNamesIt) {
    frame_stream::TempDir scratch;
    const std::string path = (scratch.Path() / "talk.mp3").string();
    std::filesystem::copy_file(Fixture("talk_pauses_64k_mono.mp3"), path);
    SplitSession session;
    ASSERT_TRUE(session.Open(path));
    std::filesystem::remove(path);
    const Result<ListChange> found = session.FindPauses({}, {});
    ASSERT_FALSE(found);
    EXPECT_EQ(ErrorMessage(found.Failure()), path + ": cannot be opened");
}

} // namespace
