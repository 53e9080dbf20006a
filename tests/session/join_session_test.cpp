#include "../frame_stream.h"
#include "session/join_session.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string Fixture(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

// A join ends in a report or in one error, worded "path: reason", that says
// whether the target was there; a stop leaves nothing behind.
TEST(JoinSession, EndsInOneErrorNamingItsFile) {
    struct Case {
        std::vector<std::string> Files;
        bool TargetThere;
        bool Stop;
        ErrorCategory Category; // Internal for a join that is written
        std::string Message;    // "OUT" stands for the target
    };
    const std::string a = Fixture("cbr128_44k_joint.mp3");
    const std::string b = Fixture("cbr128_id3v2_small.mp3");
    const std::string other = Fixture("cbr320_48k.mp3");
    const std::vector<Case> cases = {
        {{a, b}, false, false, ErrorCategory::Internal, ""},
        {{a, b}, false, true, ErrorCategory::Stopped, "OUT: stopped, nothing written"},
        {{a, b}, true, false, ErrorCategory::Name, "OUT: exists"},
        {{a, other},
         false,
         false,
         ErrorCategory::Format,
         other + ": 48000 Hz where " + a + " has 44100 Hz; only files of one format can be joined"},
    };
    for (const Case& c : cases) {
        frame_stream::TempDir scratch;
        const std::string out = (scratch.Path() / "joined.mp3").string();
        if (c.TargetThere)
            std::ofstream(out) << "kept";
        JoinSession session;
        for (const std::string& file : c.Files)
            session.Add(file);
        const Result<JoinReport> joined =
            JoinSession::Run(session.Request(out, false), {{}, [&c] { return c.Stop; }});
        SCOPED_TRACE(c.Message);
        EXPECT_EQ(joined.Ok(), c.Message.empty());
        if (joined) {
            EXPECT_GT(joined.Value().Frames, 0);
            continue;
        }
        std::string message = c.Message;
        if (message.starts_with("OUT"))
            message.replace(0, 3, out);
        EXPECT_EQ(ErrorMessage(joined.Failure()), message);
        EXPECT_EQ(joined.Failure().Category, c.Category);
        EXPECT_EQ(JoinSession::TargetExists(joined.Failure()), c.TargetThere);
        EXPECT_EQ(std::filesystem::exists(out), c.TargetThere);
    }
}

} // namespace
