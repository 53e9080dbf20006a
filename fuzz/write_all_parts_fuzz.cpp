// WriteAllParts of an arbitrary source with arbitrary sections (negative,
// reversed, past the end), targets that cannot be written, and stop requests.
// Checks: no crash, the source unchanged, no file left behind but whole parts.
#include "core/audio_info.h"
#include "core/preload_scan.h"
#include "fuzz_files.h"
#include "split/split_list.h"
#include "split/split_worker.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fuzzer/FuzzedDataProvider.h>
#include <map>
#include <set>
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
    const bool analysed = info.AnalyseFile(source) == AnalysisResult::Ok;
    std::int32_t frameCount = plan.FrameCount;
    if (analysed && plan.ScanFrameCount)
        frameCount = PreloadScan(ScanSource::From(source, info)).FrameCount;
    if (analysed && plan.FromAnalysis) {
        SplitList list;
        for (std::size_t i = 0; i < plan.Rows.size(); ++i) {
            const RowPlan& r = plan.Rows[i];
            const std::int32_t index = list.AddEntry(r.StartMs, r.EndMs, info.Tag);
            list[index].Checked = r.Checked;
            list[index].DoWrite = r.DoWrite;
            list[index].OutPath = PathFor(plan, i, f);
        }
        job = SplitJob::From(source, info, frameCount, plan.SaveFrameOption, list);
        for (std::size_t i = 0; i < job.Rows.size(); ++i)
            job.Rows[i].Tag = TagFor(i);
        return true;
    }
    job.SourcePath = source;
    job.FirstFrameOffset = plan.FirstFrameOffset;
    job.IsVbr = plan.IsVbr;
    job.HasInfoFrame = plan.HasInfoFrame;
    job.VersionId = plan.VersionId;
    job.ChannelMode = plan.ChannelMode;
    job.FrameCount = frameCount;
    job.SaveFrameOption = plan.SaveFrameOption;
    for (std::size_t i = 0; i < plan.Rows.size(); ++i) {
        const RowPlan& r = plan.Rows[i];
        job.Rows.push_back(
            {r.Checked, r.DoWrite, PathFor(plan, i, f), r.StartMs, r.EndMs, TagFor(i)});
    }
    return true;
}

// Every file in the target folder is a whole part of a row that was to be
// written, ending in that row's tag; nothing else is there.
void CheckPartFiles(const SplitJob& job, const SplitOutcome& outcome, const Folders& f) {
    std::map<std::string, std::vector<std::size_t>> rowsByPath;
    for (std::size_t i = 0; i < job.Rows.size(); ++i)
        if (job.Rows[i].Checked && job.Rows[i].DoWrite)
            rowsByPath[fs::path(job.Rows[i].OutPath).lexically_normal().string()].push_back(i);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(f.Out)) {
        const std::string path = entry.path().lexically_normal().string();
        const auto rows = rowsByPath.find(path);
        if (rows == rowsByPath.end() || !entry.is_regular_file())
            FuzzFailure("a file that is no part was left in the target folder: " + path);
        const std::vector<std::uint8_t> bytes = ReadBytes(entry.path());
        if (bytes.size() < 128)
            FuzzFailure("a part file without its tag: " + path);
        bool tagged = false;
        for (std::size_t i : rows->second)
            tagged = tagged || std::equal(bytes.end() - 128, bytes.end(), TagFor(i).begin());
        if (!tagged)
            FuzzFailure("a part file that does not end with its row's tag: " + path);
        ++files;
    }
    if (files > static_cast<std::size_t>(outcome.PartsWritten))
        FuzzFailure("more part files than parts written");
    bool distinctPaths = true;
    for (const auto& [path, rows] : rowsByPath)
        distinctPaths =
            distinctPaths && (rows.size() == 1 || fs::path(path).parent_path() != f.Out);
    if (distinctPaths && files != static_cast<std::size_t>(outcome.PartsWritten))
        FuzzFailure("the parts written and the part files differ in number");
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
    int steps = 0;
    int rowsSeen = 0;
    SplitCallbacks callbacks;
    callbacks.StepProgress = [&] { ++steps; };
    callbacks.SplitError = [](const std::string&) {};
    callbacks.StopRequested = [&] { return ++rowsSeen == plan.StopAfterRows; };
    const SplitOutcome outcome = WriteAllParts(job, callbacks);

    if (ReadBytes(f.Source) != sourceBytes)
        FuzzFailure("the source changed");
    CheckOutcome(job, outcome, steps);
    CheckPartFiles(job, outcome, f);
    CheckSourceFolder(f);
    EmptyFolder(ScratchFolder());
    return 0;
}
