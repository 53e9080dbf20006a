#include "core/block_reader.h"
#include "core/byte_source.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace {

std::vector<std::uint8_t> Pattern(std::int64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 ^ i >> 9);
    return bytes;
}

// Walking on through a source with spans of every size the walk asks for,
// many across a block's end: each holds the source's bytes, on the walk's
// own block and read ahead on a second thread alike, and a span past the
// end is refused.
TEST(BlockReader, SpansAcrossBlocksHoldTheSourcesBytes) {
    constexpr std::int64_t kBlock = BlockReader::kBlockBytes;
    const std::int64_t size = 3 * kBlock + kBlock / 2;
    const std::vector<std::uint8_t> bytes = Pattern(size);
    struct Case {
        std::int64_t Span;
        std::int64_t Step;
    };
    const std::vector<Case> cases = {
        {4, 417},                       // a header a frame
        {1441, 1000},                   // frames longer than the step: overlapping spans
        {BlockReader::kMaxSpan, 40000}, // the longest search
        {2, 1},                         // byte by byte over a block's end
    };
    for (const bool ahead : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << (ahead ? "read ahead" : "own block") << ", span "
                                            << c.Span << ", step " << c.Step);
            MemorySource source(bytes);
            std::optional<BlockReader> reader;
            if (ahead)
                reader.emplace(source, BlockReader::ReadingAhead{0});
            else
                reader.emplace(source);
            // Byte by byte only around the first block's end, to stay quick.
            const std::int64_t from = c.Step == 1 ? kBlock - 100 : 0;
            const std::int64_t to = c.Step == 1 ? kBlock + 100 : size - c.Span;
            std::int64_t wrong = 0;
            for (std::int64_t at = from; at <= to; at += c.Step) {
                const std::uint8_t* got = reader->Fetch(at, c.Span);
                ASSERT_NE(got, nullptr) << "at " << at;
                if (!std::equal(got, got + c.Span, bytes.begin() + at))
                    ++wrong;
            }
            EXPECT_EQ(wrong, 0);
            EXPECT_EQ(reader->Fetch(size - c.Span + 1, c.Span), nullptr);
            EXPECT_FALSE(reader->ReadFailed());
        }
    }
}

} // namespace
