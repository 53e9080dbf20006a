// Runs kerfline-cli info on the real files in tests/data. The expected values
// are worked out from the files' sizes and frame headers:
// - 128 kbit/s at 44100 Hz: frames of 417 or 418 bytes lasting L * 8 / 12800 * 100
//   = L / 16 ms, so a stream of whole frames lasts (its bytes) / 16 ms.
// - 96 kbit/s at 32000 Hz: 432-byte frames of 36 ms; 16 kbit/s MPEG 2.5 at 8000 Hz:
//   144-byte frames of 72 ms; 320 kbit/s at 48000 Hz: 960-byte frames of 24 ms.

#include "cli_run.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

using namespace frame_stream;
using namespace cli_run;

CliRun RunInfo(const std::string& file, const std::string& flags) {
    const TempDir dir;
    return RunCli("info " + flags + " " + Quoted(file), dir);
}

// The raw value text of a key in the JSON output (first occurrence).
std::string Value(const std::string& json, const std::string& key) {
    const std::string marker = "\"" + key + "\": ";
    const std::size_t at = json.find(marker);
    if (at == std::string::npos)
        return "<missing " + key + ">";
    const std::size_t begin = at + marker.size();
    const std::size_t end = json.find_first_of(",\n", begin);
    return json.substr(begin, end - begin);
}

std::vector<std::string> Keys(const std::string& json) {
    std::vector<std::string> keys;
    for (std::size_t at = 0; (at = json.find("\": ", at)) != std::string::npos; ++at) {
        const std::size_t open = json.rfind('"', at - 1);
        keys.push_back(json.substr(open + 1, at - open - 1));
    }
    return keys;
}

TEST(CliInfo, JsonHasExactlyTheListedKeys) {
    const CliRun run = RunInfo(Fixture("cbr128_44k_joint.mp3"), "--json");
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
    const std::vector<std::string> expected = {"file",
                                               "file_size",
                                               "first_frame_offset",
                                               "valid",
                                               "version",
                                               "layer",
                                               "bitrate_kbps",
                                               "sample_rate_hz",
                                               "channel_mode",
                                               "frame_bytes",
                                               "vbr",
                                               "play_time_ms",
                                               "duration_ms",
                                               "duration_ms_exact",
                                               "frame_count",
                                               "error_count",
                                               "tag",
                                               "present",
                                               "title",
                                               "artist",
                                               "album",
                                               "year",
                                               "comment",
                                               "genre_id",
                                               "genre_name",
                                               "full_comment",
                                               "chapters"};
    EXPECT_EQ(Keys(run.Stdout), expected);
    EXPECT_EQ(run.Stdout.front(), '{');
    EXPECT_EQ(run.Stdout.substr(run.Stdout.size() - 2), "}\n");
}

// Every kind of fixture's fields, as worked out from its bytes.
TEST(CliInfo, FieldsOfEveryKindOfSource) {
    using Fields = std::vector<std::pair<const char*, const char*>>;
    struct Case {
        const char* File;
        const char* Flags;
        Fields Expected;
    };
    const Case cases[] = {
        // 128731 * 8 div 12800 = 80 tenths; no frame count without the scan.
        {"cbr128_44k_joint.mp3",
         "--json",
         {{"file_size", "128731"},
          {"first_frame_offset", "0"},
          {"valid", "true"},
          {"version", "\"1.0\""},
          {"layer", "\"III\""},
          {"channel_mode", "\"Joint Stereo\""},
          {"frame_bytes", "417"},
          {"vbr", "false"},
          {"play_time_ms", "8000"},
          {"duration_ms", "8000"},
          {"duration_ms_exact", "8000"},
          {"frame_count", "0"},
          {"error_count", "0"}}},
        // 128731 / 418 > 307 and 128731 / 417 < 309: 308 frames; 128731 / 16 ms.
        {"cbr128_44k_joint.mp3",
         "--json --preload",
         {{"frame_count", "308"},
          {"error_count", "0"},
          {"duration_ms_exact", "8045.6875"},
          {"duration_ms", "8045"},
          {"play_time_ms", "8000"}}},
        // Ten junk bytes: errors, and the same frames as the clean file.
        {"junk_between_frames.mp3",
         "--json --preload",
         {{"frame_count", "308"}, {"error_count", "10"}, {"duration_ms_exact", "8045.6875"}}},
        // 200 bytes short: the cut last frame is not walked; 307 frames, and
        // 8045.6875 less 26.0625 or 26.125 ms truncates to 8019 either way.
        {"truncated_last_frame.mp3",
         "--json --preload",
         {{"frame_count", "307"}, {"duration_ms", "8019"}}},
        // 16416 / 144 = 114 frames of 72 ms; 16416 * 8 div 1600 = 82 tenths.
        {"cbr16_mpeg25_8k_mono.mp3",
         "--json --preload",
         {{"version", "\"2.5\""},
          {"sample_rate_hz", "8000"},
          {"channel_mode", "\"Mono\""},
          {"frame_bytes", "144"},
          {"play_time_ms", "8200"},
          {"frame_count", "114"},
          {"duration_ms_exact", "8208"}}},
        // 321600 / 960 = 335 frames of 24 ms.
        {"cbr320_48k.mp3",
         "--json --preload",
         {{"bitrate_kbps", "320"}, {"frame_count", "335"}, {"duration_ms", "8040"}}},
        {"layer2_192k.mp3",
         "--json",
         {{"layer", "\"II\""}, {"channel_mode", "\"Stereo\""}, {"frame_bytes", "626"}}},
        // "Xing" count 309 at offset 13 of an MPEG 2 mono frame: 576 / 22050 * 309 = 8.07 s.
        {"vbr_mpeg2_22k_mono.mp3",
         "--json",
         {{"vbr", "true"}, {"play_time_ms", "8000"}, {"duration_ms", "8000"}}},
        // "Xing" count 308: 1152 / 44100 * 308 = 8.05 s.
        {"vbr_v2_44k.mp3", "--json", {{"vbr", "true"}, {"play_time_ms", "8000"}}},
        // "Info": constant bitrate; its frame is walked (129148 / 16 ms) but not counted.
        {"cbr128_44k_info_frame.mp3",
         "--json --preload",
         {{"vbr", "false"}, {"duration_ms_exact", "8071.75"}, {"frame_count", "308"}}},
        // ID3v2 of 20168 bytes, then the frames of the plain file, then an ID3v1 tag.
        {"cbr128_id3v2_cover.mp3",
         "--json --preload",
         {{"first_frame_offset", "20168"},
          {"play_time_ms", "8000"},
          {"frame_count", "308"},
          {"error_count", "0"},
          {"present", "true"},
          {"title", "\"Cover Art\""}}},
        // (96896 - 128) / 432 = 224 frames of 36 ms; the tag is shorter than a frame.
        {"cbr96_id3v1.mp3",
         "--json --preload",
         {{"title", "\"Morning Light\""},
          {"artist", "\"The Quiet Hours\""},
          {"album", "\"Sketches\""},
          {"year", "\"2019\""},
          {"comment", "\"first take\""},
          {"genre_id", "17"},
          {"genre_name", "\"Rock\""},
          {"full_comment", "true"},
          {"frame_count", "224"},
          {"duration_ms", "8064"}}},
        {"cbr96_id3v1_track.mp3",
         "--json",
         {{"full_comment", "false"}, {"genre_name", "\"Other\""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.File) + " " + c.Flags);
        const CliRun run = RunInfo(Fixture(c.File), c.Flags);
        ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
        for (const auto& [key, value] : c.Expected)
            EXPECT_EQ(Value(run.Stdout, key), value) << key;
    }
}

// An exact part's information frame may be written at a larger rate than its
// audio, to hold the tag, and its bridge at yet another: a low-rate part is
// timed by the frame count and shown at its audio's rate, the others as any
// file of their kind.
TEST(CliInfo, ExactPartsAreTimedByTheFramesTheyHold) {
    struct Case {
        const char* Source;
        const char* StartMs;
        const char* DurationMs;
        const char* BitrateKbps;
    };
    const Case cases[] = {
        // From the first frame, no bridge: all frames at 16 kbit/s behind an "Info" frame
        // at 24 kbit/s; 103 frames of 72 ms, not its bytes at 24 kbit/s.
        {"cbr16_mpeg25_8k_mono.mp3", "0", "7416", "16"},
        // Bridge frames that do not fit at the stream's bit rate: the parts say "Xing",
        // and the count gives whole seconds, the bit rate the information frame's.
        {"cbr16_mpeg25_8k_mono.mp3", "1000", "6000", "24"},
        {"cbr128_44k_joint.mp3", "1000", "6000", "128"},
        {"vbr_v2_44k.mp3", "1000", "6000", "128"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string command =
            std::string("'") + KERFLINE_CLI + "' split -q --exact --template part --section " +
            c.StartMs + " 7000 -o '" + dir.Path().string() + "' '" + Fixture(c.Source) + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << c.Source;
        const CliRun part = RunInfo((dir.Path() / "part.mp3").string(), "--json");
        EXPECT_EQ(Value(part.Stdout, "play_time_ms"), c.DurationMs) << c.Source << c.StartMs;
        EXPECT_EQ(Value(part.Stdout, "duration_ms"), c.DurationMs) << c.Source << c.StartMs;
        EXPECT_EQ(Value(part.Stdout, "bitrate_kbps"), c.BitrateKbps) << c.Source << c.StartMs;
    }
}

TEST(CliInfo, TextFormShowsTheWindowsLabels) {
    const CliRun run = RunInfo(Fixture("cbr96_id3v1_track.mp3"), "--preload");
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
    EXPECT_EQ(run.Stdout, "Time:                00:08.0\n"
                          "Filesize:            96896 bytes\n"
                          "Version:            MPEG 1.0 Layer III\n"
                          "BitRate:            96kbit (CBR)\n"
                          "SampleRate:    32000Hz, Joint Stereo\n"
                          "Frames:              224\n"
                          "Errors:              0\n"
                          "\n"
                          "Title:          Track Seven\n"
                          "Artist:         Various\n"
                          "Album:       \n"
                          "Year:         \n"
                          "Genre:       Other\n"
                          "Comment:  with track number\n");
    const CliRun untagged = RunInfo(Fixture("vbr_v2_44k.mp3"), "");
    EXPECT_NE(untagged.Stdout.find("BitRate:            128kbit (VBR)\n"), std::string::npos);
    EXPECT_NE(untagged.Stdout.find("\nTitle:\nArtist:\nAlbum:\nYear:\nGenre:\nComment:\n"),
              std::string::npos);
    EXPECT_EQ(untagged.Stdout.find("Frames:"), std::string::npos);
}

TEST(CliInfo, TagTextIsLatin1AndEscaped) {
    TempDir dir;
    Bytes bytes = Frames(kMpeg1Cbr128, 417, 100);
    Append(bytes, Id3v1Block("Caf\xe9 \"Noir\"", "A\\B", "", "", "line\001end"));
    const CliRun run = RunInfo(dir.Write("latin1.mp3", bytes), "--json");
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
    EXPECT_EQ(Value(run.Stdout, "title"), "\"Caf\xc3\xa9 \\\"Noir\\\"\"");
    EXPECT_EQ(Value(run.Stdout, "artist"), "\"A\\\\B\"");
    EXPECT_EQ(Value(run.Stdout, "comment"), "\"line\\u0001end\"");

    // The text form goes to a terminal: no control sequence gets through.
    Bytes hostile = Frames(kMpeg1Cbr128, 417, 100);
    Append(hostile, Id3v1Block("\x1b[2J\x9b"
                               "caf\xe9\x7f"));
    const CliRun text = RunInfo(dir.Write("hostile.mp3", hostile), "");
    ASSERT_EQ(text.ExitCode, 0) << text.Stderr;
    EXPECT_NE(text.Stdout.find("Title:          ?[2J?caf\xc3\xa9?\n"), std::string::npos)
        << text.Stdout;
}

TEST(CliInfo, RefusedFilesExitWithOneLine) {
    const CliRun noFrame = RunInfo(Fixture("not_audio.mp3"), "--json");
    EXPECT_EQ(noFrame.ExitCode, 1);
    EXPECT_EQ(noFrame.Stdout, "");
    EXPECT_EQ(noFrame.Stderr, Fixture("not_audio.mp3") + ": no MPEG audio frame found\n");
    EXPECT_EQ(RunInfo(Fixture("empty.mp3"), "").ExitCode, 1);

    TempDir dir;
    // Compressed and encoded data of other kinds holds chance frame headers,
    // never followed by more frames.
    const std::filesystem::path gzip = dir.Path() / "gzip.mp3";
    const std::filesystem::path webm = dir.Path() / "webm.mp3";
    ASSERT_EQ(RunCommand("gzip -n -c " + Quoted(Fixture("vbr_v2_44k.mp3")) + " >" +
                             Quoted(gzip.string()) +
                             " && ffmpeg -v error -f lavfi -i anoisesrc=d=21:c=pink:a=0.3 -c:a "
                             "libopus -b:a 72k -f webm " +
                             Quoted(webm.string()),
                         dir)
                  .ExitCode,
              0);
    for (const std::filesystem::path& other : {gzip, webm}) {
        const CliRun refused = RunInfo(other.string(), "");
        EXPECT_EQ(refused.ExitCode, 1);
        EXPECT_EQ(refused.Stderr, other.string() + ": no MPEG audio frame found\n");
    }
    const std::string freeFormat = dir.Write("free.mp3", Frames({0xFF, 0xFB, 0x00, 0x64}, 400, 50));
    const CliRun failed = RunInfo(freeFormat, "");
    EXPECT_EQ(failed.ExitCode, 1);
    EXPECT_EQ(failed.Stderr, freeFormat + ": Failed to load the information from the MP3 file!\n");

    const std::string missing = (dir.Path() / "missing.mp3").string();
    const CliRun notOpened = RunInfo(missing, "--preload");
    EXPECT_EQ(notOpened.ExitCode, 1);
    EXPECT_EQ(notOpened.Stderr, missing + ": No such file or directory\n");
}

} // namespace
