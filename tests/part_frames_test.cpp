#include "core/source_walk.h"
#include "frame_stream.h"
#include "split/part_frames.h"
#include "split/split_worker.h"

#include <gtest/gtest.h>

namespace {

using namespace frame_stream;

// MPEG 1 Layer III at 48000 Hz: 384 bytes and 24 ms a frame at 128 kbit/s.
constexpr Header k128At48k{0xFF, 0xFB, 0x94, 0x64};
constexpr Header k64At48k{0xFF, 0xFB, 0x54, 0x64}; // 192 bytes, 24 ms

struct Source {
    const char* Name;
    Bytes Data;
    bool HasInfoFrame = false;
};

// Frames with distinct bodies, so that a wrong frame cannot pass for a right one.
Bytes Numbered(const Header& header, std::int32_t length, int count, int first = 0) {
    Bytes out;
    for (int i = first; i < first + count; ++i) {
        AppendFrame(out, header, length);
        out[out.size() - 2] = static_cast<std::uint8_t>(i % 200);
        out[out.size() - 1] = static_cast<std::uint8_t>(i / 200);
    }
    return out;
}

std::vector<Source> Sources() {
    Source plain{"plain", Numbered(k128At48k, 384, 900)};
    Source mixed{"junk, two bitrates, a tag", Numbered(k128At48k, 384, 300)};
    AppendJunk(mixed.Data, 77);
    Append(mixed.Data, Numbered(k64At48k, 192, 400, 300));
    AppendJunk(mixed.Data, 5, 0xFF);
    Append(mixed.Data, Numbered(k128At48k, 384, 200, 700));
    Append(mixed.Data, Id3v1Block("tail"));
    Source informed{"information frame", {}, true};
    AppendInformationFrame(informed.Data, k128At48k, 384, 36, "Xing", 600);
    Append(informed.Data, Numbered(k128At48k, 384, 600));
    AppendFrame(informed.Data, k128At48k, 384);
    informed.Data.resize(informed.Data.size() - 100); // a last frame cut short
    // Last frames shorter than the information frame: counted, as they fit.
    Source shortEnd{"short last frames", {}, true};
    AppendInformationFrame(shortEnd.Data, k128At48k, 384, 36, "Xing", 302);
    Append(shortEnd.Data, Numbered(k128At48k, 384, 300));
    Append(shortEnd.Data, Numbered(k64At48k, 192, 2, 300));
    return {plain, mixed, informed, shortEnd};
}

ScanSource ScanOf(const std::string& path, const Source& source) {
    ScanSource scan;
    scan.Path = path;
    scan.Format.HasInfoFrame = source.HasInfoFrame;
    scan.Format.FirstFrameBytes = 384;
    return scan;
}

// The open's one walk keeps, before every 64th audio frame it counts, the
// state that the preview's walk from the first frame has there: position,
// index and elapsed time to the last bit.
TEST(PartFramesTest, TheOpensWalkKeepsThePreviewWalksStates) {
    for (const Source& source : Sources()) {
        TempDir dir;
        const ScanSource scan = ScanOf(dir.Write("source.mp3", source.Data), source);
        SourceWalk walk(scan);
        const std::int32_t counted = walk.Run().Value().FrameCount;
        FrameWalk frames;
        ASSERT_TRUE(frames.Open(scan));
        WalkPoint at = frames.Start();
        std::vector<WalkPoint> passed{at};
        while (frames.Next(at) && at.FrameIndex < counted) {
            if (at.FrameIndex % FrameCheckpoints::kStride == 0)
                passed.push_back(at);
        }
        EXPECT_EQ(walk.Checkpoints().All(), passed) << source.Name;
        EXPECT_EQ(walk.Await().Value().FrameCount, counted) << "walked once, asked twice";
    }
}

// The part the split writes for each section, minus its tag, equals the
// frames the preview reads for it from the open's checkpoints (the walk
// running meanwhile); the lead frames are those just before (bytes that
// start no frame may lie between).
TEST(PartFramesTest, APreviewReadsTheFramesThePartHolds) {
    const std::pair<std::int32_t, std::int32_t> sections[] = {
        {0, 0},       {0, 1000},     {1000, 2000},    {1007, 1009},   {1009, 1010},
        {7190, 7210}, {9000, 12000}, {12300, 999999}, {14390, 14500}, {20000, 30000}};
    for (const Source& source : Sources()) {
        TempDir dir;
        SplitJob job;
        job.SourcePath = dir.Write("source.mp3", source.Data);
        job.Format.HasInfoFrame = source.HasInfoFrame;
        job.SaveFrameOption = false;
        job.Format.FirstFrameBytes = 384;
        for (const auto& [start, end] : sections) {
            SplitJobRow row;
            row.Checked = row.DoWrite = true;
            row.StartMs = start;
            row.EndMs = end;
            row.OutPath = (dir.Path() / ("p" + std::to_string(job.Rows.size()))).string();
            job.Rows.push_back(row);
        }
        WriteAllParts(job, {});

        const ScanSource scan = ScanOf(job.SourcePath, source);
        SourceWalk walk(scan);
        const FrameCheckpoints& checkpoints = walk.Checkpoints();
        PartFrames frames;
        ASSERT_TRUE(frames.Open(scan));
        for (const SplitJobRow& row : job.Rows) {
            frames.Begin(checkpoints.Before(row.StartMs), row.StartMs, row.EndMs, 2);
            Bytes heard;
            Bytes lead;
            Bytes first;
            while (const auto frame = frames.Next()) {
                const Bytes bytes(frame->Bytes.begin(), frame->Bytes.end());
                if (!frame->Lead && heard.empty())
                    first = bytes;
                Append(frame->Lead ? lead : heard, bytes);
            }
            Bytes written = ReadFile(row.OutPath);
            if (!written.empty())
                written.resize(written.size() - 128);
            EXPECT_EQ(heard, written) << source.Name << " " << row.StartMs << ".." << row.EndMs;
            if (heard.empty())
                continue;
            const auto at =
                std::search(source.Data.begin(), source.Data.end(), first.begin(), first.end());
            const auto leadEnd = std::find_end(source.Data.begin(), at, lead.begin(), lead.end()) +
                                 static_cast<std::ptrdiff_t>(lead.size());
            EXPECT_TRUE(lead.empty() || (leadEnd <= at && at - leadEnd < 100))
                << source.Name << " " << row.StartMs;
            EXPECT_EQ(lead.empty(), at - source.Data.begin() < 400) << source.Name;
        }
    }
}

} // namespace
