#include "split/equal_parts.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

using Ranges = std::vector<std::pair<std::int32_t, std::int32_t>>;

EqualPartsInput Input(const std::string& count, double totalMs, std::int32_t overlapPositions = 0,
                      std::int32_t positionStep = 100) {
    EqualPartsInput input;
    input.CountText = count;
    input.TotalMs = totalMs;
    input.OverlapPositions = overlapPositions;
    input.PositionStep = positionStep;
    return input;
}

Ranges Split(const EqualPartsInput& input) {
    SplitList list;
    const Result<EqualPartsResult> result = SplitByEqualParts(list, input, TID3v1Tag());
    EXPECT_TRUE(result && result.Value().LeftOut.empty());
    Ranges ranges;
    for (const SplitListItem& entry : list.Entries())
        ranges.emplace_back(entry.StartMs, entry.EndMs);
    return ranges;
}

TEST(SplitByEqualParts, TilesTheSourceAndTheLastPartAbsorbsTheRounding) {
    EXPECT_EQ(Split(Input("3", 10000)), (Ranges{{0, 3333}, {3333, 6666}, {6666, 10000}}));
    EXPECT_EQ(Split(Input("4", 10002)),
              (Ranges{{0, 2500}, {2500, 5000}, {5000, 7500}, {7500, 10002}}));
    // 2501.5 rounds to the even 2502, 2500.5 to the even 2500.
    EXPECT_EQ(Split(Input("4", 10006))[1], (std::pair<std::int32_t, std::int32_t>{2502, 5004}));
    EXPECT_EQ(Split(Input("2", 5001))[0], (std::pair<std::int32_t, std::int32_t>{0, 2500}));
    EXPECT_EQ(Split(Input("2", 5003))[0], (std::pair<std::int32_t, std::int32_t>{0, 2502}));
}

TEST(SplitByEqualParts, OverlapLengthensEveryPartButTheLast) {
    EXPECT_EQ(Split(Input("3", 9000, 20)), (Ranges{{0, 5000}, {3000, 8000}, {6000, 9000}}));
    // Ends past the source's end are kept as computed.
    EXPECT_EQ(Split(Input("3", 9000, 5, 1000)), (Ranges{{0, 8000}, {3000, 11000}, {6000, 9000}}));
}

TEST(SplitByEqualParts, ManyPartsOfAShortSourceAreStoredAsComputed) {
    const Ranges r = Split(Input("999", 200400));
    ASSERT_EQ(r.size(), 999u);
    EXPECT_EQ(r[1].first, 201);
    EXPECT_EQ(r[998], (std::pair<std::int32_t, std::int32_t>{200598, 200400}));

    const Ranges zero = Split(Input("999", 300, 3));
    EXPECT_EQ(zero[0], (std::pair<std::int32_t, std::int32_t>{0, 300}));
    EXPECT_EQ(zero[997], (std::pair<std::int32_t, std::int32_t>{0, 300}));
    EXPECT_EQ(zero[998], (std::pair<std::int32_t, std::int32_t>{0, 300}));
}

TEST(SplitByEqualParts, CountIsClampedAndAnEmptyFieldBecomesTwo) {
    for (const char* count : {"0", "1", "-4", ""})
        EXPECT_EQ(Split(Input(count, 1000)).size(), 2u) << count;
    SplitList list;
    const Result<EqualPartsResult> result = SplitByEqualParts(list, Input("", 1000), TID3v1Tag());
    EXPECT_EQ(result.Value().CountText, "2");
    EXPECT_EQ(Split(Input("5000", 100000)).size(), 999u);
}

TEST(SplitByEqualParts, ANonNumberAddsNothing) {
    SplitList list;
    for (const char* count : {"1a", "x", "+", "99999999999"}) {
        const Result<EqualPartsResult> result =
            SplitByEqualParts(list, Input(count, 1000), TID3v1Tag());
        ASSERT_FALSE(result) << count;
        EXPECT_EQ(result.Failure().Category, ErrorCategory::Input);
        EXPECT_EQ(ErrorMessage(result.Failure()),
                  std::string("'") + count + "' is not a valid integer value");
    }
    EXPECT_EQ(list.SplitCount(), 0);
}

TEST(SplitByEqualParts, AppendsAfterExistingEntriesUpToTheLimit) {
    TID3v1Tag tag;
    tag.Title = "Song";
    tag.Present = true;
    tag.GenreId = 3;
    SplitList list;
    for (int i = 0; i < 5; ++i)
        list.AddEntry(0, 1, tag);
    EqualPartsResult result = SplitByEqualParts(list, Input("3", 9000), tag).Value();
    EXPECT_EQ(result.FirstNewIndex, 5);
    EXPECT_EQ(result.PartsAdded, 3);
    EXPECT_EQ(list.SplitCount(), 8);
    EXPECT_TRUE(list[7].Checked);
    EXPECT_EQ(list[7].Title, "Song");
    EXPECT_EQ(list[7].Genre, 3);

    while (list.SplitCount() < 998)
        list.AddEntry(0, 1, tag);
    result = SplitByEqualParts(list, Input("3", 9000), tag).Value();
    EXPECT_EQ(result.PartsAdded, 1);
    EXPECT_EQ(result.LeftOut.size(), 2u);
    EXPECT_EQ(list.SplitCount(), 999);
    result = SplitByEqualParts(list, Input("3", 9000), tag).Value();
    EXPECT_EQ(result.PartsAdded, 0);
    EXPECT_EQ(result.LeftOut.size(), 3u);
}

} // namespace
