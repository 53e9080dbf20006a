#include "state/help_document.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

TEST(HelpDocument, FoundOnlyAsAFileBesideTheProgram) {
    const fs::path root = fs::path(testing::TempDir()) / "kerfline_help_document";
    fs::remove_all(root);
    struct Case {
        const char* Folder;
        bool MakeFile;
        bool MakeFolder;
        bool Found;
    };
    const Case cases[] = {
        {"with", true, false, true},
        {"without", false, false, false},
        {"folder", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Folder);
        const fs::path folder = root / c.Folder;
        fs::create_directories(folder);
        if (c.MakeFile)
            std::ofstream(folder / HelpDocumentName) << "<html></html>";
        if (c.MakeFolder)
            fs::create_directory(folder / HelpDocumentName);
        const Result<fs::path> found = FindHelpDocument(folder);
        ASSERT_EQ(found.Ok(), c.Found);
        if (c.Found) {
            EXPECT_EQ(found.Value(), folder / HelpDocumentName);
        } else {
            EXPECT_EQ(found.Failure().Category, ErrorCategory::Open);
            EXPECT_NE(found.Failure().Text.find((folder / HelpDocumentName).string()),
                      std::string::npos);
        }
    }
    fs::remove_all(root);
}

} // namespace
