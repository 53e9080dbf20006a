#include "state/open_source.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>

namespace {

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

TEST(OpenSource, RefusalsAndOpenedSessions) {
    struct Case {
        std::string File;
        bool Preload;
        bool Opens;
        ErrorCategory Category; // when refused
        std::int64_t DurationMs;
        std::int32_t PositionStep;
        bool Counted;
    };
    const Case cases[] = {
        {"cbr128_44k_joint.mp3", false, true, {}, 8000, 100, false},
        {"cbr128_44k_joint.mp3", true, true, {}, 8045, 100, true},
        {"vbr_v2_44k.mp3", false, true, {}, 8000, 100, false},
        {"not_audio.mp3", false, false, ErrorCategory::NoFrame, 0, 0, false},
        {"empty.mp3", true, false, ErrorCategory::NoFrame, 0, 0, false},
        {"missing.mp3", false, false, ErrorCategory::Open, 0, 0, false},
        {"", false, false, ErrorCategory::Open, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File + (c.Preload ? " preloaded" : ""));
        const std::string path =
            c.File.empty() ? std::string(KERFLINE_TEST_DATA) : DataPath(c.File);
        const Result<SourceSession> opened = OpenSource(path, {c.Preload, {}});
        ASSERT_EQ(opened.Ok(), c.Opens);
        if (!c.Opens) {
            EXPECT_EQ(opened.Failure().Category, c.Category);
            EXPECT_FALSE(opened.Failure().Text.empty());
            continue;
        }
        const SessionState& state = opened.Value().State;
        EXPECT_EQ(state.SourceFileName, path);
        EXPECT_EQ(state.DurationMs, c.DurationMs);
        EXPECT_EQ(state.PositionStep, c.PositionStep);
        EXPECT_EQ(state.FrameCount > 0, c.Counted);
        EXPECT_GT(state.MsPerFrame, 0.0);
        EXPECT_FALSE(opened.Value().ScanProblem);
    }
}

TEST(OpenSource, AWalkThatFailsKeepsTheAnalysedLength) {
    const std::filesystem::path copy =
        std::filesystem::temp_directory_path() / "kerfline_open_source_vanishing.mp3";
    std::filesystem::copy_file(DataPath("cbr128_44k_joint.mp3"), copy,
                               std::filesystem::copy_options::overwrite_existing);
    Result<SourceSession> opened = OpenSource(copy.string());
    ASSERT_TRUE(opened.Ok());
    std::filesystem::remove(copy);
    WalkSource(opened.Value());
    const SourceSession& session = opened.Value();
    ASSERT_TRUE(session.ScanProblem);
    EXPECT_NE(session.ScanProblem->Text.find(copy.filename().string()), std::string::npos);
    EXPECT_EQ(session.State.FrameCount, 0);
    EXPECT_EQ(session.State.DurationMs, 8000);
}

// A stream whose reads fail at a given byte, or throw.
class FailingBuffer : public std::stringbuf {
public:
    FailingBuffer(const std::string& bytes, std::streamoff failAt, bool throws)
        : std::stringbuf(bytes), failAt_(failAt), throws_(throws) {}

protected:
    std::streamsize xsgetn(char* s, std::streamsize n) override {
        const std::streamoff at = gptr() - eback();
        if (at + n > failAt_) {
            if (throws_)
                throw std::runtime_error("device gone");
            return 0;
        }
        return std::stringbuf::xsgetn(s, n);
    }

private:
    std::streamoff failAt_;
    bool throws_;
};

TEST(OpenSource, TheAnalysisReportsWhatEndedIt) {
    std::ifstream file(DataPath("cbr128_44k_joint.mp3"), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), {}};
    struct Case {
        bool Throws;
        ErrorCategory Category;
        bool AtTheSecondFrame;
        const char* Detail;
    };
    // The first frame is found in the first 200 bytes; the read of the second
    // frame's header fails.
    for (const Case c : {Case{false, ErrorCategory::Read, true, ""},
                         Case{true, ErrorCategory::Internal, false, "device gone"}}) {
        FailingBuffer buffer(bytes, 200, c.Throws);
        std::istream in(&buffer);
        in.exceptions(std::ios::badbit);
        TAudioInfo info;
        EXPECT_EQ(info.AnalyseStream(in, static_cast<std::int64_t>(bytes.size())),
                  AnalysisResult::Failed);
        EXPECT_EQ(info.Problem.Category, c.Category);
        EXPECT_EQ(info.Problem.Offset, c.AtTheSecondFrame ? info.Header.FrameBytes : -1);
        EXPECT_EQ(info.Problem.Text.rfind(TAudioInfo::FailureMessage, 0), 0u);
        EXPECT_NE(info.Problem.Text.find(c.Detail), std::string::npos);
    }
}

} // namespace
