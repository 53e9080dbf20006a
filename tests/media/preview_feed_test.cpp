#include "core/audio_info.h"
#include "media/preview_feed.h"
#include "split/part_frames.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

std::string DataPath(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

// Everything a run hands out, taken in small pieces as a sink would.
std::int64_t TakeAll(PreviewFeed& feed) {
    std::vector<char> chunk(4000);
    std::int64_t total = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!feed.Drained() && std::chrono::steady_clock::now() < deadline) {
        const std::int64_t got = feed.Take(chunk.data(), static_cast<std::int64_t>(chunk.size()));
        total += got;
        if (got == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return total;
}

// A run hands out the sound of exactly the frames a part of it holds (lead
// frames decoded but dropped), tells when its first sound comes, and a new
// run drops what the last one had decoded.
TEST(PreviewFeed, ARunHandsOutThePartsFramesExactly) {
    const std::string path = DataPath("tone_440hz_6s.mp3");
    TAudioInfo info;
    info.AnalyseFile(path);
    const ScanSource source = ScanSource::From(path, info);
    std::atomic<int> sounds{0};
    PreviewFeed feed(std::make_shared<SourceWalk>(source), 44100 * 4, [&] { ++sounds; });
    const Result<void> ready = feed.Ready();
    ASSERT_TRUE(ready) << ErrorMessage(ready.Failure());

    const std::pair<std::int32_t, std::int32_t> sections[] = {{2000, 4000}, {0, 500}, {5900, 9000}};
    for (const auto& [start, end] : sections) {
        SCOPED_TRACE(start);
        PartFrames frames;
        ASSERT_TRUE(frames.Open(source));
        frames.Begin(WalkPoint{}, start, end, 0);
        std::int64_t held = 0;
        while (frames.Next())
            ++held;
        const int before = sounds;
        feed.Start(start, end);
        EXPECT_EQ(TakeAll(feed), held * 1152 * 2) << held; // mono
        EXPECT_GT(sounds, before);
        ASSERT_TRUE(feed.FirstFrameMs());
        EXPECT_NEAR(*feed.FirstFrameMs(), start, 27.0);
    }

    feed.Start(0, std::nullopt);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    feed.Halt();
    EXPECT_TRUE(feed.Drained());
    char byte = 0;
    EXPECT_EQ(feed.Take(&byte, 1), 0);
}

} // namespace
