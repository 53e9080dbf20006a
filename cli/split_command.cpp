#include "cli/commands.h"
#include "cli/open_source.h"
#include "core/audio_info.h"
#include "media/id3v2_part_tags.h"
#include "split/equal_parts.h"
#include "split/part_plan.h"
#include "split/split_list.h"
#include "split/split_worker.h"
#include "state/format_time.h"
#include "state/session_state.h"

#include <atomic>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct SplitOptions {
    std::string File;
    std::string OutDir;
    std::vector<std::pair<std::string, std::string>> Sections;
    std::string Parts;
    std::string Overlap = "0";
    std::string Template = "$F_$N";
    bool NoInfoFrame = false;
    bool Id3v2 = false;
    bool RebuildInfoFrame = false;
    bool Preload = false;
    bool Overwrite = false;
};

// Ctrl-C asks the worker to stop after the part it is writing; a second one ends the program.
std::atomic<bool> gStopRequested{false};

extern "C" void RequestStop(int) {
    gStopRequested = true;
    std::signal(SIGINT, SIG_DFL);
}

bool ParseTimeOption(const std::string& text, std::int32_t& ms) {
    if (ParseTime(text, ms))
        return true;
    std::cerr << "invalid time '" << text << "': give milliseconds or mm:ss.t\n";
    return false;
}

// Fills the list: the sections in the order given, then the equal parts.
// Returns false on a usage error (nothing is written then); problems counts
// the entries that could not be added.
bool FillList(const SplitOptions& options, const SourceSession& source, SplitList& list,
              int& problems) {
    for (const auto& [startText, endText] : options.Sections) {
        std::int32_t start = 0;
        std::int32_t end = 0;
        if (!ParseTimeOption(startText, start) || !ParseTimeOption(endText, end))
            return false;
        if (end <= start) {
            std::cerr << "section " << startText << " " << endText
                      << ": the end must come after the start\n";
            return false;
        }
        if (list.IsFull()) {
            std::cerr << LimitMessage() << "\n";
            ++problems;
            return true;
        }
        list.AddEntry(start, end, source.Info.Tag);
    }
    if (options.Parts.empty())
        return true;
    std::int32_t overlapMs = 0;
    if (!ParseTimeOption(options.Overlap, overlapMs))
        return false;
    EqualPartsInput input;
    input.CountText = options.Parts;
    input.OverlapPositions = overlapMs;
    input.PositionStep = 1;
    input.TotalMs = source.State.DurationMsExact;
    const EqualPartsResult result = SplitByEqualParts(list, input, source.Info.Tag);
    if (result.Outcome == EqualPartsOutcome::InvalidCount) {
        std::cerr << result.ErrorMessage << "\n";
        return false;
    }
    if (result.Outcome == EqualPartsOutcome::LimitReached) {
        std::cerr << result.ErrorMessage << "\n";
        ++problems;
    }
    return true;
}

// Every part named as Save names it; refused names, repeated names and existing
// files (unless overwriting) are reported and skipped.
int ReportSkippedParts(const PartPlan& plan) {
    int problems = 0;
    for (const PlannedPart& part : plan) {
        if (part.Decision == PartDecision::Refuse) {
            std::cerr << part.Reason << "\n";
            ++problems;
        } else if (part.Decision == PartDecision::Skip) {
            std::cerr << part.Reason << " (see --overwrite)\n";
            ++problems;
        }
    }
    return problems;
}

// "[#####.....] 5/10" on one line of a terminal.
class ProgressBar {
public:
    ProgressBar(std::int32_t total, bool shown) : total_(total), shown_(shown && total > 0) {}

    void Step() {
        ++begun_;
        if (!shown_)
            return;
        constexpr int kWidth = 40;
        const int filled = static_cast<int>(std::int64_t{begun_} * kWidth / total_);
        std::cerr << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << begun_
                  << "/" << total_ << std::flush;
    }
    void Finish() {
        if (shown_ && begun_ > 0)
            std::cerr << "\n";
    }

private:
    std::int32_t total_;
    bool shown_;
    std::int32_t begun_ = 0;
};

int RunSplit(const SplitOptions& options) {
    const std::optional<SourceSession> opened =
        OpenSourceOrReport(options.File, options.Preload, std::cerr);
    if (!opened)
        return 1;
    const SourceSession& source = *opened;
    if (options.Sections.empty() && options.Parts.empty()) {
        std::cerr << "nothing to split: give --section START END or --parts N\n";
        return 1;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(options.OutDir, error)) {
        std::cerr << options.OutDir << ": not a folder\n";
        return 1;
    }
    SplitList list;
    int problems = 0;
    if (!FillList(options, source, list, problems))
        return 1;
    const PartPlan plan =
        PlanParts(list, {options.Template, options.OutDir, options.File,
                         options.Overwrite ? OverwritePolicy::Overwrite : OverwritePolicy::Keep});
    problems += ReportSkippedParts(plan);
    SplitJob job = BuildSplitJob(options.File, source.Info, source.State.FrameCount,
                                 !options.NoInfoFrame, list, plan);
    job.RebuildInfoFrame = options.RebuildInfoFrame;
    if (options.Id3v2)
        AddId3v2Tags(job, list);
    if (job.PartsToWrite() == 0)
        return problems == 0 ? 0 : 1;

    ProgressBar bar(job.PartsToWrite(), ::isatty(STDERR_FILENO) == 1);
    SplitCallbacks callbacks;
    callbacks.StepProgress = [&bar] { bar.Step(); };
    callbacks.StopRequested = [] { return gStopRequested.load(); };
    gStopRequested = false;
    const auto previous = std::signal(SIGINT, RequestStop);
    const SplitOutcome outcome = WriteAllParts(job, callbacks);
    std::signal(SIGINT, previous);
    bar.Finish();
    for (const std::string& line : outcome.Errors)
        std::cerr << line << "\n";
    if (outcome.Stopped && outcome.PartsWritten < job.PartsToWrite())
        std::cerr << "stopped after " << outcome.PartsWritten << " of " << job.PartsToWrite()
                  << " parts\n";
    return outcome.Success && problems == 0 ? 0 : 1;
}

} // namespace

void RegisterSplitCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SplitOptions>();
    CLI::App* split = app.add_subcommand(
        "split",
        "Write sections of an MP3 file as part files, frame by frame, without re-encoding");
    split->add_option("FILE", options->File, "The MP3 file to split")->required();
    split->add_option("--out", options->OutDir, "The folder for the part files")
        ->type_name("DIR")
        ->required();
    split
        ->add_option("--section", options->Sections,
                     "A part from START to END (ms, or mm:ss.t / hh:mm:ss.t); repeatable")
        ->type_name("START END");
    CLI::Option* parts = split->add_option("--parts", options->Parts,
                                           "Divide the whole file into N equal parts (2 to 999)");
    parts->type_name("N");
    split
        ->add_option("--overlap", options->Overlap,
                     "Lengthen every equal part but the last by TIME (ms or mm:ss.t)")
        ->type_name("TIME")
        ->needs(parts);
    split
        ->add_option("--template", options->Template,
                     "Part file name: $F source name, $T title, $A artist, $N number")
        ->type_name("T")
        ->capture_default_str();
    split->add_flag("--no-info-frame", options->NoInfoFrame,
                    "Do not put the source's information frame in front of each part");
    split->add_flag("--id3v2", options->Id3v2,
                    "Begin each part with an ID3v2.4 tag: its texts, track n/N and the "
                    "source's other ID3v2 frames (pictures, lyrics, ...)");
    split->add_flag("--rebuild-info-frame", options->RebuildInfoFrame,
                    "Make each part's information frame describe the part: frame and byte "
                    "counts, seek table, encoder delay and padding");
    split->add_flag("--preload", options->Preload,
                    "Walk every frame first, so lengths and equal parts use the exact length");
    split->add_flag("--overwrite", options->Overwrite, "Overwrite existing part files");
    split->callback([options, &exitCode] { exitCode = RunSplit(*options); });
}
