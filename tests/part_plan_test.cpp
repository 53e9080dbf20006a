#include "core/audio_info.h"
#include "split/output_naming.h"
#include "split/part_plan.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

class PartPlanTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("kerfline_part_plan_" +
                   std::to_string(::testing::UnitTest::GetInstance()->current_test_info()->line()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        source_ = (folder_ / "Performer.mp3").string();
        std::ofstream(source_) << "source";
    }
    void TearDown() override { fs::remove_all(folder_); }

    SplitList ListOf(const std::vector<std::string>& titles) const {
        SplitList list;
        for (const std::string& title : titles) {
            TID3v1Tag tag;
            tag.Title = title;
            list.AddEntry(0, 1000, tag);
        }
        return list;
    }
    std::string In(const std::string& name) const { return (folder_ / name).string(); }

    fs::path folder_;
    std::string source_;
};

TEST_F(PartPlanTest, NamesAndDecisionsPerRow) {
    using D = PartDecision;
    struct Case {
        const char* Name;
        std::vector<std::string> Titles;
        std::string Template;
        std::vector<std::string> Existing;
        OverwritePolicy Policy;
        std::vector<std::pair<std::string, D>> Expected; // file name ("" for none), decision
    };
    const Case cases[] = {
        {"numbers appended without $N",
         {"a", "b"},
         "$F",
         {},
         OverwritePolicy::Ask,
         {{"Performer001.mp3", D::Write}, {"Performer002.mp3", D::Write}}},
        {"a single row gets no number",
         {"a"},
         "$T",
         {},
         OverwritePolicy::Ask,
         {{"a.mp3", D::Write}}},
        {"$N numbers in place",
         {"a", "b"},
         "x$N",
         {},
         OverwritePolicy::Ask,
         {{"x001.mp3", D::Write}, {"x002.mp3", D::Write}}},
        {"a Latin-1 tag title names in UTF-8",
         {"Caf\xE9"},
         "$T",
         {},
         OverwritePolicy::Ask,
         {{"Caf\xC3\xA9.mp3", D::Write}}},
        {"a tag's unusable character becomes _",
         {"ok", "What?"},
         "$T_$N",
         {},
         OverwritePolicy::Overwrite,
         {{"ok_001.mp3", D::Write}, {"What__002.mp3", D::Write}}},
        {"a typed unusable character is refused",
         {"ok", "b"},
         "$T:$N",
         {},
         OverwritePolicy::Overwrite,
         {{"", D::Refuse}, {"", D::Refuse}}},
        {"the source is refused",
         {"a"},
         "$F",
         {"Performer.mp3"},
         OverwritePolicy::Overwrite,
         {{"Performer.mp3", D::Refuse}}},
        // The first title's "$N" uses up the number, so the second row gets none.
        {"a repeated name is refused",
         {"$N", "001"},
         "$T",
         {},
         OverwritePolicy::Ask,
         {{"001.mp3", D::Write}, {"001.mp3", D::Refuse}}},
        {"existing: ask",
         {"a", "b"},
         "$T",
         {"a001.mp3"},
         OverwritePolicy::Ask,
         {{"a001.mp3", D::Ask}, {"b002.mp3", D::Write}}},
        {"existing: overwrite",
         {"a"},
         "$T",
         {"a.mp3"},
         OverwritePolicy::Overwrite,
         {{"a.mp3", D::Write}}},
        {"existing: keep", {"a"}, "$T", {"a.mp3"}, OverwritePolicy::Keep, {{"a.mp3", D::Skip}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        for (const std::string& name : c.Existing)
            std::ofstream(In(name), std::ios::app) << "";
        const PartPlan plan =
            PlanParts(ListOf(c.Titles), {c.Template, folder_.string(), source_, c.Policy});
        ASSERT_EQ(plan.size(), c.Expected.size());
        for (std::size_t i = 0; i < plan.size(); ++i) {
            const std::string& name = c.Expected[i].first;
            EXPECT_EQ(plan[i].Path, name.empty() ? "" : In(name)) << i;
            EXPECT_EQ(plan[i].Decision, c.Expected[i].second) << i;
            const bool explained = plan[i].Decision == D::Refuse || plan[i].Decision == D::Skip;
            EXPECT_EQ(plan[i].Reason.empty(), !explained) << i;
        }
        for (const std::string& name : c.Existing)
            if (name != "Performer.mp3")
                fs::remove(In(name));
    }
}

TEST_F(PartPlanTest, UncheckedRowsAreSkippedAndKeepTheirNumbers) {
    SplitList list = ListOf({"a", "b", "c"});
    list[1].Checked = false;
    const PartPlan plan = PlanParts(list, {"$F", folder_.string(), source_, OverwritePolicy::Ask});
    EXPECT_EQ(plan[1].Decision, PartDecision::Skip);
    EXPECT_TRUE(plan[1].Path.empty());
    EXPECT_EQ(plan[2].Path, In("Performer003.mp3"));
    EXPECT_EQ(PartsToWrite(plan), 2);

    SourceSession opened; // the format as the open derived it
    opened.Format.FirstFrameOffset = 10;
    opened.State.SourceFileName = source_;
    const SplitJob job = BuildSplitJob(opened, true, list, plan);
    ASSERT_EQ(job.Rows.size(), 3u);
    EXPECT_EQ(job.Format.FirstFrameOffset, 10);
    EXPECT_EQ(job.FrameCount, 0);
    EXPECT_EQ(job.PartsToWrite(), 2);
    EXPECT_EQ(job.Rows[2].OutPath, plan[2].Path);
    EXPECT_FALSE(job.Rows[1].DoWrite);
}

// A name the system cannot answer for is refused with its reason, never taken as free.
TEST_F(PartPlanTest, ANameThatCannotBeCheckedIsRefusedWithTheReason) {
    fs::create_symlink("loop_001.mp3", In("loop_001.mp3"));
    std::string deep = folder_.string();
    while (deep.size() <= 4096)
        deep += "/" + std::string(200, 'd');
    struct Case {
        const char* Name;
        std::string Folder;
        std::string Reason;
    };
    const Case cases[] = {
        {"a loop of links", folder_.string(),
         "Can't create file " + In("loop_001.mp3") + ": Too many levels of symbolic links"},
        {"a path past the system's limit", deep,
         "Can't create file " + deep + "/loop_001.mp3: File name too long"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const PartPlan plan =
            PlanParts(ListOf({"loop", "b"}), {"$T_$N", c.Folder, source_, OverwritePolicy::Keep});
        EXPECT_EQ(plan[0].Decision, PartDecision::Refuse);
        EXPECT_EQ(plan[0].Reason, c.Reason);
        EXPECT_EQ(plan[1].Decision, c.Folder == deep ? PartDecision::Refuse : PartDecision::Write);
    }
}

// In a run over several sources no part replaces another source or a part
// planned for an earlier source, even when overwriting is allowed.
TEST_F(PartPlanTest, ABatchNeverReplacesItsSourcesOrItsEarlierParts) {
    const std::string other = In("Other.mp3");
    std::ofstream(other) << "another source";
    const std::vector<std::string> none;
    const std::tuple<std::vector<std::string>, std::set<std::string>, std::string> cases[] = {
        {{other}, {}, RefusedNameMessage(other, "it is another of the files being split")},
        {none, {other}, other + ": an earlier part has the same name; not written"},
        {none, {In("Other001.mp3")}, ""}, // no clash: the existing file is overwritten
    };
    for (const auto& [otherSources, earlierParts, reason] : cases) {
        PlanRequest request{"$T", folder_.string(), source_, OverwritePolicy::Overwrite};
        request.OtherSources = otherSources;
        request.EarlierParts = earlierParts;
        const PartPlan plan = PlanParts(ListOf({"Other"}), request);
        EXPECT_EQ(plan[0].Decision, reason.empty() ? PartDecision::Write : PartDecision::Refuse);
        EXPECT_EQ(plan[0].Reason, reason);
    }
}

} // namespace
