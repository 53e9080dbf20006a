#include "state/help_document.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// Only a file of that name counts; a missing one is named in the error.
TEST(HelpDocument, FoundOnlyAsAFileBesideTheProgram) {
    const fs::path folder = fs::path(testing::TempDir()) / "kerfline_help_document";
    fs::remove_all(folder);
    fs::create_directories(folder / HelpDocumentName);
    EXPECT_FALSE(FindHelpDocument(folder).Ok()) << "a folder of that name";
    fs::remove(folder / HelpDocumentName);
    const Result<fs::path> missing = FindHelpDocument(folder);
    ASSERT_FALSE(missing.Ok());
    EXPECT_EQ(missing.Failure().Category, ErrorCategory::Open);
    EXPECT_NE(missing.Failure().Text.find((folder / HelpDocumentName).string()), std::string::npos);
    std::ofstream(folder / HelpDocumentName) << "<html></html>";
    ASSERT_TRUE(FindHelpDocument(folder).Ok());
    EXPECT_EQ(FindHelpDocument(folder).Value(), folder / HelpDocumentName);
    fs::remove_all(folder);
}

} // namespace
