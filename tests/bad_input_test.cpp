// Hostile and broken input on the whole road of a file: analysis, scan and
// split. Whatever the input, the result is a clear error or a defined value,
// the source keeps its bytes, and a target folder holds whole parts only.
#include "core/audio_info.h"
#include "core/frame_header.h"
#include "core/frame_rule.h"
#include "core/preload_scan.h"
#include "frame_stream.h"
#include "split/part_plan.h"
#include "split/partial_files.h"
#include "split/split_list.h"
#include "split/split_worker.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace frame_stream;

// A 128 kbit/s MPEG 1 frame at 44100 Hz lasts 26.0625 ms.
constexpr std::int32_t kFrameBytes = 417;

struct Section {
    std::int32_t StartMs;
    std::int32_t EndMs;
};

// Sections that every accepted file is cut into: ordinary, negative,
// reversed and past the end.
const std::vector<Section> kHostileSections = {
    {0, 1000}, {1000, 3000}, {-500, -100}, {3000, 1000}, {INT32_MAX - 1, INT32_MAX}};

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

Bytes WithTag(Bytes audio, const TagBlockBytes& tag) {
    audio.insert(audio.end(), tag.begin(), tag.end());
    return audio;
}

std::set<fs::path> Listing(const fs::path& folder) {
    std::set<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.insert(it->path());
    return entries;
}

// One source file on disk with a folder for its parts.
class Workbench {
public:
    explicit Workbench(Bytes bytes) : bytes_(std::move(bytes)) {
        source_ = dir_.Write("source.mp3", bytes_);
        fs::create_directories(Out());
    }

    const std::string& Source() const { return source_; }
    const Bytes& Content() const { return bytes_; }
    fs::path Folder() const { return dir_.Path(); }
    fs::path Out() const { return dir_.Path() / "parts"; }
    const TAudioInfo& Info() const { return info_; }

    AnalysisResult Analyse() { return info_.AnalyseFile(source_).Value(); }
    Result<ScanResult> Scan() const { return PreloadScan(ScanSource::From(source_, info_)); }

    SplitJob Job(std::int32_t frameCount, const std::vector<Section>& sections,
                 const fs::path& folder) const {
        SplitList list;
        PartPlan plan;
        for (std::size_t i = 0; i < sections.size(); ++i) {
            list.AddEntry(sections[i].StartMs, sections[i].EndMs, info_.Tag);
            plan.push_back({(folder / ("part" + std::to_string(i + 1) + ".mp3")).string(),
                            PartDecision::Write, ""});
        }
        SourceSession opened;
        opened.Info = info_;
        opened.Format = SourceFormat::Of(info_);
        opened.State.SourceFileName = source_;
        opened.State.FrameCount = frameCount;
        return BuildSplitJob(opened, true, list, plan);
    }
    SplitJob Job(std::int32_t frameCount, const std::vector<Section>& sections) const {
        return Job(frameCount, sections, Out());
    }

    // Runs the split and checks what must hold after any split: the source
    // unchanged, a reason for every failure, and nothing new in the folders
    // involved but one whole part (ending in its tag) per part written.
    SplitOutcome Split(const SplitJob& job, const SplitCallbacks& callbacks = {}) const {
        std::map<fs::path, std::set<fs::path>> before;
        before[Folder()] = Listing(Folder());
        for (const SplitJobRow& row : job.Rows)
            before[fs::path(row.OutPath).parent_path()] =
                Listing(fs::path(row.OutPath).parent_path());

        const SplitOutcome outcome = WriteAllParts(job, callbacks);

        ExpectSourceUnchanged();
        EXPECT_EQ(outcome.Success,
                  outcome.Errors.empty() && outcome.PartsWritten == job.PartsToWrite());
        if (!outcome.Success && !outcome.Stopped) {
            EXPECT_FALSE(outcome.Errors.empty()) << "a failure without its reason";
        }
        std::int32_t newFiles = 0;
        for (const auto& [folder, earlier] : before) {
            for (const fs::path& entry : Listing(folder)) {
                if (earlier.count(entry) != 0)
                    continue;
                const auto row =
                    std::find_if(job.Rows.begin(), job.Rows.end(),
                                 [&](const SplitJobRow& r) { return r.OutPath == entry; });
                if (row == job.Rows.end()) {
                    ADD_FAILURE() << "left behind after the split: " << entry;
                    continue;
                }
                const Bytes part = ReadFile(entry.string());
                EXPECT_GE(part.size(), 128u) << entry;
                if (part.size() >= 128) {
                    EXPECT_TRUE(std::equal(part.end() - 128, part.end(), row->Tag.begin()))
                        << entry;
                }
                ++newFiles;
            }
        }
        EXPECT_EQ(newFiles, outcome.PartsWritten);
        return outcome;
    }

    // Splits each section on its own, so that one failing section does not
    // end the run for the others.
    std::vector<SplitOutcome> SplitEach(std::int32_t frameCount,
                                        const std::vector<Section>& sections) const {
        std::vector<SplitOutcome> outcomes;
        for (const Section& s : sections) {
            fs::remove_all(Out());
            fs::create_directories(Out());
            outcomes.push_back(Split(Job(frameCount, {s})));
        }
        return outcomes;
    }

    void ExpectSourceUnchanged() const {
        EXPECT_TRUE(ReadFile(source_) == bytes_) << "the source changed";
    }

private:
    Bytes bytes_;
    TempDir dir_;
    std::string source_;
    TAudioInfo info_;
};

// The whole road for a file that the analysis accepts: the scan must not
// fail on it, and no section may crash the split or leave debris.
void TravelAccepted(Workbench& bench) {
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    const ScanResult scan = bench.Scan().Value();
    bench.SplitEach(scan.FrameCount, kHostileSections);
    bench.Split(bench.Job(scan.FrameCount, kHostileSections));
}

void ExpectRefused(Workbench& bench, AnalysisResult expected) {
    EXPECT_EQ(bench.Analyse(), expected);
    EXPECT_EQ(bench.Info().PlayTimeMs, 0);
    EXPECT_EQ(bench.Info().FileSize, static_cast<std::int64_t>(bench.Content().size()));
}

TEST(BadInput, EmptyAndTinyFilesHaveNoFrame) {
    const Bytes starts = {0xFF, 0xFB, 0x90, 0x64};
    for (std::size_t size = 0; size <= 3; ++size) {
        for (const Bytes& bytes : {Bytes(size, 0x00), Slice(starts, 0, size)}) {
            SCOPED_TRACE(size);
            Workbench bench(bytes);
            ExpectRefused(bench, AnalysisResult::NoFrameFound);
            EXPECT_EQ(bench.Info().FirstFrameOffset, -1);
            // A refused file is never scanned or split; if it were, both refuse cleanly.
            EXPECT_FALSE(bench.Scan().Ok());
            const SplitOutcome outcome = bench.Split(bench.Job(1, {{0, 1000}}));
            EXPECT_FALSE(outcome.Success);
            EXPECT_EQ(outcome.PartsWritten, 0);
        }
    }
}

TEST(BadInput, SyncBytesAloneAreNoFrame) {
    for (std::size_t size : {4u, 5u, 417u, 10296u, 20000u}) {
        SCOPED_TRACE(size);
        Workbench bench(Bytes(size, 0xFF));
        // FF FF FF FF: MPEG 1 Layer I with bitrate index 15, never valid.
        ExpectRefused(bench, AnalysisResult::NoFrameFound);
        ScanSource forced;
        forced.Path = bench.Source();
        forced.Format.FirstFrameBytes = kFrameBytes;
        const ScanResult scan = PreloadScan(forced).Value();
        EXPECT_EQ(scan.FrameCount, 0);
        // Every position is tried while a first frame's length remains.
        const std::int64_t tried = size >= 417 ? static_cast<std::int64_t>(size) - 416 : 1;
        EXPECT_EQ(scan.ErrorCount, tried);
    }
}

TEST(BadInput, ValidFirstHeaderFollowedByJunk) {
    // A lone header before junk is a chance pattern, not audio.
    Bytes lone = Frames(kMpeg1Cbr128, kFrameBytes, 1);
    AppendJunk(lone, 10000);
    Workbench refused(lone);
    EXPECT_EQ(refused.Analyse(), AnalysisResult::NoFrameFound);
    EXPECT_EQ(refused.Info().FirstFrameOffset, -1);
    EXPECT_EQ(refused.Info().PlayTimeMs, 0);

    Bytes bytes = Frames(kMpeg1Cbr128, kFrameBytes, 4);
    AppendJunk(bytes, 10000);
    Workbench bench(bytes);
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    EXPECT_EQ(bench.Info().FirstFrameOffset, 0);
    // 11668 * 8 div 12800 = 7 tenths of a second.
    EXPECT_EQ(bench.Info().PlayTimeMs, 700);

    const ScanResult scan = bench.Scan().Value();
    EXPECT_EQ(scan.FrameCount, 4);
    EXPECT_EQ(scan.ErrorCount, 10000 - 416);

    const std::vector<SplitOutcome> outcomes = bench.SplitEach(scan.FrameCount, kHostileSections);
    // Sections that begin within the frames get them; those that begin later run out of source.
    EXPECT_TRUE(outcomes[0].Success);
    EXPECT_FALSE(outcomes[1].Success);
    EXPECT_TRUE(outcomes[2].Success);
    EXPECT_FALSE(outcomes[3].Success);
    EXPECT_FALSE(outcomes[4].Success);
    const SplitJob job = bench.Job(scan.FrameCount, {{0, 1000}});
    bench.Split(job);
    EXPECT_TRUE(ReadFile(job.Rows[0].OutPath) ==
                WithTag(Slice(bytes, 0, 4 * kFrameBytes), job.Rows[0].Tag));
}

// Every header whose bitrate index is 0 or 15 or whose sample-rate index is
// 3, with every version and layer, as a whole file, before valid frames and
// between them.
TEST(BadInput, HeadersWithUnknownBitrateOrSampleRate) {
    // Read one byte later (FF, b2, b3, ...), the header must not form a valid
    // one by accident: a last byte with bitrate index 15 sees to that.
    constexpr std::uint8_t kLastByte = 0xF0;
    std::vector<Header> headers;
    for (int versionAndLayer = 0; versionAndLayer < 16; ++versionAndLayer) {
        const auto b1 = static_cast<std::uint8_t>(0xE1 | versionAndLayer << 1);
        for (int rate = 0; rate < 4; ++rate) {
            for (int bitrate : {0, 15})
                headers.push_back(
                    {0xFF, b1, static_cast<std::uint8_t>(bitrate << 4 | rate << 2), kLastByte});
        }
        for (int bitrate = 1; bitrate < 15; ++bitrate)
            headers.push_back(
                {0xFF, b1, static_cast<std::uint8_t>(bitrate << 4 | 3 << 2), kLastByte});
    }
    for (const Header& h : headers) {
        SCOPED_TRACE(testing::Message() << std::hex << int{h[1]} << " " << int{h[2]});
        TMpegFrameHdr decoded;
        const bool freeFormat = decoded.Decode(h.data(), 4); // valid, but bitrate 0

        Workbench alone(Frames(h, kFrameBytes, 30));
        ExpectRefused(alone, freeFormat ? AnalysisResult::Failed : AnalysisResult::NoFrameFound);

        Bytes first = Frames(h, kFrameBytes, 1);
        AppendFrames(first, kMpeg1Cbr128, kFrameBytes, 30);
        Workbench before(first);
        if (freeFormat) {
            ExpectRefused(before, AnalysisResult::Failed);
        } else {
            EXPECT_EQ(before.Analyse(), AnalysisResult::Ok);
            EXPECT_EQ(before.Info().FirstFrameOffset, kFrameBytes);
        }

        Bytes between = Frames(kMpeg1Cbr128, kFrameBytes, 30);
        AppendFrame(between, h, kFrameBytes);
        AppendFrames(between, kMpeg1Cbr128, kFrameBytes, 30);
        Workbench middle(between);
        ASSERT_EQ(middle.Analyse(), AnalysisResult::Ok);
        const ScanResult scan = middle.Scan().Value();
        EXPECT_EQ(scan.FrameCount, 60);
        EXPECT_EQ(scan.ErrorCount, kFrameBytes);
        const SplitJob job = middle.Job(scan.FrameCount, {{0, 2000}});
        EXPECT_TRUE(middle.Split(job).Success);
        // The bad frame's bytes are not copied.
        Bytes expected = Slice(between, 0, 30 * kFrameBytes);
        Append(expected, Slice(between, 31 * kFrameBytes, 30 * kFrameBytes));
        EXPECT_TRUE(ReadFile(job.Rows[0].OutPath) == WithTag(expected, job.Rows[0].Tag));
    }
}

TEST(BadInput, InformationFrameCutOffAtEveryByte) {
    for (const char* marker : {"Xing", "Info"}) {
        Bytes whole;
        AppendInformationFrame(whole, kMpeg1Cbr128, kFrameBytes, 36, marker, 1000);
        for (std::size_t size = 0; size <= whole.size(); ++size) {
            SCOPED_TRACE(testing::Message() << marker << " cut to " << size);
            Workbench bench(Slice(whole, 0, size));
            const AnalysisResult result = bench.Analyse();
            const bool xingReadable = std::string(marker) == "Xing" && size >= 36 + 12 + 1;
            if (size < 4) {
                EXPECT_EQ(result, AnalysisResult::NoFrameFound);
            } else if (!xingReadable) {
                // A few bytes of constant bitrate last less than a tenth of a second.
                EXPECT_EQ(result, AnalysisResult::Failed);
                EXPECT_EQ(bench.Info().PlayTimeMs, 0);
            } else {
                ASSERT_EQ(result, AnalysisResult::Ok);
                EXPECT_TRUE(bench.Info().IsVbr);
                // round(1152 / 44100 * 1000) seconds.
                EXPECT_EQ(bench.Info().PlayTimeMs, 26000);
                const ScanResult scan = bench.Scan().Value();
                EXPECT_EQ(scan.FrameCount, 0);
                // No audio frame follows the information frame: nothing to cut.
                EXPECT_FALSE(bench.Split(bench.Job(scan.FrameCount, {{0, 1000}})).Success);
            }
        }
    }
}

TEST(BadInput, Id3v2TagThatRunsPastTheEnd) {
    const Bytes audio = Frames(kMpeg1Cbr128, kFrameBytes, 30);
    struct Case {
        std::uint32_t BodySize;
        bool Footer;
        std::size_t BodyBytesKept;
    };
    // Bodies declared larger than the file, one the largest a size field can
    // hold, and one whose footer alone runs past the end.
    const Case cases[] = {{1000000, false, 100},
                          {0x0FFFFFFF, true, 100},
                          {static_cast<std::uint32_t>(audio.size()), true, audio.size()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.BodySize);
        Bytes bytes = Slice(Id3v2Block(c.BodySize, c.Footer), 0, 10);
        Append(bytes, Slice(audio, 0, c.BodyBytesKept));
        if (c.BodyBytesKept < audio.size())
            Append(bytes, audio);
        Workbench bench(bytes);
        // The tag claims more than the file: the audio is searched from the start.
        ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
        EXPECT_EQ(bench.Info().FirstFrameOffset, 10);
    }
    // A header cut short is no tag: the search starts at the beginning.
    Bytes cut = {'I', 'D', '3', 3, 0, 0, 0};
    Append(cut, audio);
    Workbench bench(cut);
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    EXPECT_EQ(bench.Info().FirstFrameOffset, 7);
}

TEST(BadInput, Id3v1TagAlone) {
    Workbench bench(Id3v1Block("Title", "Artist", "Album", "2026", "Comment", 17));
    ExpectRefused(bench, AnalysisResult::NoFrameFound);
    EXPECT_TRUE(bench.Info().Tag.Present);
    EXPECT_EQ(bench.Info().Tag.Title, "Title");

    // A title whose bytes read as a frame header: a frame that cannot fit.
    Workbench header(Id3v1Block("\xFF\xFB\x90\x64"));
    const AnalysisResult result = header.Analyse();
    EXPECT_NE(result, AnalysisResult::Ok);
    EXPECT_EQ(header.Info().PlayTimeMs, 0);
}

class ShrinkingSource : public ::testing::TestWithParam<std::size_t> {};

// The file is analysed and scanned at 200 frames, then cut to fewer bytes
// before the split: sections within the rest are written, the others fail.
TEST_P(ShrinkingSource, SectionsBeyondTheNewEndFailCleanly) {
    Bytes bytes = Frames(kMpeg1Cbr128, kFrameBytes, 200);
    Append(bytes, Id3v1Block("shrinking"));
    Workbench bench(bytes);
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    const ScanResult scan = bench.Scan().Value();
    ASSERT_EQ(scan.FrameCount, 200);

    const std::size_t newSize = GetParam();
    fs::resize_file(bench.Source(), newSize);
    const std::vector<Section> sections = {{0, 1000}, {1000, 2000}, {3000, 4000}};
    const SplitJob job = bench.Job(scan.FrameCount, sections);
    std::vector<SplitOutcome> outcomes;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        SplitJob one = job;
        one.Rows = {job.Rows[i]};
        outcomes.push_back(WriteAllParts(one, {}));
    }
    EXPECT_TRUE(ReadFile(bench.Source()) == Slice(bytes, 0, newSize));

    // Frames 0 to 38 and 39 to 76 lie within the first 100 frames.
    const bool firstTwoFit = newSize >= 77 * kFrameBytes;
    EXPECT_EQ(outcomes[0].Success, firstTwoFit);
    EXPECT_EQ(outcomes[1].Success, firstTwoFit);
    EXPECT_FALSE(outcomes[2].Success);
    if (firstTwoFit) {
        EXPECT_TRUE(ReadFile(job.Rows[0].OutPath) ==
                    WithTag(Slice(bytes, 0, 39 * kFrameBytes), job.Rows[0].Tag));
        EXPECT_TRUE(ReadFile(job.Rows[1].OutPath) ==
                    WithTag(Slice(bytes, 39 * kFrameBytes, 38 * kFrameBytes), job.Rows[1].Tag));
    }
    EXPECT_FALSE(fs::exists(job.Rows[2].OutPath));
    const std::set<fs::path> left = Listing(bench.Out());
    EXPECT_EQ(left.size(), firstTwoFit ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(BadInput, ShrinkingSource,
                         ::testing::Values(100 * kFrameBytes, 100 * kFrameBytes + 200, 3, 0));

class UnwritableTarget : public ::testing::Test {
protected:
    void SetUp() override {
        Bytes bytes = Frames(kMpeg1Cbr128, kFrameBytes, 100);
        bench_ = std::make_unique<Workbench>(bytes);
        ASSERT_EQ(bench_->Analyse(), AnalysisResult::Ok);
    }

    // Every part fails with its path named, and nothing is written anywhere.
    void ExpectEveryPartRefused(const fs::path& folder) {
        const SplitJob job = bench_->Job(100, {{0, 1000}, {1000, 2000}}, folder);
        const SplitOutcome outcome = bench_->Split(job);
        EXPECT_FALSE(outcome.Success);
        EXPECT_EQ(outcome.PartsWritten, 0);
        ASSERT_FALSE(outcome.Errors.empty());
        EXPECT_NE(outcome.Errors[0].find(job.Rows[0].OutPath), std::string::npos);
    }

    std::unique_ptr<Workbench> bench_;
};

TEST_F(UnwritableTarget, FolderBelowARegularFile) {
    const fs::path plain = bench_->Folder() / "plain";
    { std::ofstream(plain) << "not a folder"; }
    ExpectEveryPartRefused(plain);
    EXPECT_TRUE(fs::is_regular_file(plain));
}

// A folder that refuses new files: its write permission taken away, and where
// that does not stop this user (root), its immutable attribute set as well.
class LockedFolder {
public:
    explicit LockedFolder(fs::path folder) : folder_(std::move(folder)) {
        fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec);
        if (Writable())
            immutable_ = SetImmutable(true);
        locked_ = !Writable();
    }
    ~LockedFolder() {
        if (immutable_)
            SetImmutable(false);
        fs::permissions(folder_, fs::perms::owner_all);
    }
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;

    bool Locked() const { return locked_; }

private:
    bool Writable() const {
        const fs::path probe = folder_ / "probe";
        const int fd = open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
        if (fd < 0)
            return false;
        close(fd);
        fs::remove(probe);
        return true;
    }

    bool SetImmutable(bool on) const {
        const int fd = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        close(fd);
        return done;
    }

    fs::path folder_;
    bool immutable_ = false;
    bool locked_ = false;
};

TEST_F(UnwritableTarget, ReadOnlyFolder) {
    const fs::path folder = bench_->Folder() / "locked";
    fs::create_directories(folder);
    const LockedFolder lock(folder);
    if (!lock.Locked())
        GTEST_SKIP() << "neither permissions nor the immutable attribute stop this user's writes "
                        "here; FolderBelowARegularFile covers a folder that refuses parts";
    ExpectEveryPartRefused(folder);
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(UnwritableTarget, PartPathThatIsAFolder) {
    const SplitJob job = bench_->Job(100, {{0, 1000}});
    fs::create_directories(fs::path(job.Rows[0].OutPath) / "inside");
    const SplitOutcome outcome = bench_->Split(job);
    EXPECT_FALSE(outcome.Success);
    EXPECT_TRUE(fs::is_directory(fs::path(job.Rows[0].OutPath) / "inside"));
}

TEST_F(UnwritableTarget, FolderThatVanishesBeforeTheSplit) {
    const fs::path gone = bench_->Folder() / "gone";
    ExpectEveryPartRefused(gone);
    EXPECT_FALSE(fs::exists(gone));
}

TEST_F(UnwritableTarget, FolderThatVanishesDuringTheSplit) {
    const fs::path folder = bench_->Folder() / "vanishing";
    fs::create_directories(folder);
    const SplitJob job = bench_->Job(100, {{0, 1000}, {1000, 2000}}, folder);
    int begun = 0;
    SplitCallbacks callbacks;
    callbacks.StepProgress = [&] {
        if (++begun == 2)
            fs::remove_all(folder);
    };
    const SplitOutcome outcome = WriteAllParts(job, callbacks);
    bench_->ExpectSourceUnchanged();
    EXPECT_FALSE(outcome.Success);
    EXPECT_EQ(outcome.PartsWritten, 1);
    EXPECT_EQ(outcome.Errors.size(), 1u);
    EXPECT_FALSE(fs::exists(folder)) << "the failed part recreated its folder";
}

// A file-size limit stands in for a full disk: a write beyond it must fail with
// EFBIG, not end the program by SIGXFSZ. The split runs in a child process
// that alone has the limit.
TEST(BadInput, FullDiskLeavesNoPartialPart) {
    Workbench bench(Frames(kMpeg1Cbr128, kFrameBytes, 200));
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    // 39 frames and a tag fit below the limit; 77 frames do not.
    const SplitJob job = bench.Job(200, {{0, 1000}, {0, 2000}, {0, 500}});
    const std::int64_t firstPart = 39 * kFrameBytes + 128;
    const rlim_t limit = 20000;
    ASSERT_LT(firstPart, static_cast<std::int64_t>(limit));

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        const rlimit fileSize{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &fileSize) != 0)
            _exit(100);
        const SplitOutcome outcome = WriteAllParts(job, {});
        _exit(outcome.Success ? 101 : outcome.PartsWritten);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the split died of a signal: " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1) << "expected the first part written, then a failure";

    bench.ExpectSourceUnchanged();
    EXPECT_EQ(fs::file_size(job.Rows[0].OutPath), static_cast<std::uintmax_t>(firstPart));
    EXPECT_FALSE(fs::exists(job.Rows[1].OutPath));
    EXPECT_EQ(Listing(bench.Out()).size(), 1u) << "a partial part or its temporary file is left";
}

// Whatever signal ends the program in the middle of a part, nothing partial
// stays: only whole parts, and no temporary file.
TEST(BadInput, NoPartialFileSurvivesASignal) {
    constexpr int kFrames = 24000; // 10 MB, about 10 minutes
    Workbench bench(Frames(kMpeg1Cbr128, kFrameBytes, kFrames));
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    const SplitJob job = bench.Job(kFrames, std::vector<Section>(40, Section{0, 700000}));
    const auto whole = static_cast<std::uintmax_t>(kFrames) * kFrameBytes + 128;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT, SIGKILL}) {
        SCOPED_TRACE(signal);
        fs::remove_all(bench.Out());
        fs::create_directories(bench.Out());
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            WriteAllParts(job, {});
            _exit(0);
        }
        usleep(40000);
        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        for (const fs::path& entry : Listing(bench.Out()))
            EXPECT_EQ(fs::file_size(entry), whole) << entry;
    }
}

// Where no unnamed file can be made, the named temporary goes with the signal,
// also after more parts than there are places to note temporaries in have
// replaced files (each is written under a named temporary).
TEST(BadInput, NamedTemporaryIsRemovedByTheSignalThatEndsTheProgram) {
    Workbench bench(Frames(kMpeg1Cbr128, kFrameBytes, 100));
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    std::vector<Section> sections;
    for (std::int32_t i = 0; i < 20; ++i)
        sections.push_back({i * 100, i * 100 + 100});
    SplitJob replacing = bench.Job(100, sections);
    for (SplitJobRow& row : replacing.Rows) {
        std::ofstream(row.OutPath) << "old";
        row.MayReplace = true;
    }
    TempDir dir;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        const fs::path temp = dir.Path() / ".kerfline-part.tmp";
        std::ofstream(temp) << "partial";
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            std::signal(signal, SIG_DFL);
            if (!WriteAllParts(replacing, {}).Success)
                _exit(1);
            const int folder = open(dir.Path().c_str(), O_PATH | O_DIRECTORY);
            RegisterPartialFile(folder, temp.filename().string());
            InstallPartialFileCleanup();
            raise(signal);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        EXPECT_FALSE(fs::exists(temp)) << signal;
    }
}

// Ctrl-C in a terminal: the first asks the split to stop, the second ends the
// program and takes the named temporary of the part being written with it.
TEST(BadInput, ASecondInterruptEndsTheProgramWithoutItsTemporary) {
    TempDir dir;
    const fs::path temp = dir.Path() / ".kerfline-part.tmp";
    std::ofstream(temp) << "partial";
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::atomic<bool> stop{false};
        StopAtFirstInterrupt(stop);
        RegisterPartialFile(open(dir.Path().c_str(), O_PATH | O_DIRECTORY), temp.filename());
        raise(SIGINT);
        if (!stop.load() || !fs::exists(temp))
            _exit(1);
        raise(SIGINT);
        _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_FALSE(fs::exists(temp));
}

TEST(BadInput, PartNamedAsTheSourceIsRefused) {
    Workbench bench(Frames(kMpeg1Cbr128, kFrameBytes, 100));
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    for (const fs::path& spelling : {fs::path(bench.Source()), bench.Folder() / "." / "source.mp3",
                                     bench.Folder() / "parts" / ".." / "source.mp3"}) {
        SCOPED_TRACE(spelling);
        SplitJob job = bench.Job(100, {{0, 1000}});
        job.Rows[0].OutPath = spelling.string();
        const SplitOutcome outcome = bench.Split(job);
        EXPECT_FALSE(outcome.Success);
        EXPECT_EQ(outcome.PartsWritten, 0);
    }
}

TEST(BadInput, SourceThatIsAFolder) {
    TempDir dir;
    const std::string folder = dir.Path().string();
    TAudioInfo info;
    EXPECT_EQ(info.AnalyseFile(folder).Failure().Category, ErrorCategory::Open);
    ScanSource scan;
    scan.Path = folder;
    scan.Format.FirstFrameBytes = kFrameBytes;
    EXPECT_EQ(PreloadScan(scan).Failure().Category, ErrorCategory::Open);
    SplitJob job;
    job.SourcePath = folder;
    job.FrameCount = 10;
    job.Rows.push_back({true, true, (dir.Path() / "part.mp3").string(), 0, 1000, {}});
    const SplitOutcome outcome = WriteAllParts(job, {});
    EXPECT_FALSE(outcome.Success);
    ASSERT_EQ(outcome.Errors.size(), 1u);
    EXPECT_NE(outcome.Errors[0].find(folder), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(BadInput, SourceThatIsAPipeOrADeviceIsRefusedWithoutBlocking) {
    TempDir dir;
    const fs::path pipe = dir.Path() / "pipe.mp3";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& path : {pipe.string(), std::string("/dev/zero")}) {
        TAudioInfo info;
        const Result<AnalysisResult> analysed = info.AnalyseFile(path);
        ASSERT_FALSE(analysed) << path << " was analysed";
        EXPECT_EQ(analysed.Failure().Text, path + ": not a regular file");
        EXPECT_EQ(info.PlayTimeMs, 0);
    }
    // A pipe put in the analysed file's place: the scan and the split check what
    // they opened, not the name. (A writer unblocks an open that would wait.)
    std::thread writer([&pipe] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
    });
    ScanSource scan;
    scan.Path = pipe.string();
    scan.Format.FirstFrameBytes = kFrameBytes;
    const Result<ScanResult> scanned = PreloadScan(scan);
    ASSERT_FALSE(scanned.Ok()) << "a pipe was scanned";
    EXPECT_EQ(scanned.Failure().Text, pipe.string() + ": not a regular file");
    SplitJob job;
    job.SourcePath = pipe.string();
    job.FrameCount = 10;
    job.Rows.push_back({true, true, (dir.Path() / "part.mp3").string(), 0, 1000, {}});
    const SplitOutcome outcome = WriteAllParts(job, {});
    ASSERT_EQ(outcome.Errors.size(), 1u);
    EXPECT_EQ(outcome.Errors[0], pipe.string() + ": cannot open the source: not a regular file");
    writer.join();
}

// The scan and the per-part walk of the frame rule, one byte position at a
// time, straight from their description: what the real walks must match.
ScanResult ScanBytePerByte(const Bytes& b, std::int32_t frameBytes) {
    ScanResult r;
    const auto size = static_cast<std::int64_t>(b.size());
    const std::int64_t minimumRemaining = std::max(frameBytes, 4);
    const auto wholeFrameAt = [&](std::int64_t p) {
        const FrameCandidate c = size - p >= 4 ? EvaluateFrame(b.data() + p, 1) : FrameCandidate{};
        return c.Accepted && c.Length <= size - p;
    };
    std::int64_t p = 0;
    do {
        const FrameCandidate c = EvaluateFrame(b.data() + p, 1);
        if (c.Accepted) {
            p += c.Length;
            r.DurationMsExact = AddFrameDuration(r.DurationMsExact, c.Length, c.BitrateBps);
            ++r.FrameCount;
        } else {
            ++p;
            ++r.ErrorCount;
        }
    } while (size - p >= minimumRemaining || wholeFrameAt(p));
    return r;
}

// Empty when the walk runs out of source.
Bytes PartBytePerByte(const Bytes& b, std::int32_t frameCount, const SplitJobRow& row) {
    const auto size = static_cast<std::int64_t>(b.size());
    std::int64_t p = 0;
    double elapsed = 0.0;
    std::int32_t index = 0;
    while (row.StartMs > elapsed) {
        if (p > size - 4)
            return {};
        const FrameCandidate c = EvaluateFrame(b.data() + p, 1);
        if (!c.Accepted) {
            ++p;
            continue;
        }
        p += c.Length;
        elapsed = AddFrameDuration(elapsed, c.Length, c.BitrateBps);
        ++index;
    }
    Bytes part;
    do {
        if (p > size - 4)
            return {};
        const FrameCandidate c = EvaluateFrame(b.data() + p, 1);
        if (!c.Accepted) {
            ++p;
            continue;
        }
        if (p > size - c.Length)
            break;
        Append(part, Slice(b, static_cast<std::size_t>(p), static_cast<std::size_t>(c.Length)));
        p += c.Length;
        elapsed = AddFrameDuration(elapsed, c.Length, c.BitrateBps);
        ++index;
    } while (row.EndMs >= elapsed && index < frameCount);
    return WithTag(part, row.Tag);
}

// Long runs of bytes that start no frame (zeros, noise, stray 0xFF) across
// the readers' block boundaries: counted and passed exactly as byte by byte.
TEST(BadInput, LongJunkRunsCountAsTheyWouldBytePerByte) {
    std::mt19937 rng(6);
    const auto pick = [&rng](std::uint32_t n) { return static_cast<std::int32_t>(rng() % n); };
    // Audio begins with a run of frames, or is not taken for audio.
    Bytes bytes = Frames(kMpeg1Cbr128, kFrameBytes, 4);
    while (bytes.size() < (std::size_t{3} << 20)) {
        if (pick(2) == 0)
            AppendFrames(bytes, kMpeg1Cbr128, kFrameBytes, 1 + pick(40));
        else
            AppendFrames(bytes, kMpeg1Cbr128Padded, kFrameBytes + 1, 1 + pick(40));
        const std::size_t junk =
            pick(3) == 0 ? static_cast<std::size_t>(pick(600000)) : 1 + pick(700);
        const int kind = pick(3);
        for (std::size_t i = 0; i < junk; ++i)
            bytes.push_back(kind == 0 ? 0x00
                                      : static_cast<std::uint8_t>(pick(kind == 1 ? 255 : 256)));
    }
    Workbench bench(bytes);
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    const ScanResult scan = bench.Scan().Value();
    const ScanResult expected = ScanBytePerByte(bytes, kFrameBytes);
    EXPECT_EQ(scan.FrameCount, expected.FrameCount);
    EXPECT_EQ(scan.ErrorCount, expected.ErrorCount);
    EXPECT_EQ(scan.DurationMsExact, expected.DurationMsExact);

    std::vector<Section> sections;
    for (int i = 0; i < 40; ++i) {
        const std::int32_t start = pick(static_cast<std::uint32_t>(expected.DurationMsExact));
        sections.push_back({start, start + pick(20000)});
    }
    const SplitJob job = bench.Job(scan.FrameCount, sections);
    ASSERT_TRUE(bench.Split(job).Success);
    for (const SplitJobRow& row : job.Rows)
        EXPECT_TRUE(ReadFile(row.OutPath) == PartBytePerByte(bytes, scan.FrameCount, row))
            << row.OutPath;
}

TEST(BadInput, FirstFrameOffsetFarOutsideTheSource) {
    Workbench bench(Frames(kMpeg1Cbr128, kFrameBytes, 10));
    ASSERT_EQ(bench.Analyse(), AnalysisResult::Ok);
    const std::int64_t size = static_cast<std::int64_t>(bench.Content().size());
    for (const std::int64_t offset : {size - 3, size, size + 1, INT64_MAX - 3, INT64_MAX}) {
        SCOPED_TRACE(offset);
        for (const bool information : {false, true}) {
            SplitJob job = bench.Job(10, {{0, 1000}});
            job.Format.FirstFrameOffset = offset;
            job.Format.HasInfoFrame = information;
            const SplitOutcome outcome = bench.Split(job);
            EXPECT_FALSE(outcome.Success);
            EXPECT_EQ(outcome.PartsWritten, 0);
        }
    }
}

TEST(BadInput, EveryHostileSectionOnRealFiles) {
    for (const char* name :
         {"cbr128_44k_info_frame.mp3", "vbr_mpeg2_22k_mono.mp3", "junk_between_frames.mp3",
          "truncated_last_frame.mp3", "cbr128_id3v2_cover.mp3", "layer2_192k.mp3"}) {
        SCOPED_TRACE(name);
        Workbench bench(ReadFile(std::string(KERFLINE_TEST_DATA) + "/" + name));
        TravelAccepted(bench);
    }
}

} // namespace
