// The split's walk reads ahead of its writer. A run that ends while blocks
// are queued for the writer ends after the part at hand, leaves no file for
// the parts read ahead, and returns.
#include "frame_stream.h"
#include "split/split_worker.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace frame_stream;

constexpr std::int32_t kFrameBytes = 417; // 26.0625 ms at 128 kbit/s, 44100 Hz
constexpr int kFrames = 50000;            // 20 MB, many blocks of the walk

struct Case {
    const char* Name;
    rlim_t FileSizeLimit; // 0: none; else a write past it fails, as on a full disk
    bool StopAfterFirstPart;
    std::int32_t PartsWritten;
    bool Stopped;
    std::size_t Errors;
};

struct Result {
    std::int32_t PartsWritten = -1;
    bool Stopped = false;
    std::size_t Errors = 0;
};

// Runs the split in a child process, which alone has the file size limit.
Result SplitWithLimit(const SplitJob& job, const SplitCallbacks& callbacks, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit fileSize{limit, limit};
        if (limit != 0 && setrlimit(RLIMIT_FSIZE, &fileSize) != 0)
            _exit(255);
        const SplitOutcome outcome = WriteAllParts(job, callbacks);
        _exit(outcome.PartsWritten * 20 + outcome.Stopped * 10 +
              static_cast<int>(outcome.Errors.size()));
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return {};
    const int code = WEXITSTATUS(status);
    return {code / 20, (code / 10) % 2 == 1, static_cast<std::size_t>(code % 10)};
}

TEST(SplitPipeline, ARunEndedWhileBlocksAreQueuedLeavesOnlyThePartsBefore) {
    const Case cases[] = {
        // The second part's writes fail at 2 MB, long after the walk has read on.
        {"write error", 2'000'000, false, 1, false, 1},
        // The first part's progress step holds the writer while the walk fills the ring.
        {"stop request", 0, true, 1, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        SplitJob job;
        job.SourcePath = dir.Write("source.mp3", Frames(kMpeg1Cbr128, kFrameBytes, kFrames));
        job.FrameCount = kFrames;
        const std::int32_t sectionsMs[][2] = {{0, 10'000}, {10'000, 600'000}, {600'000, 900'000}};
        for (const auto& section : sectionsMs) {
            SplitJobRow row;
            row.Checked = row.DoWrite = true;
            row.OutPath = (dir.Path() / ("part" + std::to_string(section[0]) + ".mp3")).string();
            row.StartMs = section[0];
            row.EndMs = section[1];
            job.Rows.push_back(row);
        }
        int steps = 0;
        SplitCallbacks callbacks;
        callbacks.StepProgress = [&steps] {
            if (++steps == 1)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        };
        callbacks.StopRequested = [&c, &steps] { return c.StopAfterFirstPart && steps >= 1; };

        const Result result = SplitWithLimit(job, callbacks, c.FileSizeLimit);
        EXPECT_EQ(result.PartsWritten, c.PartsWritten);
        EXPECT_EQ(result.Stopped, c.Stopped);
        EXPECT_EQ(result.Errors, c.Errors);
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, (std::vector<std::string>{"part0.mp3", "source.mp3"}));
        EXPECT_EQ(fs::file_size(dir.Path() / "part0.mp3"), 384u * kFrameBytes + 128);
    }
}

} // namespace
