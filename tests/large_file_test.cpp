// A source of more than 4 GiB: frames at the start, a hole, frames at the
// end. The file is sparse, so it costs a megabyte of disk, and nothing reads
// it whole into memory. Long tests: every walk crosses the 4 GiB hole (read
// in blocks, its zeros passed at memchr's pace).
#include "core/audio_info.h"
#include "core/preload_scan.h"
#include "frame_stream.h"
#include "split/part_plan.h"
#include "split/split_list.h"
#include "split/split_worker.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace frame_stream;

constexpr std::int32_t kFrameBytes = 417; // 128 kbit/s, 44100 Hz: 26.0625 ms
constexpr int kFramesAtEachEnd = 1000;
constexpr std::int64_t kHeadBytes = std::int64_t{kFramesAtEachEnd} * kFrameBytes;
// Past 4 GiB and on no block boundary.
constexpr std::int64_t kTailStart = (std::int64_t{4} << 30) + 1000001;
constexpr std::int64_t kFileSize = kTailStart + kHeadBytes + 128;

// Frame k of the file (0..1999), its body filled with a byte of its own so
// that a frame taken from the wrong place shows.
Bytes FramesFrom(int first, int count) {
    Bytes out;
    for (int k = first; k < first + count; ++k)
        AppendFrame(out, kMpeg1Cbr128, kFrameBytes, static_cast<std::uint8_t>(1 + k % 200));
    return out;
}

bool WriteAt(int fd, std::int64_t offset, const Bytes& bytes) {
    return pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
}

class LongLargeFile : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (dir_.Path() / "large.mp3").string();
        const int fd = open(path_.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const bool written =
            WriteAt(fd, 0, FramesFrom(0, kFramesAtEachEnd)) &&
            WriteAt(fd, kTailStart, FramesFrom(kFramesAtEachEnd, kFramesAtEachEnd)) &&
            WriteAt(fd, kTailStart + kHeadBytes, Id3v1Block("far end"));
        struct stat st {};
        fstat(fd, &st);
        close(fd);
        ASSERT_TRUE(written);
        ASSERT_EQ(st.st_size, kFileSize);
        if (static_cast<std::int64_t>(st.st_blocks) * 512 > (std::int64_t{64} << 20))
            GTEST_SKIP() << "the temporary folder's file system keeps no holes";
    }

    TAudioInfo Analysed() const {
        TAudioInfo info;
        EXPECT_EQ(info.AnalyseFile(path_).Value(), AnalysisResult::Ok);
        return info;
    }

    TempDir dir_;
    std::string path_;
};

TEST_F(LongLargeFile, AnalysisReachesPast4GiB) {
    const TAudioInfo info = Analysed();
    EXPECT_EQ(info.FileSize, kFileSize);
    EXPECT_EQ(info.FirstFrameOffset, 0);
    EXPECT_TRUE(info.Header.Valid);
    // The tag is read from the far end of the file.
    EXPECT_TRUE(info.Tag.Present);
    EXPECT_EQ(info.Tag.Title, "far end");
    // (4,296,384,425 - 128) * 8 div 12,800 = 2,685,240 tenths: 32 bits would overflow.
    EXPECT_EQ(kFileSize, 4296384425);
    EXPECT_EQ(info.PlayTimeMs, 268524000);
}

TEST_F(LongLargeFile, ScanCountsTheHoleByteByByte) {
    const ScanResult scan = PreloadScan(ScanSource::From(path_, Analysed())).Value();
    EXPECT_EQ(scan.FrameCount, 2 * kFramesAtEachEnd);
    // Every byte of the hole is a position at which no frame starts; the tag
    // is not walked, as less than a frame's length remains before it.
    EXPECT_EQ(scan.ErrorCount, kTailStart - kHeadBytes);
    EXPECT_DOUBLE_EQ(scan.DurationMsExact, 2000 * 26.0625);
}

TEST_F(LongLargeFile, PartsNearTheEndHoldTheirFrames) {
    const TAudioInfo info = Analysed();
    SplitList list;
    PartPlan plan;
    // The hole adds no time: frame k starts at 26.0625 * k ms. 30000 to 31000
    // ms holds frames 1152 to 1189; from 52000 ms on the last four, 1996 to 1999.
    for (const auto& [start, end] : {std::pair{30000, 31000}, std::pair{52000, 60000}}) {
        const std::int32_t row = list.AddEntry(start, end, info.Tag);
        plan.push_back({(dir_.Path() / ("part" + std::to_string(row) + ".mp3")).string(),
                        PartDecision::Write, ""});
    }
    SourceSession opened;
    opened.Info = info;
    opened.Format = SourceFormat::Of(info);
    opened.State.SourceFileName = path_;
    opened.State.FrameCount = 2 * kFramesAtEachEnd;
    const SplitJob job = BuildSplitJob(opened, true, list, plan);
    const SplitOutcome outcome = WriteAllParts(job, {});
    ASSERT_TRUE(outcome.Success) << (outcome.Errors.empty() ? "" : outcome.Errors[0]);

    const Bytes first = ReadFile(job.Rows[0].OutPath);
    Bytes expected = FramesFrom(1152, 38);
    expected.insert(expected.end(), job.Rows[0].Tag.begin(), job.Rows[0].Tag.end());
    EXPECT_TRUE(first == expected);

    const Bytes last = ReadFile(job.Rows[1].OutPath);
    expected = FramesFrom(1996, 4);
    expected.insert(expected.end(), job.Rows[1].Tag.begin(), job.Rows[1].Tag.end());
    EXPECT_TRUE(last == expected);

    // The walk read the file in blocks and kept none of it.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 1024L * 1024) << "peak memory in KiB";
}

} // namespace
