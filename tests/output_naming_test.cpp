#include "frame_stream.h"
#include "split/output_naming.h"

#include <gtest/gtest.h>

namespace {

SplitList ListOf(int rows, const std::string& title = "", const std::string& artist = "") {
    SplitList list;
    TID3v1Tag tag;
    tag.Title = title;
    tag.Artist = artist;
    for (int i = 0; i < rows; ++i)
        list.AddEntry(0, 1000, tag);
    return list;
}

std::vector<std::string> Names(const std::string& nameTemplate, const SplitList& list,
                               const std::string& source = "/music/Performer.mp3") {
    bool append = true;
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < list.SplitCount(); ++i)
        names.push_back(BuildPartFile(nameTemplate, i, list, source, "/out", append).FileName);
    return names;
}

std::string Expand(const std::string& nameTemplate, const std::string& title,
                   const std::string& artist = "", std::int32_t index = 0) {
    SplitListItem entry;
    entry.Title = title;
    entry.Artist = artist;
    bool append = true;
    return ExpandNameTemplate(nameTemplate, index, entry, "/music/Performer.mp3", append);
}

TEST(OutputNaming, ThreeDigitForm) {
    EXPECT_EQ(ThreeDigit(1), "001");
    EXPECT_EQ(ThreeDigit(42), "042");
    EXPECT_EQ(ThreeDigit(123), "123");
    EXPECT_EQ(ThreeDigit(999), "999");
}

TEST(OutputNaming, TemplatesOfTheSaveDialog) {
    EXPECT_EQ(Names("$F_Song$N", ListOf(3)),
              (std::vector<std::string>{"Performer_Song001.mp3", "Performer_Song002.mp3",
                                        "Performer_Song003.mp3"}));
    // Without "$N" the number is appended only when the list has more than one row.
    EXPECT_EQ(Names("$F", ListOf(2)),
              (std::vector<std::string>{"Performer001.mp3", "Performer002.mp3"}));
    EXPECT_EQ(Names("$F", ListOf(1)), std::vector<std::string>{"Performer.mp3"});
    EXPECT_EQ(Names("$T_$N", ListOf(1)), std::vector<std::string>{"_001.mp3"});
    EXPECT_EQ(Names("$T", ListOf(1)), std::vector<std::string>{".mp3"});
    // Tags in either case.
    EXPECT_EQ(Names("$t-$a", ListOf(1, "Title", "Artist")),
              std::vector<std::string>{"Title-Artist.mp3"});
    EXPECT_EQ(Names("$f $n", ListOf(1)), std::vector<std::string>{"Performer 001.mp3"});
    // A source name shorter than four characters stays whole.
    EXPECT_EQ(Names("$F", ListOf(1), "/x/ab"), std::vector<std::string>{"ab.mp3"});
}

TEST(OutputNaming, NumbersCountEveryRowCheckedOrNot) {
    SplitList list = ListOf(5, "Song");
    bool append = true;
    EXPECT_EQ(BuildPartFile("$T_$N", 1, list, "/a.mp3", "/out", append).Path, "/out/Song_002.mp3");
    EXPECT_EQ(BuildPartFile("$T_$N", 3, list, "/a.mp3", "/out/", append).Path, "/out/Song_004.mp3");
    EXPECT_FALSE(append);
}

TEST(OutputNaming, TheSearchAlwaysEndsAndTagsOfTheSameKindStayAsTheyStand) {
    EXPECT_EQ(Expand("$X$$N$", ""), "$X$$N$");
    EXPECT_EQ(Expand("a$T-$N", "$N"), "a001-001");
    EXPECT_EQ(Expand("$T", "$X and $T"), "$X and $T");
    // A title holding "$A" while the artist holds "$T": the "$T" stays.
    EXPECT_EQ(Expand("$T", "<$A>", "[$T]"), "<[$T]>");
    EXPECT_EQ(Expand("$A", "$A", "$T$N"), "$A001");
    // A "$" that a title brings in pairs with the letter after it in the template.
    EXPECT_EQ(Expand("$TN", "x$"), "x001");
    EXPECT_EQ(Expand("$T$T", "$"), "$$T");
    // "$F" brings in the source's name, which is scanned for the other tags.
    SplitListItem entry;
    entry.Title = "t";
    bool append = true;
    EXPECT_EQ(ExpandNameTemplate("$F", 0, entry, "/m/$T$F$n.mp3", append), "t$F001");
    EXPECT_FALSE(append);
}

TEST(OutputNaming, RefusedNames) {
    for (const char c : std::string("/\\:*?\"<>|")) {
        EXPECT_FALSE(CheckPartFileName(std::string("a") + c + "b.mp3")) << c;
        SplitList list = ListOf(1, std::string("x") + c);
        bool append = true;
        EXPECT_FALSE(BuildPartFile("$T", 0, list, "/s.mp3", "/out", append).Accepted) << c;
    }
    EXPECT_FALSE(CheckPartFileName(std::string("a\0b.mp3", 7)));
    EXPECT_TRUE(CheckPartFileName(std::string(251, 'n') + ".mp3"));
    EXPECT_FALSE(CheckPartFileName(std::string(252, 'n') + ".mp3"));
    EXPECT_EQ(RefusedNameMessage("/out/a?.mp3"), "Can't create file /out/a?.mp3");
}

TEST(OutputNaming, TheSourceItselfIsRefusedAsATarget) {
    frame_stream::TempDir dir;
    const std::string source = dir.Write("Song.mp3", frame_stream::Bytes(10, 1));
    SplitList list = ListOf(1);
    bool append = true;
    const PartFile same = BuildPartFile("$F", 0, list, source, dir.Path().string(), append);
    EXPECT_EQ(same.Path, source);
    EXPECT_FALSE(same.Accepted);
    EXPECT_FALSE(
        BuildPartFile("$F", 0, list, source, (dir.Path() / "." / "").string(), append).Accepted);
    EXPECT_TRUE(BuildPartFile("$F_x", 0, list, source, dir.Path().string(), append).Accepted);
}

} // namespace
