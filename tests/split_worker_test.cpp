#include "core/audio_info.h"
#include "core/frame_rule.h"
#include "core/information_frame.h"
#include "core/preload_scan.h"
#include "frame_stream.h"
#include "split/part_plan.h"
#include "split/split_list.h"
#include "split/split_worker.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <tuple>

namespace {

using namespace frame_stream;
namespace fs = std::filesystem;

// MPEG 1 Layer III, 128 kbit/s, 48000 Hz, no padding: 384 bytes and 24 ms a frame.
constexpr Header kMpeg1At48k{0xFF, 0xFB, 0x94, 0x64};

// The part files as the plain per-part walk makes them: every part walks the
// source again from the first frame, frame by frame.
struct ReferenceRun {
    std::map<std::size_t, Bytes> Files; // by row
    bool Failed = false;
};

std::optional<Bytes> ReferencePart(const SplitJob& job, const Bytes& source,
                                   const SplitJobRow& row) {
    const auto size = static_cast<std::int64_t>(source.size());
    const auto at = [&](std::int64_t p) { return source.data() + p; };
    const auto readable = [&](std::int64_t p, std::int64_t n) { return p >= 0 && p + n <= size; };
    Bytes out;
    const std::int64_t f = job.Format.FirstFrameOffset;
    std::int64_t p = f;
    std::int32_t index = 0;
    std::int32_t written = 0;
    double elapsed = 0.0;
    Bytes information;
    if (job.Format.HasInfoFrame) {
        if (!readable(f, 4))
            return std::nullopt;
        const std::int32_t length = InformationFrameLength(at(f), job.Format.VersionId);
        if (length < 4 || f + length > size)
            return std::nullopt;
        information.assign(at(f), at(f) + length);
        if (job.SaveFrameOption)
            out = information;
        p = f + length;
    }
    while (row.StartMs > elapsed) {
        if (!readable(p, 4))
            return std::nullopt;
        const FrameCandidate c = EvaluateFrame(at(p), job.Format.VersionId);
        if (c.Accepted) {
            p += c.Length;
            elapsed = AddFrameDuration(elapsed, c.Length, c.BitrateBps);
            ++index;
        } else {
            ++p;
        }
    }
    PartFrameList frames;
    frames.FromSourceStart = index == 0;
    do {
        if (!readable(p, 4))
            return std::nullopt;
        const FrameCandidate c = EvaluateFrame(at(p), job.Format.VersionId);
        if (c.Accepted) {
            if (p + c.Length > size) {
                frames.ToSourceEnd = true;
                break;
            }
            out.insert(out.end(), at(p), at(p) + c.Length);
            frames.Lengths.push_back(static_cast<std::uint16_t>(c.Length));
            frames.AudioCrc = Crc16(frames.AudioCrc, at(p), static_cast<std::size_t>(c.Length));
            p += c.Length;
            elapsed = AddFrameDuration(elapsed, c.Length, c.BitrateBps);
            ++index;
            ++written;
        } else {
            ++p;
        }
    } while (row.EndMs >= elapsed && index < job.FrameCount);
    if (written == 0)
        return std::nullopt; // a part with no whole frame fails
    if (job.Format.HasInfoFrame && job.SaveFrameOption) {
        // The fields of the part's own (information_frame_test and the tests
        // below check them), the count the information frame's too.
        frames.ToSourceEnd = frames.ToSourceEnd || index >= job.FrameCount;
        frames.CountsItself = true;
        const Bytes rebuilt = RebuildInformationFrame(
            information, InformationHeaderOffset(job.Format.VersionId, job.Format.ChannelMode),
            frames);
        std::copy(rebuilt.begin(), rebuilt.end(), out.begin());
    }
    out.insert(out.end(), row.Tag.begin(), row.Tag.end());
    return out;
}

ReferenceRun Reference(const SplitJob& job, const Bytes& source) {
    ReferenceRun run;
    for (std::size_t i = 0; i < job.Rows.size(); ++i) {
        if (!job.Rows[i].Checked || !job.Rows[i].DoWrite)
            continue;
        std::optional<Bytes> part = ReferencePart(job, source, job.Rows[i]);
        if (!part) {
            run.Failed = true;
            break;
        }
        run.Files[i] = std::move(*part);
    }
    return run;
}

SplitJobRow Row(const std::string& path, std::int32_t startMs, std::int32_t endMs,
                std::uint8_t tagByte = 'x') {
    SplitJobRow row;
    row.Checked = true;
    row.DoWrite = true;
    row.OutPath = path;
    row.MayReplace = true; // runs write the same names again
    row.StartMs = startMs;
    row.EndMs = endMs;
    row.Tag.fill(tagByte);
    return row;
}

struct Recorder {
    int steps = 0;
    std::vector<std::string> errors;
    int stopAfterSteps = -1;

    SplitCallbacks Callbacks() {
        SplitCallbacks c;
        c.StepProgress = [this] { ++steps; };
        c.SplitError = [this](const std::string& line) { errors.push_back(line); };
        c.StopRequested = [this] { return stopAfterSteps >= 0 && steps >= stopAfterSteps; };
        return c;
    }
};

class SplitWorkerTest : public ::testing::Test {
protected:
    SplitJob JobFor(const Bytes& source, std::int32_t frameCount, std::int64_t firstFrame = 0) {
        sourceBytes_ = source;
        SplitJob job;
        job.SourcePath = dir_.Write("source.mp3", source);
        job.Format.FirstFrameOffset = firstFrame;
        job.FrameCount = frameCount;
        return job;
    }
    std::string Out(const std::string& name) const { return (dir_.Path() / name).string(); }
    static bool Exists(const std::string& path) { return fs::exists(path); }
    // Files in the folder other than the source: no temporary file may stay.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.Path()))
            if (e.path().filename() != "source.mp3")
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir_;
    Bytes sourceBytes_;
};

TEST_F(SplitWorkerTest, WorkedExampleOfAConstantBitrateSource) {
    SplitJob job = JobFor(Frames(kMpeg1At48k, 384, 200), 200);
    job.Rows = {Row(Out("a.mp3"), 1000, 2000), Row(Out("b.mp3"), 0, 1008),
                Row(Out("c.mp3"), 1008, 2016)};
    Recorder recorder;
    const SplitOutcome outcome = WriteAllParts(job, recorder.Callbacks());
    EXPECT_TRUE(outcome.Success);
    EXPECT_EQ(outcome.PartsWritten, 3);
    EXPECT_EQ(recorder.steps, 3);

    const Bytes a = ReadFile(Out("a.mp3"));
    ASSERT_EQ(a.size(), 16256u);
    EXPECT_TRUE(std::equal(a.begin(), a.end() - 128, sourceBytes_.begin() + 16128));
    EXPECT_EQ(a.back(), 'x');
    // Parts meeting at 1008 ms share frame 42 (t = 1008 exactly).
    const Bytes b = ReadFile(Out("b.mp3"));
    const Bytes c = ReadFile(Out("c.mp3"));
    EXPECT_EQ(b.size(), 43u * 384 + 128);
    EXPECT_EQ(c.size(), 43u * 384 + 128);
}

// A part is put in place only whole and only where it replaces nothing it may
// not: a file that appears under its name while it is written stays, and the
// run goes on; a part without one whole frame is no part.
TEST_F(SplitWorkerTest, APartReplacesNothingItMayNotAndHoldsAWholeFrame) {
    struct Case {
        const char* name;
        bool mayReplace;
        bool fileAppears;
        std::int32_t startMs;
        const char* error; // empty: written
    };
    const Case cases[] = {
        {"appears, not to be replaced", false, true, 0, "the file exists; not overwritten"},
        {"appears, may be replaced", true, true, 0, ""},
        {"in the cut-off tail", false, false, 2600, "holds no whole frame"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Bytes source = Frames(kMpeg1Cbr128, 417, 100);
        AppendFrame(source, kMpeg1Cbr128, 200); // a frame cut off by the end of the file
        SplitJob job = JobFor(source, 100);
        job.Rows = {Row(Out("a.mp3"), k.startMs, 9000), Row(Out("b.mp3"), 0, 1000)};
        job.Rows[0].MayReplace = k.mayReplace;
        SplitCallbacks callbacks;
        int begun = 0;
        callbacks.StepProgress = [&] {
            if (++begun == 1 && k.fileAppears)
                std::ofstream(Out("a.mp3")) << "theirs";
        };
        const SplitOutcome outcome = WriteAllParts(job, callbacks);
        const std::string error = k.error;
        if (error.empty()) {
            EXPECT_TRUE(outcome.Success);
            EXPECT_EQ(ReadFile(Out("a.mp3")).size(), 100u * 417 + 128);
        } else {
            ASSERT_EQ(outcome.Errors.size(), 1u);
            EXPECT_EQ(outcome.Errors[0], Out("a.mp3") + ": " + error);
            EXPECT_EQ(Exists(Out("a.mp3")), k.fileAppears);
        }
        if (k.fileAppears && !k.mayReplace) {
            EXPECT_EQ(ReadFile(Out("a.mp3")), (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
            EXPECT_TRUE(Exists(Out("b.mp3"))) << "a skipped part ended the run";
        }
        fs::remove(Out("a.mp3"));
        fs::remove(Out("b.mp3"));
        EXPECT_TRUE(Leftovers().empty());
    }
}

TEST_F(SplitWorkerTest, InformationFrameCarriesThePartsOwnFrameCountAtEachOffset) {
    struct Case {
        Header header;
        std::int32_t length;
        std::int32_t version;
        std::int32_t channelMode;
        std::int32_t offset;
    };
    for (const Case& k : {Case{kMpeg1Cbr128, 417, 1, 1, 36}, Case{kMpeg1Cbr128Mono, 417, 1, 3, 21},
                          Case{kMpeg2Cbr64, 208, 2, 1, 21}, Case{kMpeg2Cbr64Mono, 208, 2, 3, 13}}) {
        Bytes source;
        AppendInformationFrame(source, k.header, k.length, k.offset, "Xing", 5000);
        source[static_cast<std::size_t>(k.offset) + 20] = 0xAB; // a byte of the table of contents
        AppendFrames(source, k.header, k.length, 1200);
        SplitJob job = JobFor(source, 1200);
        job.Format.IsVbr = job.Format.HasInfoFrame = true;
        job.Format.VersionId = k.version;
        job.Format.ChannelMode = k.channelMode;
        // 1000 frames of 26 ms (MPEG 2) or 26.0625 ms (MPEG 1).
        job.Rows = {Row(Out("p.mp3"), 0, k.version == 1 ? 26062 : 25974)};
        ASSERT_TRUE(WriteAllParts(job, {}).Success);
        const Bytes part = ReadFile(Out("p.mp3"));
        ASSERT_EQ(part.size(), 1001u * static_cast<std::size_t>(k.length) + 128);
        const auto o = static_cast<std::size_t>(k.offset);
        EXPECT_EQ(Bytes(part.begin() + o + 8, part.begin() + o + 12), (Bytes{0, 0, 0x03, 0xE9}))
            << k.offset;
        // Header, marker and flags as they were; the other fields are the part's own.
        EXPECT_EQ(Bytes(part.begin(), part.begin() + o + 8),
                  Bytes(source.begin(), source.begin() + o + 8));
    }
}

std::uint32_t BigEndian(const Bytes& b, std::size_t at, int width = 4) {
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i)
        value = value << 8 | b[at + static_cast<std::size_t>(i)];
    return value;
}

// Real files split into a first, a middle and a last part. With the options
// off the parts are the plain walk's; with them on each part begins with its
// prefix and holds the same audio. Either way its information frame describes
// its own frames: only the frame count differs, the information frame
// counted in the plain part alone.
TEST_F(SplitWorkerTest, OptionsOverRealFilesDescribeEachPartsOwnFrames) {
    for (const char* name :
         {"vbr_v2_44k.mp3", "vbr_mpeg2_22k_mono.mp3", "cbr128_44k_info_frame.mp3"}) {
        SCOPED_TRACE(name);
        const std::string source =
            dir_.Write("source.mp3", ReadFile(std::string(KERFLINE_TEST_DATA) + "/" + name));
        const Bytes sourceBytes = ReadFile(source);
        TAudioInfo info;
        ASSERT_EQ(info.AnalyseFile(source).Value(), AnalysisResult::Ok);
        SplitList list;
        PartPlan plan;
        for (const auto& [start, end] :
             {std::pair{0, 2500}, std::pair{2500, 5000}, std::pair{5000, 99999}}) {
            list.AddEntry(start, end, TID3v1Tag());
            plan.push_back(
                {Out("plain" + std::to_string(start) + ".mp3"), PartDecision::Write, ""});
        }
        std::int32_t frameCount = 0; // these files hold nothing but whole frames
        for (std::size_t p = static_cast<std::size_t>(info.Header.FrameBytes);
             p < sourceBytes.size(); ++frameCount) {
            const FrameCandidate f = EvaluateFrame(&sourceBytes[p], info.Header.VersionId);
            ASSERT_TRUE(f.Accepted) << name << " at " << p; // else the walk stands still
            p += static_cast<std::size_t>(f.Length);
        }
        SourceSession opened;
        opened.Info = info;
        opened.Format = SourceFormat::Of(info);
        opened.State.SourceFileName = source;
        opened.State.FrameCount = frameCount;
        SplitJob plain = BuildSplitJob(opened, true, list, plan);
        for (SplitJobRow& row : plain.Rows)
            row.MayReplace = true; // every source writes the same names
        ASSERT_TRUE(WriteAllParts(plain, {}).Success);
        const ReferenceRun reference = Reference(plain, sourceBytes);

        SplitJob rebuilt = plain;
        rebuilt.RebuildInfoFrame = true;
        rebuilt.PartPrefix = [](std::size_t row) { return Bytes(row + 1, 0xA0); };
        for (SplitJobRow& row : rebuilt.Rows)
            row.OutPath += ".rebuilt";
        ASSERT_TRUE(WriteAllParts(rebuilt, {}).Success);

        const auto marker = static_cast<std::size_t>(
            InformationHeaderOffset(info.Header.VersionId, info.Header.ChannelMode()));
        const Bytes sourceFrame(sourceBytes.begin(), sourceBytes.begin() + info.Header.FrameBytes);
        const std::uint32_t sourceDelayPadding = BigEndian(sourceFrame, marker + 120 + 21, 3);
        for (std::size_t row = 0; row < 3; ++row) {
            const Bytes plainPart = ReadFile(plain.Rows[row].OutPath);
            EXPECT_EQ(plainPart, reference.Files.at(row)) << row;
            const Bytes rebuiltPart = ReadFile(rebuilt.Rows[row].OutPath);
            ASSERT_EQ(rebuiltPart.size(), plainPart.size() + row + 1);
            EXPECT_EQ(Bytes(rebuiltPart.begin(), rebuiltPart.begin() + row + 1),
                      Bytes(row + 1, 0xA0));
            for (const auto& [part, prefix, countsItself] :
                 {std::tuple{plainPart, std::size_t{0}, 1u},
                  std::tuple{rebuiltPart, row + 1, 0u}}) {
                SCOPED_TRACE(testing::Message() << "row " << row << " prefix " << prefix);
                const auto frameEnd =
                    part.begin() + static_cast<std::ptrdiff_t>(prefix + sourceFrame.size());
                const Bytes frame(part.begin() + static_cast<std::ptrdiff_t>(prefix), frameEnd);
                const Bytes audio(frameEnd, part.end() - 128);
                EXPECT_TRUE(
                    std::equal(audio.begin(), audio.end(), plainPart.begin() + sourceFrame.size()));
                EXPECT_TRUE(std::equal(part.end() - 128, part.end(), plainPart.end() - 128));

                std::vector<std::uint32_t> starts;
                std::uint32_t bytes = static_cast<std::uint32_t>(frame.size());
                for (std::size_t p = 0; p < audio.size();) {
                    const FrameCandidate f = EvaluateFrame(&audio[p], info.Header.VersionId);
                    ASSERT_TRUE(f.Accepted);
                    starts.push_back(bytes);
                    bytes += static_cast<std::uint32_t>(f.Length);
                    p += static_cast<std::size_t>(f.Length);
                }
                EXPECT_EQ(BigEndian(frame, marker + 8), starts.size() + countsItself);
                EXPECT_EQ(BigEndian(frame, marker + 12), bytes);
                for (std::size_t i = 0; i < 100; ++i)
                    EXPECT_EQ(frame[marker + 16 + i], starts[i * starts.size() / 100] * 256 / bytes)
                        << i;
                const std::size_t lame = marker + 120;
                const std::uint32_t delay = row == 0 ? sourceDelayPadding & 0xFFF000 : 0;
                const std::uint32_t padding = row == 2 ? sourceDelayPadding & 0xFFF : 0;
                EXPECT_EQ(BigEndian(frame, lame + 21, 3), delay | padding);
                EXPECT_EQ(BigEndian(frame, lame + 28), bytes);
                EXPECT_EQ(BigEndian(frame, lame + 32, 2), Crc16(0, audio.data(), audio.size()));
                EXPECT_EQ(BigEndian(frame, lame + 34, 2), Crc16(0, frame.data(), lame + 34));
            }
        }
    }
}

TEST_F(SplitWorkerTest, InfoFrameOfAConstantBitrateSourceIsNeverCopiedAsAudio) {
    Bytes source;
    AppendInformationFrame(source, kMpeg1Cbr128, 417, 36, "Info", 100);
    AppendFrames(source, kMpeg1Cbr128Padded, 418, 100);
    SplitJob job = JobFor(source, 100);
    job.Format.HasInfoFrame = true;
    job.Rows = {Row(Out("with.mp3"), 0, 100)};
    ASSERT_TRUE(WriteAllParts(job, {}).Success);
    const Bytes with = ReadFile(Out("with.mp3"));
    ASSERT_EQ(with.size(), 417u + 4 * 418 + 128);
    EXPECT_EQ(Bytes(with.begin() + 44, with.begin() + 48), (Bytes{0, 0, 0, 5}));

    job.SaveFrameOption = false;
    job.Rows = {Row(Out("without.mp3"), 0, 100)};
    ASSERT_TRUE(WriteAllParts(job, {}).Success);
    const Bytes without = ReadFile(Out("without.mp3"));
    ASSERT_EQ(without.size(), 4u * 418 + 128);
    EXPECT_EQ(Bytes(without.begin(), without.begin() + 4),
              Bytes(kMpeg1Cbr128Padded.begin(), kMpeg1Cbr128Padded.end()));
}

TEST_F(SplitWorkerTest, JunkIsLeftOutAndEveryPartHoldsAtLeastOneFrame) {
    Bytes source = Frames(kMpeg1At48k, 384, 10);
    AppendJunk(source, 7);
    AppendFrames(source, kMpeg1At48k, 384, 10);
    SplitJob job = JobFor(source, 20);
    job.Rows = {Row(Out("junk.mp3"), 200, 260), Row(Out("short.mp3"), 50, 51),
                Row(Out("reversed.mp3"), 300, 100)};
    ASSERT_TRUE(WriteAllParts(job, {}).Success);
    const Bytes junk = ReadFile(Out("junk.mp3"));
    ASSERT_EQ(junk.size(), 2u * 384 + 128); // frames 9 and 10, at 216 and 240 ms
    EXPECT_TRUE(std::equal(junk.begin(), junk.begin() + 384, source.begin() + 9 * 384));
    EXPECT_TRUE(std::equal(junk.begin() + 384, junk.end() - 128, source.begin() + 10 * 384 + 7));
    EXPECT_EQ(ReadFile(Out("short.mp3")).size(), 384u + 128);    // the frame at 72 ms
    EXPECT_EQ(ReadFile(Out("reversed.mp3")).size(), 384u + 128); // the frame at 312 ms
}

TEST_F(SplitWorkerTest, EndsWithTheLastFrameAndNeverCopiesTheSourcesTag) {
    Bytes tagged = Frames(kMpeg1At48k, 384, 10);
    Append(tagged, Id3v1Block("title"));
    // Last frames shorter than the (information) first frame still fit in the file.
    const Header k64At48k{0xFF, 0xFB, 0x54, 0x64}; // 192 bytes, 24 ms
    Bytes shortEnd;
    AppendInformationFrame(shortEnd, kMpeg1At48k, 384, 36, "Xing", 10);
    AppendFrames(shortEnd, kMpeg1At48k, 384, 8);
    AppendFrames(shortEnd, k64At48k, 192, 2);
    const struct {
        Bytes Source;
        bool HasInfoFrame;
        std::size_t TailBytes;
    } cases[] = {{tagged, false, 5u * 384}, {shortEnd, true, 3u * 384 + 2 * 192}};
    for (const auto& c : cases) {
        SplitJob job = JobFor(c.Source, 0);
        job.Format.HasInfoFrame = c.HasInfoFrame;
        job.Format.FirstFrameBytes = 384;
        job.SaveFrameOption = false;
        job.Rows = {Row(Out("tail.mp3"), 100, 100000)};
        for (const bool counted : {false, true}) {
            job.FrameCount =
                counted ? PreloadScan({job.SourcePath, job.Format}).Value().FrameCount : 0;
            ASSERT_TRUE(WriteAllParts(job, {}).Success);
            EXPECT_EQ(ReadFile(Out("tail.mp3")).size(), c.TailBytes + 128) << counted;
        }
    }
}

TEST_F(SplitWorkerTest, UncheckedRowsAndRowsNotToWriteGetNoFileAndNoStep) {
    SplitJob job = JobFor(Frames(kMpeg1At48k, 384, 50), 50);
    job.Rows = {Row(Out("a.mp3"), 0, 100), Row(Out("b.mp3"), 0, 100), Row(Out("c.mp3"), 0, 100)};
    job.Rows[0].Checked = false;
    job.Rows[2].DoWrite = false;
    EXPECT_EQ(job.PartsToWrite(), 1);
    Recorder recorder;
    const SplitOutcome outcome = WriteAllParts(job, recorder.Callbacks());
    EXPECT_TRUE(outcome.Success);
    EXPECT_EQ(recorder.steps, 1);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"b.mp3"});
}

TEST_F(SplitWorkerTest, StopEndsTheRunAfterTheCurrentPart) {
    SplitJob job = JobFor(Frames(kMpeg1At48k, 384, 50), 50);
    job.Rows = {Row(Out("a.mp3"), 0, 100), Row(Out("b.mp3"), 100, 200),
                Row(Out("c.mp3"), 200, 300)};
    Recorder recorder;
    recorder.stopAfterSteps = 1;
    const SplitOutcome outcome = WriteAllParts(job, recorder.Callbacks());
    EXPECT_TRUE(outcome.Stopped);
    EXPECT_FALSE(outcome.Success);
    EXPECT_EQ(outcome.PartsWritten, 1);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"a.mp3"});
}

TEST_F(SplitWorkerTest, APartStartingPastTheEndFailsAndEndsTheRunLeavingNoFile) {
    SplitJob job = JobFor(Frames(kMpeg1At48k, 384, 50), 50);
    dir_.Write("late.mp3", Bytes{1, 2, 3});
    job.Rows = {Row(Out("a.mp3"), 0, 100), Row(Out("late.mp3"), 5000, 6000),
                Row(Out("c.mp3"), 0, 100)};
    Recorder recorder;
    const SplitOutcome outcome = WriteAllParts(job, recorder.Callbacks());
    EXPECT_FALSE(outcome.Success);
    EXPECT_EQ(outcome.PartsWritten, 1);
    EXPECT_EQ(recorder.steps, 2);
    ASSERT_EQ(outcome.Errors.size(), 1u);
    EXPECT_EQ(recorder.errors, outcome.Errors);
    EXPECT_NE(outcome.Errors[0].find(Out("late.mp3")), std::string::npos);
    // The earlier part stays; the existing file of the failed part is untouched.
    EXPECT_EQ(Leftovers(), (std::vector<std::string>{"a.mp3", "late.mp3"}));
    EXPECT_EQ(ReadFile(Out("late.mp3")), (Bytes{1, 2, 3}));
}

TEST_F(SplitWorkerTest, ARunThatEndsEarlyIsAFailure) {
    // The information frame runs past the end of the source.
    Bytes source;
    AppendInformationFrame(source, kMpeg1Cbr128, 417, 36, "Xing", 1);
    source.resize(300);
    SplitJob job = JobFor(source, 1);
    job.Format.IsVbr = job.Format.HasInfoFrame = true;
    job.Rows = {Row(Out("a.mp3"), 0, 100)};
    Recorder recorder;
    SplitOutcome outcome = WriteAllParts(job, recorder.Callbacks());
    EXPECT_FALSE(outcome.Success);
    EXPECT_EQ(outcome.Errors.size(), 1u);
    EXPECT_TRUE(Leftovers().empty());

    // An information frame whose rule gives no length at all.
    source = Frames({0xFF, 0xFB, 0x9C, 0x64}, 417, 3);
    job = JobFor(source, 3);
    job.Format.HasInfoFrame = true;
    job.Rows = {Row(Out("a.mp3"), 0, 100)};
    EXPECT_FALSE(WriteAllParts(job, {}).Success);
    EXPECT_TRUE(Leftovers().empty());

    // The source cannot be opened: no part is begun.
    job.SourcePath = Out("missing.mp3");
    Recorder none;
    outcome = WriteAllParts(job, none.Callbacks());
    EXPECT_FALSE(outcome.Success);
    EXPECT_EQ(none.steps, 0);
    EXPECT_EQ(outcome.Errors.size(), 1u);
}

TEST_F(SplitWorkerTest, TheSourceItselfIsNeverATarget) {
    SplitJob job = JobFor(Frames(kMpeg1At48k, 384, 50), 50);
    job.Rows = {Row(job.SourcePath, 0, 100)};
    EXPECT_FALSE(WriteAllParts(job, {}).Success);
    EXPECT_EQ(ReadFile(job.SourcePath), sourceBytes_);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(SplitWorkerTest, PartFilesGetThePermissionsOfANewFile) {
    SplitJob job = JobFor(Frames(kMpeg1At48k, 384, 50), 50);
    job.Rows = {Row(Out("a.mp3"), 0, 100)};
    const mode_t old = ::umask(027);
    const bool ok = WriteAllParts(job, {}).Success;
    ::umask(old);
    ASSERT_TRUE(ok);
    EXPECT_EQ(fs::status(Out("a.mp3")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SplitWorkerTest, AnUncreatablePartFailsWithoutTouchingOthers) {
    SplitJob job = JobFor(Frames(kMpeg1At48k, 384, 50), 50);
    job.Rows = {Row(Out("a.mp3"), 0, 100), Row(Out("no/such/folder.mp3"), 0, 100)};
    const SplitOutcome outcome = WriteAllParts(job, {});
    EXPECT_FALSE(outcome.Success);
    EXPECT_EQ(outcome.PartsWritten, 1);
    EXPECT_EQ(Leftovers(), std::vector<std::string>{"a.mp3"});
}

TEST_F(SplitWorkerTest, AnUnknownFrameCountIsCountedAsTheScanCountsIt) {
    const Header short64{0xFF, 0xFB, 0x50, 0x64}; // 64 kbit/s: 208 bytes, counted at the end
    std::vector<Bytes> tails = {{}, Id3v1Block("tag"), Bytes(500, kFill), Bytes(300, kFill)};
    Bytes frameThenJunk(100, kFill);
    AppendFrame(frameThenJunk, kMpeg1Cbr128, 417);
    AppendJunk(frameThenJunk, 50);
    tails.push_back(frameThenJunk);
    tails.push_back(Frames(short64, 208, 1));
    for (std::size_t variant = 0; variant <= tails.size(); ++variant) {
        Bytes source = Frames(kMpeg1Cbr128, 417, 30);
        if (variant < tails.size())
            Append(source, tails[variant]);
        else
            source.resize(source.size() - 200);
        SplitJob job = JobFor(source, 0);
        job.Format.FirstFrameBytes = 417;
        ScanSource scan;
        scan.Path = job.SourcePath;
        scan.Format.VersionId = 1;
        scan.Format.FirstFrameBytes = 417;
        job.Rows = {Row(Out("all.mp3"), 0, 100000), Row(Out("tail.mp3"), 700, 100000)};
        ASSERT_TRUE(WriteAllParts(job, {}).Success) << variant;
        job.FrameCount = PreloadScan(scan).Value().FrameCount;
        const ReferenceRun expected = Reference(job, source);
        ASSERT_FALSE(expected.Failed) << variant;
        EXPECT_EQ(ReadFile(Out("all.mp3")), expected.Files.at(0)) << variant;
        EXPECT_EQ(ReadFile(Out("tail.mp3")), expected.Files.at(1)) << variant;
    }
}

// Random sources: frames of every bitrate, padding, junk with stray syncs,
// information frames, cut-off ends, trailing tags; random rows in any order.
struct RandomSource {
    Bytes bytes;
    std::int32_t version = 1;
    std::int32_t channelMode = 1;
    std::int64_t firstFrame = 0;
    bool information = false;
    double durationMs = 0.0;
};

RandomSource MakeRandomSource(std::mt19937& rng) {
    RandomSource s;
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    s.version = std::array<int, 3>{1, 2, 3}[static_cast<std::size_t>(pick(3))];
    s.channelMode = pick(4);
    const std::uint8_t b1 = s.version == 1 ? 0xFB : (s.version == 2 ? 0xF3 : 0xE3);
    const std::uint8_t b3 = static_cast<std::uint8_t>(s.channelMode << 6);
    const int rateIndex = pick(3);
    if (pick(3) == 0) {
        AppendJunk(s.bytes, static_cast<std::size_t>(pick(300)), 0x11);
        s.firstFrame = static_cast<std::int64_t>(s.bytes.size());
    }
    const auto frame = [&](int bitrateIndex, int padding) {
        const Header h{0xFF, b1,
                       static_cast<std::uint8_t>(bitrateIndex << 4 | rateIndex << 2 | padding << 1),
                       b3};
        const FrameCandidate c = EvaluateFrame(h.data(), s.version);
        const std::size_t start = s.bytes.size();
        AppendFrame(s.bytes, h, c.Length);
        for (std::size_t i = start + 4; i < s.bytes.size(); ++i)
            s.bytes[i] = static_cast<std::uint8_t>(rng());
        return c;
    };
    if (pick(2) == 0) {
        s.information = true;
        const FrameCandidate c = frame(1 + pick(14), 0);
        const std::int32_t o = InformationHeaderOffset(s.version, s.channelMode);
        if (o + 12 <= c.Length) {
            std::uint8_t* at = s.bytes.data() + s.firstFrame + o;
            std::copy_n("Xing", 4, at);
            at[7] = static_cast<std::uint8_t>(pick(2) ? 0x0F : 0x0E);
        }
    }
    const int frames = 20 + pick(400);
    for (int i = 0; i < frames; ++i) {
        const FrameCandidate c = frame(1 + pick(14), pick(2));
        s.durationMs += static_cast<double>(FrameDurationMs(c.Length, c.BitrateBps));
        if (pick(15) == 0) {
            // Junk, sometimes with a sync whose bitrate or sample rate is unusable.
            AppendJunk(s.bytes, static_cast<std::size_t>(1 + pick(6)), 0x22);
            if (pick(2) == 0)
                Append(s.bytes, Bytes{0xFF, b1, static_cast<std::uint8_t>(pick(2) ? 0xF0 : 0x9C)});
        }
    }
    if (pick(4) == 0)
        s.bytes.resize(s.bytes.size() - static_cast<std::size_t>(1 + pick(100)));
    else if (pick(3) == 0)
        Append(s.bytes, Id3v1Block("tag"));
    return s;
}

TEST_F(SplitWorkerTest, ManyPartsAtOnceGiveTheBytesOfEachPartWalkedAlone) {
    std::mt19937 rng(20261207);
    int failedRuns = 0;
    for (int trial = 0; trial < 200; ++trial) {
        fs::remove_all(dir_.Path());
        fs::create_directories(dir_.Path());
        const RandomSource s = MakeRandomSource(rng);
        SplitJob job = JobFor(s.bytes, 0, s.firstFrame);
        job.Format.VersionId = s.version;
        job.Format.ChannelMode = s.channelMode;
        job.Format.HasInfoFrame = s.information;
        job.Format.IsVbr = s.information && rng() % 2 == 0;
        job.SaveFrameOption = rng() % 4 != 0;
        ScanSource scan;
        scan.Path = job.SourcePath;
        scan.Format.FirstFrameOffset = s.firstFrame;
        scan.Format.HasInfoFrame = s.information;
        scan.Format.VersionId = s.version;
        scan.Format.FirstFrameBytes =
            EvaluateFrame(s.bytes.data() + s.firstFrame, s.version).Length;
        job.Format.FirstFrameBytes = scan.Format.FirstFrameBytes;
        const std::int32_t scanned = PreloadScan(scan).Value().FrameCount;
        job.FrameCount = rng() % 5 == 0 ? static_cast<std::int32_t>(1 + rng() % 500) : scanned;
        // An unknown count is counted in the worker's walk as the scan counts it.
        const bool countInWalk = job.FrameCount == scanned && rng() % 2 == 0;
        const int rows = 1 + static_cast<int>(rng() % 25);
        const auto span = static_cast<std::uint32_t>(s.durationMs * (rng() % 8 == 0 ? 1.1 : 0.98));
        for (int i = 0; i < rows; ++i) {
            const auto start = static_cast<std::int32_t>(rng() % (span + 1)) - 20;
            const auto end = start + static_cast<std::int32_t>(rng() % (span / 2 + 1)) - 30;
            SplitJobRow row = Row(Out("p" + std::to_string(i) + ".mp3"), start, end,
                                  static_cast<std::uint8_t>(i));
            row.Checked = rng() % 8 != 0;
            row.DoWrite = rng() % 8 != 0;
            job.Rows.push_back(row);
        }
        const ReferenceRun expected = Reference(job, s.bytes);
        if (countInWalk)
            job.FrameCount = 0;
        const SplitOutcome outcome = WriteAllParts(job, {});
        failedRuns += expected.Failed;
        ASSERT_EQ(outcome.Success, !expected.Failed) << trial;
        ASSERT_EQ(outcome.PartsWritten, static_cast<std::int32_t>(expected.Files.size())) << trial;
        for (std::size_t i = 0; i < job.Rows.size(); ++i) {
            const auto file = expected.Files.find(i);
            ASSERT_EQ(Exists(job.Rows[i].OutPath), file != expected.Files.end())
                << "trial " << trial << " row " << i;
            if (file != expected.Files.end()) {
                ASSERT_EQ(ReadFile(job.Rows[i].OutPath), file->second)
                    << "trial " << trial << " row " << i;
            }
        }
        ASSERT_EQ(Leftovers().size(), expected.Files.size()) << trial;
    }
    EXPECT_GT(failedRuns, 0);
    EXPECT_LT(failedRuns, 100);
}

TEST_F(SplitWorkerTest, ManyPartsOfALongSourceAreFoundInOneWalk) {
    // Larger than the reader's window, so that the window has to move back and forth.
    Bytes source;
    for (int i = 0; i < 60000; ++i)
        AppendFrame(source, i % 3 ? kMpeg1Cbr128 : kMpeg1Cbr128Padded, i % 3 ? 417 : 418);
    SplitJob job = JobFor(source, 60000);
    const double totalMs = 60000 / 3.0 * (2 * 26.0625 + 26.125);
    const int parts = 200;
    // Every other part overlaps the next by 3 s, about 115 frames.
    for (int i = 0; i < parts; ++i) {
        const auto start = static_cast<std::int32_t>(totalMs * i / parts);
        const auto end = static_cast<std::int32_t>(totalMs * (i + 1) / parts) + (i % 2 ? 3000 : 0);
        job.Rows.push_back(Row(Out("p" + std::to_string(i) + ".mp3"), start, end));
    }
    const SplitOutcome outcome = WriteAllParts(job, {});
    ASSERT_TRUE(outcome.Success);
    EXPECT_LE(outcome.HeadersExamined, 60000 + parts * 130);

    // Rows in reverse order: the walk to the last part passes every start, and
    // each part is then walked from its own start.
    std::reverse(job.Rows.begin(), job.Rows.end());
    const SplitOutcome reversed = WriteAllParts(job, {});
    ASSERT_TRUE(reversed.Success);
    EXPECT_LE(reversed.HeadersExamined, 2 * 60000 + parts * 130);
    const Bytes first = ReadFile(Out("p0.mp3"));
    EXPECT_TRUE(std::equal(first.begin(), first.end() - 128, source.begin()));
    const Bytes last = ReadFile(Out("p199.mp3"));
    EXPECT_TRUE(std::equal(last.begin(), last.end() - 128, source.end() - (last.size() - 128)));
}

} // namespace
