#include "state/help_document.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>

namespace {

namespace fs = std::filesystem;

enum class Entry { None, File, Folder };

void Make(const fs::path& path, Entry entry) {
    fs::create_directories(path.parent_path());
    if (entry == Entry::File)
        std::ofstream(path) << "<html></html>";
    else if (entry == Entry::Folder)
        fs::create_directories(path);
}

// The document beside the built program wins; an installed program finds it in the
// data folder; only a file counts, and a missing one is named in the error.
TEST(HelpDocument, FoundBesideTheProgramElseInTheInstalledDataFolder) {
    struct Case {
        const char* Name;
        Entry Beside;
        Entry Installed;
        std::optional<bool> FoundBeside; // none: not found
    };
    const Case cases[] = {
        {"beside only", Entry::File, Entry::None, true},
        {"both", Entry::File, Entry::File, true},
        {"installed only", Entry::None, Entry::File, false},
        {"a folder beside, the file installed", Entry::Folder, Entry::File, false},
        {"a folder of that name", Entry::Folder, Entry::None, std::nullopt},
        {"neither", Entry::None, Entry::None, std::nullopt},
    };
    const fs::path prefix = fs::path(testing::TempDir()) / "kerfline_help_document";
    const fs::path program = prefix / "bin";
    const fs::path beside = program / HelpDocumentName;
    const fs::path installed =
        (program / InstalledHelpFolder / HelpDocumentName).lexically_normal();
    for (const Case& c : cases) {
        fs::remove_all(prefix);
        fs::create_directories(program);
        Make(beside, c.Beside);
        Make(installed, c.Installed);
        const Result<fs::path> found = FindHelpDocument(program);
        if (!c.FoundBeside) {
            ASSERT_FALSE(found.Ok()) << c.Name;
            EXPECT_EQ(found.Failure().Category, ErrorCategory::Open);
            EXPECT_NE(found.Failure().Text.find(beside.string()), std::string::npos) << c.Name;
            continue;
        }
        ASSERT_TRUE(found.Ok()) << c.Name << ": " << found.Failure().Text;
        EXPECT_EQ(found.Value(), *c.FoundBeside ? beside : installed) << c.Name;
    }
    fs::remove_all(prefix);
}

} // namespace
