#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/list_options.h"
#include "cli/open_source.h"
#include "cli/text_encoding.h"
#include "core/layer3_gain_shift.h"
#include "core/text_encoding.h"
#include "session/split_session.h"
#include "split/partial_files.h"
#include "split/split_report.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

struct SplitOptions {
    std::vector<std::string> Files;
    std::string OutDir;
    ListOptions List;
    std::string Template = "$F_$N";
    bool NoInfoFrame = false;
    bool Id3v2 = false;
    bool Id3v24 = false;
    bool RebuildInfoFrame = false;
    bool Exact = false;
    std::optional<double> GainDb;
    std::int32_t FadeInMs = 0;
    std::int32_t FadeOutMs = 0;
    std::optional<double> NormalizeLufs;
    bool Preload = false;
    bool Overwrite = false;
    bool Quiet = false; // errors only: no progress bar, no summary lines
    bool Json = false;  // what became of each part, as JSON on stdout
};

// Ctrl-C asks the worker to stop after the part it is writing; a second one ends the program.
std::atomic<bool> gStopRequested{false};

// Every part named as Save names it; refused names, repeated names and existing
// files (unless overwriting) are reported and skipped.
int ReportSkippedParts(const PartPlan& plan) {
    int problems = 0;
    for (const PlannedPart& part : plan) {
        if (part.Decision == PartDecision::Refuse) {
            std::cerr << PrintableText(part.Reason) << "\n";
            ++problems;
        } else if (part.Decision == PartDecision::Skip) {
            std::cerr << PrintableText(part.Reason) << " (see --overwrite)\n";
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

int NotAFolder(const std::string& folder, const std::error_code& reason) {
    std::cerr << PrintableText(folder + ": not a folder" +
                               (reason ? " (" + reason.message() + ")" : std::string()))
              << "\n";
    return 1;
}

// A missing target folder is made, with its parents, as a file manager would;
// only once there is a part to write, so a run that fails earlier leaves none.
int MakeTargetFolder(const std::string& folder) {
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    std::error_code asked;
    return std::filesystem::is_directory(folder, asked) ? 0 : NotAFolder(folder, made);
}

// The reason in a line "path: reason", or the whole line.
std::string WithoutPath(const std::string& line, const std::string& path) {
    const std::string prefix = path + ": ";
    return line.starts_with(prefix) ? line.substr(prefix.size()) : line;
}

// Why a part the plan was to write is not in place: its failure, else the
// source's (exact cuts refused, say), else how the run ended before it.
std::string WhyNotWritten(const std::string& path, const std::string& source,
                          const SplitOutcome& outcome) {
    for (const std::string& prefix : {path, source})
        for (const std::string& line : outcome.Errors)
            if (line.starts_with(prefix + ": "))
                return WithoutPath(line, prefix);
    return outcome.Stopped ? "stopped before this part"
                           : "not begun: the split ended at an earlier part's failure";
}

// One object per row of the list: where its part went, or why it did not.
void ReportParts(JsonWriter& json, const std::string& source, const SplitList& list,
                 const PartPlan& plan, const SplitOutcome& outcome) {
    auto written = outcome.Written.begin();
    for (std::size_t row = 0; row < plan.size(); ++row) {
        const PlannedPart& part = plan[row];
        const SplitListItem& entry = list[static_cast<std::int32_t>(row)];
        const bool done = written != outcome.Written.end() && written->Row == row;
        json.BeginObject();
        json.String("source", FileNameToUtf8(source));
        json.String("path", FileNameToUtf8(part.Path));
        json.Integer("start_ms", entry.StartMs);
        json.Integer("end_ms", entry.EndMs);
        json.Integer("bytes", done ? written->Bytes : 0);
        json.Integer("frames", done ? written->Frames : 0);
        json.Boolean("written", done);
        if (!done)
            json.String("reason", part.Decision == PartDecision::Write
                                      ? WhyNotWritten(part.Path, source, outcome)
                                      : WithoutPath(part.Reason, part.Path));
        json.EndObject();
        if (done)
            ++written;
    }
}

PartVolume VolumeOf(const SplitOptions& options) {
    return {options.GainDb ? GainStepsFor(*options.GainDb) : 0, options.FadeInMs,
            options.FadeOutMs};
}

// A gain between the steps is taken to the nearest, and said so once.
void SayRoundedGain(const SplitOptions& options) {
    if (!options.GainDb)
        return;
    const double taken = GainStepsFor(*options.GainDb) * kGainStepDb;
    if (std::abs(taken - *options.GainDb) > 1e-9) {
        char text[96];
        std::snprintf(text, sizeof text, "--gain %g: taken as %+.1f dB, the nearest step of 1.5 dB",
                      *options.GainDb, taken);
        std::cerr << text << "\n";
    }
}

struct SourceOutcome {
    int ExitCode = 0;
    std::int32_t PartsWritten = 0;
};

// Parts planned for the sources before this one are in plannedParts, which
// gains this source's parts.
SourceOutcome SplitOneSource(const SplitOptions& options, const std::string& file,
                             std::set<std::string>& plannedParts, JsonWriter& report) {
    SplitSession session;
    if (!OpenOrReport(session, file, options.Preload, std::cerr))
        return {1};
    int problems = 0;
    const FillOutcome filled =
        FillList(options.List, session, problems, std::cerr, [] { return gStopRequested.load(); });
    if (filled != FillOutcome::Filled)
        return {filled == FillOutcome::UsageError ? kUsageExitCode : 1};
    PlanRequest request{options.Template, options.OutDir, file,
                        options.Overwrite ? OverwritePolicy::Overwrite : OverwritePolicy::Keep};
    std::copy_if(options.Files.begin(), options.Files.end(),
                 std::back_inserter(request.OtherSources),
                 [&file](const std::string& other) { return other != file; });
    request.EarlierParts = plannedParts;
    const PartPlan plan = session.Plan(request);
    for (const std::string& path : SplitSession::PathsToWrite(plan))
        plannedParts.insert(path);
    problems += ReportSkippedParts(plan);
    session.Options() = {!options.NoInfoFrame,
                         options.RebuildInfoFrame,
                         options.Id3v2 || options.Id3v24,
                         options.Exact,
                         options.Id3v24,
                         VolumeOf(options),
                         options.NormalizeLufs};
    SplitSession::PreparedJob prepared = session.Job(plan);
    for (const std::string& warning : prepared.Warnings)
        std::cerr << PrintableText(warning) << "\n";
    const Result<std::vector<std::string>> clips = session.SettleVolume(prepared.Job);
    if (!clips) {
        std::cerr << PrintableText(clips.Failure().Text) << "\n";
        return {1};
    }
    for (const std::string& line : clips.Value())
        std::cerr << PrintableText(line) << "\n";
    const SplitJob& job = prepared.Job;
    const SplitList& list = session.List();
    if (job.PartsToWrite() == 0) {
        if (options.Json)
            ReportParts(report, file, list, plan, {});
        if (problems > 0)
            std::cerr << WrittenLine(0, list.SplitCount()) << "\n";
        return {problems == 0 ? 0 : 1};
    }

    if (const int made = MakeTargetFolder(options.OutDir); made != 0)
        return {made};
    ProgressBar bar(job.PartsToWrite(), !options.Quiet && ::isatty(STDERR_FILENO) == 1);
    SplitCallbacks callbacks;
    callbacks.StepProgress = [&bar] { bar.Step(); };
    callbacks.StopRequested = [] { return gStopRequested.load(); };
    const SplitOutcome outcome = SplitSession::Run(job, callbacks);
    bar.Finish();
    if (options.Json)
        ReportParts(report, file, list, plan, outcome);
    for (const std::string& line : outcome.Errors)
        std::cerr << PrintableText(line) << "\n";
    // Every row of a list made here is checked.
    const std::int32_t notWritten = list.SplitCount() - outcome.PartsWritten;
    if (outcome.Stopped && outcome.PartsWritten < job.PartsToWrite())
        std::cerr << StoppedLine(outcome.PartsWritten, job.PartsToWrite()) << "\n";
    else if (notWritten > 0)
        std::cerr << WrittenLine(outcome.PartsWritten, notWritten) << "\n";
    return {outcome.Success && problems == 0 ? 0 : 1, outcome.PartsWritten};
}

// Every source gets the same options; a batch says how each one went and
// stops at a Ctrl-C, after the part being written.
int RunSplit(const SplitOptions& options) {
    if (options.List.Empty()) {
        std::cerr << "nothing to split: " << kListOptionsHint << "\n";
        return kUsageExitCode;
    }
    std::error_code asked;
    if (std::filesystem::exists(options.OutDir, asked) &&
        !std::filesystem::is_directory(options.OutDir, asked))
        return NotAFolder(options.OutDir, {});
    SayRoundedGain(options);
    gStopRequested = false;
    const SignalHandler previous = StopAtFirstInterrupt(gStopRequested);
    int exitCode = 0;
    std::set<std::string> plannedParts;
    JsonWriter report;
    report.BeginArray();
    for (const std::string& file : options.Files) {
        const SourceOutcome outcome = SplitOneSource(options, file, plannedParts, report);
        exitCode = std::max(exitCode, outcome.ExitCode);
        if (options.Files.size() > 1 && !options.Quiet && !options.Json)
            std::cout << PrintableText(file) << ": " << outcome.PartsWritten
                      << (outcome.PartsWritten == 1 ? " part written" : " parts written")
                      << (outcome.ExitCode == 0 ? "" : ", with problems") << "\n";
        if (gStopRequested)
            break;
    }
    std::signal(SIGINT, previous);
    report.EndArray();
    if (options.Json)
        std::cout << report.Text();
    return gStopRequested ? std::max(exitCode, 1) : exitCode;
}

} // namespace

void RegisterSplitCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SplitOptions>();
    CLI::App* split = app.add_subcommand(
        "split",
        "Write sections of an MP3 file as part files, frame by frame, without re-encoding");
    split->add_option("FILE", options->Files, "The MP3 files to split, each with the same options")
        ->required();
    split->add_option("-o,--out", options->OutDir, "The folder for the part files")
        ->type_name("DIR")
        ->required();
    AddListOptions(*split, options->List);
    split
        ->add_option("--template", options->Template,
                     "Part file name: $F source name, $T title, $A artist, $N number")
        ->type_name("T")
        ->capture_default_str();
    split->add_flag("--no-info-frame", options->NoInfoFrame,
                    "Do not put the source's information frame in front of each part");
    split->add_flag("--id3v2", options->Id3v2,
                    "Begin each part with an ID3v2.3 tag: its texts, track n/N and the "
                    "source's other ID3v2 frames (pictures, lyrics, ...)");
    split->add_flag("--id3v2.4", options->Id3v24,
                    "As --id3v2, with an ID3v2.4 tag (UTF-8 texts), which some players and "
                    "tag readers do not read");
    split->add_flag("--rebuild-info-frame", options->RebuildInfoFrame,
                    "Make each part's information frame describe the part: frame and byte "
                    "counts, seek table, encoder delay and padding");
    split->add_flag("--exact", options->Exact,
                    "Cut at the exact time: each part plays exactly the source's samples "
                    "between its two times, without a glitch at its start (Layer III)");
    split
        ->add_option("--gain", options->GainDb,
                     "Change each part's level by DB decibels, in steps of 1.5 dB, without "
                     "re-encoding (Layer III)")
        ->type_name("DB")
        ->check(CLI::Range(-30.0, 30.0));
    split
        ->add_option("--fade-in", options->FadeInMs,
                     "Fade each part in over its first MS milliseconds (Layer III)")
        ->type_name("MS")
        ->check(CLI::Range(0, 3600000));
    split
        ->add_option("--fade-out", options->FadeOutMs,
                     "Fade each part out over its last MS milliseconds (Layer III)")
        ->type_name("MS")
        ->check(CLI::Range(0, 3600000));
    split
        ->add_option("--normalize", options->NormalizeLufs,
                     "Give each part the gain step that brings its integrated loudness (EBU "
                     "R128) nearest LUFS, as far as it does not clip: -16 for listening, -23 "
                     "for broadcast (Layer III)")
        ->type_name("LUFS")
        ->check(CLI::Range(-70.0, 0.0));
    split->add_flag("--preload", options->Preload,
                    "Walk every frame first, so lengths and equal parts use the exact length");
    split->add_flag("--overwrite", options->Overwrite, "Overwrite existing part files");
    split->add_flag("-q,--quiet", options->Quiet,
                    "Print only errors: no progress bar, no line per source");
    split->add_flag("--json", options->Json,
                    "Print a JSON array with one object per part: source, path, start_ms, "
                    "end_ms, bytes, frames, written, and the reason when not written");
    split->callback([options, &exitCode] { exitCode = RunSplit(*options); });
}
