// WriteAllParts of an arbitrary source with arbitrary sections (negative,
// reversed, past the end), targets that cannot be written, and stop requests.
// Checks: no crash, the source unchanged, no file left behind but whole parts,
// and every part byte for byte as the plain walk from the first frame makes it.
#include "core/audio_info.h"
#include "core/frame_rule.h"
#include "core/information_frame.h"
#include "core/preload_scan.h"
#include "fuzz_files.h"
#include "split/part_plan.h"
#include "split/split_list.h"
#include "split/split_worker.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fuzzer/FuzzedDataProvider.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class Target {
    Normal,
    SameAsPrevious,
    Source,
    SourceSpelledOtherwise,
    MissingFolder,
    BelowFile
};

struct RowPlan {
    std::int32_t StartMs = 0;
    std::int32_t EndMs = 0;
    bool Checked = true;
    bool DoWrite = true;
    Target Where = Target::Normal;
};

struct Plan {
    bool FromAnalysis = true;   // the job as the program builds it, else arbitrary fields
    bool ScanFrameCount = true; // FrameCount from the scan, else arbitrary
    bool SaveFrameOption = true;
    std::int32_t StopAfterRows = -1;
    std::int32_t FrameCount = 0;
    std::int64_t FirstFrameOffset = 0;
    bool IsVbr = false;
    bool HasInfoFrame = false;
    std::int32_t VersionId = 1;
    std::int32_t ChannelMode = 0;
    std::int32_t Layer = 3;
    std::int32_t FirstFrameBytes = 0;
    std::vector<RowPlan> Rows;
};

std::int32_t ConsumeTime(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return in.ConsumeIntegral<std::int32_t>();
    case 1:
        return in.ConsumeIntegralInRange<std::int32_t>(-100, 100);
    default:
        return in.ConsumeIntegralInRange<std::int32_t>(-2000, 20000);
    }
}

Plan ConsumePlan(FuzzedDataProvider& in) {
    Plan p;
    p.FromAnalysis = in.ConsumeIntegralInRange(0, 3) != 0;
    p.ScanFrameCount = in.ConsumeIntegralInRange(0, 3) != 0;
    p.SaveFrameOption = in.ConsumeBool();
    p.StopAfterRows = in.ConsumeIntegralInRange(-1, 8);
    p.FrameCount = in.ConsumeBool() ? in.ConsumeIntegral<std::int32_t>()
                                    : in.ConsumeIntegralInRange<std::int32_t>(-2, 2000);
    p.FirstFrameOffset = in.ConsumeBool() ? in.ConsumeIntegral<std::int64_t>()
                                          : in.ConsumeIntegralInRange<std::int64_t>(-8, 20000);
    p.IsVbr = in.ConsumeBool();
    p.HasInfoFrame = in.ConsumeBool();
    p.VersionId = in.ConsumeIntegralInRange(-1, 4);
    p.ChannelMode = in.ConsumeIntegralInRange(-1, 4);
    p.Layer = in.ConsumeIntegralInRange(-1, 4);
    p.FirstFrameBytes = in.ConsumeIntegralInRange(-1, 1500);
    const int rows = in.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < rows; ++i) {
        RowPlan r;
        r.StartMs = ConsumeTime(in);
        r.EndMs = ConsumeTime(in);
        r.Checked = in.ConsumeIntegralInRange(0, 7) != 0;
        r.DoWrite = in.ConsumeIntegralInRange(0, 7) != 0;
        const int where = in.ConsumeIntegralInRange(0, 15);
        r.Where = where < 6 ? static_cast<Target>(where) : Target::Normal;
        p.Rows.push_back(r);
    }
    return p;
}

struct Folders {
    fs::path Source = ScratchFolder() / "src" / "source.mp3";
    fs::path Blocker = ScratchFolder() / "src" / "blocker";
    fs::path Out = ScratchFolder() / "out";
};

std::string PathFor(const Plan& plan, std::size_t i, const Folders& f) {
    switch (plan.Rows[i].Where) {
    case Target::SameAsPrevious:
        if (i > 0)
            return PathFor(plan, i - 1, f);
        break;
    case Target::Source:
        return f.Source.string();
    case Target::SourceSpelledOtherwise:
        return (f.Source.parent_path() / "." / "source.mp3").string();
    case Target::MissingFolder:
        return (f.Out / "missing" / ("part" + std::to_string(i) + ".mp3")).string();
    case Target::BelowFile:
        return (f.Blocker / ("part" + std::to_string(i) + ".mp3")).string();
    case Target::Normal:
        break;
    }
    return (f.Out / ("part" + std::to_string(i) + ".mp3")).string();
}

TagBlockBytes TagFor(std::size_t i) {
    return EncodeTagBlock("part " + std::to_string(i), "fuzz", "", "2026", "", 12);
}

bool BuildJob(const Plan& plan, const Folders& f, SplitJob& job) {
    const std::string source = f.Source.string();
    TAudioInfo info;
    const Result<AnalysisResult> analysis = info.AnalyseFile(source);
    const bool analysed = analysis && analysis.Value() == AnalysisResult::Ok;
    std::int32_t frameCount = plan.FrameCount;
    if (analysed && plan.ScanFrameCount)
        frameCount = PreloadScan(ScanSource::From(source, info)).Value().FrameCount;
    if (analysed && plan.FromAnalysis) {
        SplitList list;
        PartPlan parts;
        for (std::size_t i = 0; i < plan.Rows.size(); ++i) {
            const RowPlan& r = plan.Rows[i];
            const std::int32_t index = list.AddEntry(r.StartMs, r.EndMs, info.Tag);
            list[index].Checked = r.Checked;
            parts.push_back(
                {PathFor(plan, i, f), r.DoWrite ? PartDecision::Write : PartDecision::Skip, ""});
        }
        SourceSession opened;
        opened.Info = info;
        opened.Format = SourceFormat::Of(info);
        opened.State.SourceFileName = source;
        opened.State.FrameCount = frameCount;
        job = BuildSplitJob(opened, plan.SaveFrameOption, list, parts);
        for (std::size_t i = 0; i < job.Rows.size(); ++i) {
            job.Rows[i].Tag = TagFor(i);
            job.Rows[i].MayReplace = true; // rows may share a name
        }
        return true;
    }
    job.SourcePath = source;
    job.Format.FirstFrameOffset = plan.FirstFrameOffset;
    job.Format.IsVbr = plan.IsVbr;
    job.Format.HasInfoFrame = plan.HasInfoFrame;
    job.Format.VersionId = plan.VersionId;
    job.Format.ChannelMode = plan.ChannelMode;
    job.Format.Layer = plan.Layer;
    job.Format.FirstFrameBytes = plan.FirstFrameBytes;
    job.FrameCount = frameCount;
    job.SaveFrameOption = plan.SaveFrameOption;
    for (std::size_t i = 0; i < plan.Rows.size(); ++i) {
        const RowPlan& r = plan.Rows[i];
        job.Rows.push_back(
            {r.Checked, r.DoWrite, PathFor(plan, i, f), r.StartMs, r.EndMs, TagFor(i), true});
    }
    return true;
}

using Bytes = std::vector<std::uint8_t>;

// The frame count the worker works with: the job's, or when that is 0
// (unknown) the scan's. Nothing when the scan itself fails.
std::optional<std::int32_t> FrameCountOf(const SplitJob& job) {
    if (job.FrameCount != 0)
        return job.FrameCount;
    ScanSource scan;
    scan.Path = job.SourcePath;
    scan.Format = job.Format;
    const Result<ScanResult> counted = PreloadScan(scan);
    if (!counted)
        return std::nullopt;
    return counted.Value().FrameCount;
}

// What a part file must hold: the walk of the frame rule for this row alone,
// from the first frame, one byte position at a time. Nothing when it fails.
std::optional<Bytes> ReferencePart(const SplitJob& job, std::int32_t frameCount,
                                   const SplitJobRow& row, const Bytes& src) {
    const auto size = static_cast<std::int64_t>(src.size());
    const auto readable = [size](std::int64_t p) { return p >= 0 && p <= size - 4; };
    const auto at = [&src](std::int64_t p) { return src.data() + p; };
    std::int64_t p = job.Format.FirstFrameOffset;
    Bytes information;
    if (job.Format.HasInfoFrame) {
        if (!readable(p))
            return std::nullopt;
        const std::int32_t length =
            InformationFrameLength(at(p), job.Format.VersionId, job.Format.Layer);
        if (length < 4 || p > size - length)
            return std::nullopt;
        information.assign(at(p), at(p) + length);
        p += length;
    }
    double elapsed = 0.0;
    std::int32_t index = 0;
    std::int32_t written = 0;
    while (row.StartMs > elapsed) {
        if (!readable(p))
            return std::nullopt;
        const FrameCandidate c = EvaluateFrame(at(p), job.Format.VersionId, job.Format.Layer);
        if (!c.Accepted) {
            ++p;
            continue;
        }
        p += c.Length;
        elapsed = AddFrameDuration(elapsed, c.Length, c.BitrateBps);
        ++index;
    }
    Bytes frames;
    PartFrameList list; // what the part's information frame describes
    list.FromSourceStart = index == 0;
    do {
        if (!readable(p))
            return std::nullopt;
        const FrameCandidate c = EvaluateFrame(at(p), job.Format.VersionId, job.Format.Layer);
        if (!c.Accepted) {
            ++p;
            continue;
        }
        if (p > size - c.Length) {
            list.ToSourceEnd = true;
            break;
        }
        frames.insert(frames.end(), at(p), at(p) + c.Length);
        list.Lengths.push_back(static_cast<std::uint16_t>(c.Length));
        p += c.Length;
        elapsed = AddFrameDuration(elapsed, c.Length, c.BitrateBps);
        ++index;
        ++written;
    } while (row.EndMs >= elapsed && index < frameCount);
    if (written == 0)
        return std::nullopt; // a part with no whole frame fails

    Bytes part;
    if (job.Format.HasInfoFrame && job.SaveFrameOption) {
        const auto marker = static_cast<std::size_t>(
            InformationHeaderOffset(job.Format.VersionId, job.Format.ChannelMode));
        list.ToSourceEnd = list.ToSourceEnd || index >= frameCount;
        list.AudioCrc = Crc16(0, frames.data(), frames.size());
        list.CountsItself = true;
        part = RebuildInformationFrame(information, static_cast<std::int32_t>(marker), list);
    }
    part.insert(part.end(), frames.begin(), frames.end());
    part.insert(part.end(), row.Tag.begin(), row.Tag.end());
    return part;
}

// The errors reported so far at each part begun, and in all.
struct RunLog {
    std::vector<int> ErrorsWhenBegun;
    int Errors = 0;
};

// Every part begun fails exactly when its target cannot take it or the walk
// from the first frame fails, and otherwise holds the walk's bytes; the
// target folder holds those parts and nothing else.
void CheckAgainstReference(const SplitJob& job, const RunLog& log, const Bytes& src,
                           const Folders& f) {
    const std::optional<std::int32_t> frameCount = FrameCountOf(job);
    std::map<std::string, Bytes> expected;
    std::size_t begun = 0;
    for (std::size_t i = 0; i < job.Rows.size() && begun < log.ErrorsWhenBegun.size(); ++i) {
        const SplitJobRow& row = job.Rows[i];
        if (!row.Checked || !row.DoWrite)
            continue;
        const int errorsAfter =
            begun + 1 < log.ErrorsWhenBegun.size() ? log.ErrorsWhenBegun[begun + 1] : log.Errors;
        const bool failed = errorsAfter > log.ErrorsWhenBegun[begun];
        ++begun;
        const bool writable = fs::path(row.OutPath).parent_path() == f.Out;
        if (writable && !frameCount) {
            // Without the scan's count the walk is not known; only debris is checked.
            if (!failed)
                expected[row.OutPath] = ReadBytes(row.OutPath);
            continue;
        }
        const std::optional<Bytes> reference =
            writable ? ReferencePart(job, *frameCount, row, src) : std::nullopt;
        if (failed && reference)
            FuzzFailure("row " + std::to_string(i) +
                        " failed; the walk from the first frame writes it");
        if (!failed && !reference)
            FuzzFailure("row " + std::to_string(i) +
                        " was written; the walk from the first frame fails");
        if (reference)
            expected[row.OutPath] = *reference;
    }
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(f.Out)) {
        const auto part = expected.find(entry.path().string());
        if (part == expected.end())
            FuzzFailure("a file that is no part was left in the target folder: " +
                        entry.path().string());
        if (ReadBytes(entry.path()) != part->second)
            FuzzFailure("a part differs from the walk from the first frame: " +
                        entry.path().string());
        ++files;
    }
    if (files != expected.size())
        FuzzFailure("a part reported as written is missing");
}

void CheckSourceFolder(const Folders& f) {
    for (const auto& entry : fs::directory_iterator(f.Source.parent_path()))
        if (entry.path() != f.Source && entry.path() != f.Blocker)
            FuzzFailure("a file was left beside the source: " + entry.path().string());
}

void CheckOutcome(const SplitJob& job, const SplitOutcome& outcome, int stepsReported) {
    const std::int32_t toWrite = job.PartsToWrite();
    if (outcome.PartsWritten < 0 || outcome.PartsWritten > toWrite)
        FuzzFailure("parts written out of range");
    if (outcome.Success && outcome.PartsWritten != toWrite)
        FuzzFailure("success reported with parts missing");
    if (!outcome.Success && !outcome.Stopped && outcome.Errors.empty())
        FuzzFailure("a failure reported without its reason");
    if (stepsReported < outcome.PartsWritten || stepsReported > toWrite)
        FuzzFailure("progress steps do not match the parts");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const Plan plan = ConsumePlan(in);
    const std::vector<std::uint8_t> sourceBytes = in.ConsumeRemainingBytes<std::uint8_t>();

    const Folders f;
    EmptyFolder(ScratchFolder());
    fs::create_directories(f.Source.parent_path());
    fs::create_directories(f.Out);
    WriteBytes(f.Source, sourceBytes.data(), sourceBytes.size());
    WriteBytes(f.Blocker, nullptr, 0);

    SplitJob job;
    BuildJob(plan, f, job);
    RunLog log;
    int rowsSeen = 0;
    SplitCallbacks callbacks;
    callbacks.StepProgress = [&] { log.ErrorsWhenBegun.push_back(log.Errors); };
    callbacks.SplitError = [&](const std::string&) { ++log.Errors; };
    callbacks.StopRequested = [&] { return ++rowsSeen == plan.StopAfterRows; };
    const SplitOutcome outcome = WriteAllParts(job, callbacks);

    if (ReadBytes(f.Source) != sourceBytes)
        FuzzFailure("the source changed");
    CheckOutcome(job, outcome, static_cast<int>(log.ErrorsWhenBegun.size()));
    CheckAgainstReference(job, log, sourceBytes, f);
    CheckSourceFolder(f);
    EmptyFolder(ScratchFolder());
    return 0;
}
