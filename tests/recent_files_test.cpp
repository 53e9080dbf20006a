#include "state/recent_files.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using List = std::vector<std::string>;

TEST(RecentFiles, MostRecentFirstWithoutDuplicatesAndAtMostEight) {
    const List eight{"/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8"};
    const std::tuple<List, std::string, List> cases[] = {
        {{}, "/a", {"/a"}},
        {{"/a", "/b"}, "/c", {"/c", "/a", "/b"}},
        {{"/a", "/b", "/c"}, "/c", {"/c", "/a", "/b"}},
        {{"/m/./a", "/m//b"}, "/m/x/../b", {"/m/b", "/m/./a"}}, // one file named two ways
        {{"/a", "", "/a"}, "/b", {"/b", "/a"}},                 // a stored list edited by hand
        {eight, "/9", {"/9", "/1", "/2", "/3", "/4", "/5", "/6", "/7"}},
        {{}, "a.mp3", {(std::filesystem::current_path() / "a.mp3").string()}},
    };
    for (const auto& [before, opened, after] : cases) {
        EXPECT_EQ(WithRecentFile(before, opened), after) << opened;
    }
}

// The program's current folder removed under it: a relative name stays as given.
TEST(RecentFiles, ARelativeNameIsKeptAsGivenWhenTheCurrentFolderIsGone) {
    namespace fs = std::filesystem;
    struct BackHome {
        fs::path Home = fs::current_path();
        ~BackHome() { fs::current_path(Home); }
    } backHome;
    const fs::path gone = fs::temp_directory_path() / "kerfline-recent-files-gone";
    fs::create_directories(gone);
    fs::current_path(gone);
    fs::remove(gone);
    EXPECT_EQ(WithRecentFile({"/a"}, "b.mp3"), (List{"b.mp3", "/a"}));
}

TEST(RecentFiles, FilesGoneSinceAreDroppedAndOnlyMp3NamesAreSources) {
    const auto folder = std::filesystem::temp_directory_path() / "kerfline-recent-files-test";
    std::filesystem::create_directories(folder);
    const std::string kept = (folder / "kept.mp3").string();
    std::ofstream(kept) << "x";
    EXPECT_EQ(ExistingRecentFiles({(folder / "moved.mp3").string(), kept, folder.string()}),
              List{kept});
    std::filesystem::remove_all(folder);

    EXPECT_TRUE(IsSourceFileName("/m/Song.mp3") && IsSourceFileName("/m/SONG.Mp3"));
    EXPECT_FALSE(IsSourceFileName("/m/Song.cue") || IsSourceFileName("/m/Song.mp3.txt") ||
                 IsSourceFileName("/m/mp3") || IsSourceFileName("/m/.mp3/x"));
}

} // namespace
