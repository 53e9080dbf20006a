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
        names.push_back(
            BuildPartFile(nameTemplate, i, list, source, "/out", append).Value().FileName);
    return names;
}

std::string Expand(const std::string& nameTemplate, const std::string& title,
                   const std::string& artist = "", std::int32_t index = 0) {
    SplitListItem entry;
    entry.Title = title;
    entry.Artist = artist;
    bool append = true;
    return ExpandNameTemplate(nameTemplate, index, entry, "/music/Performer.mp3", append).Value();
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
    // A name that would be empty (".mp3", a hidden file) is the part's number.
    EXPECT_EQ(Names("$T", ListOf(1)), std::vector<std::string>{"001.mp3"});
    EXPECT_EQ(Names("", ListOf(1)), std::vector<std::string>{"001.mp3"});
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
    EXPECT_EQ(BuildPartFile("$T_$N", 1, list, "/a.mp3", "/out", append).Value().Path,
              "/out/Song_002.mp3");
    EXPECT_EQ(BuildPartFile("$T_$N", 3, list, "/a.mp3", "/out/", append).Value().Path,
              "/out/Song_004.mp3");
    EXPECT_FALSE(append);
}

TEST(OutputNaming, TheSearchAlwaysEndsAndTagsOfTheSameKindStayAsTheyStand) {
    EXPECT_EQ(Expand("$X$$N$", ""), "$X$$N$");
    EXPECT_EQ(Expand("a$T-$N", "$N"), "a001-001");
    EXPECT_EQ(Expand("$T", "$X and $T"), "$X and $T");
    // A title holding "$A" while the artist holds "$T": the "$T" stays.
    EXPECT_EQ(Expand("$T", "($A)", "[$T]"), "([$T])");
    EXPECT_EQ(Expand("$A", "$A", "$T$N"), "$A001");
    // A "$" that a title brings in pairs with the letter after it in the template.
    EXPECT_EQ(Expand("$TN", "x$"), "x001");
    EXPECT_EQ(Expand("$T$T", "$"), "$$T");
    // "$F" brings in the source's name, which is scanned for the other tags.
    SplitListItem entry;
    entry.Title = "t";
    bool append = true;
    EXPECT_EQ(ExpandNameTemplate("$F", 0, entry, "/m/$T$F$n.mp3", append).Value(), "t$F001");
    EXPECT_FALSE(append);
}

// Characters a name cannot hold are refused, with the reason, when the user
// typed them into the template, and become "_" when a tag or the source's
// name brings them in; a name that grows past 255 bytes is refused.
TEST(OutputNaming, UnfitCharactersAndLengths) {
    const std::string crafted = "$A$A$A$A$A$A$A$A$A$A$A$A$A$A$A";
    struct Case {
        const char* Name;
        std::string Template, Title, Artist, Source;
        std::string Expected; // file name, or the refusal's line
    };
    const Case cases[] = {
        {"tag characters", "$T", "Live: \"A/B\" <1|2> *?\\", "", "/m/s.mp3",
         "Live_ _A_B_ _1_2_ ___.mp3"},
        {"tag controls", "$T",
         "a\x1b[2J\x7f\xc2\x9b"
         "b\t",
         "", "/m/s.mp3", "a_[2J__b_.mp3"},
        {"the source's name", "$F", "", "", "/m/Live: 2020.mp3", "Live_ 2020.mp3"},
        {"a tag's tag", "$T", "$A", "x:y", "/m/s.mp3", "x_y.mp3"},
        // A name a tag begins is never hidden; dots further on stay.
        {"a title of a dot", "$T", ".", "", "/m/s.mp3", "_.mp3"},
        {"a tag's tag's dots", "$T$A", "$A", "..a", "/m/s.mp3", "_.a..a.mp3"},
        {"a dot after the template's text", "x$T", ".", "", "/m/s.mp3", "x..mp3"},
        {"a source name of four characters", "$F_x", "", "", "/m/.mp3", "_x.mp3"},
        {"a hidden source", "$F", "", "", "/m/.s.mp3", "_s.mp3"},
        {"typed into the template", "a:$T", "t", "", "/m/s.mp3",
         "Can't create file /out/a:t.mp3: it holds \":\", which a file name cannot hold"},
        {"a control typed", "a\nb", "", "", "/m/s.mp3",
         "Can't create file /out/a\nb.mp3: it holds a control character, which a file name "
         "cannot hold"},
        {"just long enough", std::string(251, 'n'), "", "", "/m/s.mp3",
         std::string(251, 'n') + ".mp3"},
        {"one byte too long", std::string(252, 'n'), "", "", "/m/s.mp3",
         "Can't create file /out/" + std::string(252, 'n') +
             ".mp3: the name is longer than 255 bytes"},
        {"tags that grow each other", "$T$T", crafted, "$F$F$F$F$F$F$F$F$F$F$F$F$F$F$F",
         "/m/" + std::string(200, 'f') + ".mp3",
         "Can't create file for part 1 in /out: the name is longer than 255 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        SplitList list = ListOf(1);
        list[0].Title = c.Title;
        list[0].Artist = c.Artist;
        bool append = true;
        const Result<PartFile> part = BuildPartFile(c.Template, 0, list, c.Source, "/out", append);
        EXPECT_EQ(part ? part.Value().FileName : part.Failure().Text, c.Expected);
    }
}

TEST(OutputNaming, TheSourceItselfIsRecognisedHoweverSpelled) {
    frame_stream::TempDir dir;
    const std::string source = dir.Write("Song.mp3", frame_stream::Bytes(10, 1));
    EXPECT_TRUE(IsSourceFile(source, source));
    EXPECT_TRUE(IsSourceFile((dir.Path() / "." / "Song.mp3").string(), source));
    EXPECT_FALSE(IsSourceFile((dir.Path() / "Song_x.mp3").string(), source));
}

} // namespace
