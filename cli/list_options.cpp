#include "cli/list_options.h"

#include "core/text_encoding.h"
#include "media/cue_reader.h"
#include "media/pause_finder.h"
#include "split/cue_sections.h"
#include "split/equal_parts.h"
#include "split/pause_cuts.h"
#include "state/format_time.h"

#include <cmath>
#include <iomanip>
#include <iostream>
#include <unistd.h>

namespace {

bool ParseTimeOption(const std::string& text, std::int32_t& ms, std::ostream& err) {
    if (ParseTime(text, ms))
        return true;
    err << PrintableText("invalid time '" + CutForMessage(text) + "': give milliseconds or mm:ss.t")
        << "\n";
    return false;
}

bool Append(SplitList& list, const std::vector<SplitListItem>& entries, int& problems,
            std::ostream& err) {
    if (AppendAllEntries(list, entries))
        return true;
    err << LimitMessage() << "\n";
    ++problems;
    return false;
}

FillOutcome AddCueSections(const ListOptions& options, const SourceSession& source, SplitList& list,
                           int& problems, std::ostream& err, const StopRequest&) {
    const CueReadResult read = ReadCueFile(options.CueSheet);
    if (read.Error) {
        err << PrintableText(CueErrorMessage(options.CueSheet, *read.Error)) << "\n";
        return FillOutcome::SourceError;
    }
    const CueSections sections =
        SectionsFromCue(read.Sheet, static_cast<std::int32_t>(source.State.DurationMs),
                        source.Info.Tag, source.State.SourceFileName);
    if (sections.Error) {
        err << PrintableText(CueErrorMessage(options.CueSheet, *sections.Error)) << "\n";
        return FillOutcome::SourceError;
    }
    for (const CueError& warning : sections.Warnings)
        err << PrintableText(CueWarningMessage(options.CueSheet, warning)) << "\n";
    Append(list, sections.Entries, problems, err);
    return FillOutcome::Filled;
}

FillOutcome AddSections(const ListOptions& options, const SourceSession& source, SplitList& list,
                        int& problems, std::ostream& err, const StopRequest&) {
    for (const auto& [startText, endText] : options.Sections) {
        std::int32_t start = 0;
        std::int32_t end = 0;
        // An odd number of values leaves the last START without its END.
        if (endText.empty()) {
            err << PrintableText("section " + startText + ": give a START and an END") << "\n";
            return FillOutcome::UsageError;
        }
        if (!ParseTimeOption(startText, start, err) || !ParseTimeOption(endText, end, err))
            return FillOutcome::UsageError;
        if (end <= start) {
            err << PrintableText("section " + startText + " " + endText +
                                 ": the end must come after the start")
                << "\n";
            return FillOutcome::UsageError;
        }
        if (list.IsFull()) {
            err << LimitMessage() << "\n";
            ++problems;
            return FillOutcome::Filled;
        }
        list.AddEntry(start, end, source.Info.Tag);
    }
    return FillOutcome::Filled;
}

FillOutcome AddEqualParts(const ListOptions& options, const SourceSession& source, SplitList& list,
                          int& problems, std::ostream& err, const StopRequest&) {
    std::int32_t overlapMs = 0;
    if (!ParseTimeOption(options.Overlap, overlapMs, err))
        return FillOutcome::UsageError;
    EqualPartsInput input;
    input.CountText = options.Parts;
    input.OverlapPositions = overlapMs;
    input.PositionStep = 1;
    input.TotalMs = source.State.DurationMsExact;
    const EqualPartsResult result = SplitByEqualParts(list, input, source.Info.Tag);
    if (result.Outcome == EqualPartsOutcome::InvalidCount) {
        err << result.ErrorMessage << "\n";
        return FillOutcome::UsageError;
    }
    if (result.Outcome == EqualPartsOutcome::LimitReached) {
        err << result.ErrorMessage << "\n";
        ++problems;
    }
    return FillOutcome::Filled;
}

// "finding pauses  42%" on one line of a terminal.
void ShowSearchProgress(double done) {
    std::cerr << "\rfinding pauses " << std::setw(3) << static_cast<int>(done * 100) << "%"
              << std::flush;
}

FillOutcome AddPauseSections(const ListOptions& options, const SourceSession& source,
                             SplitList& list, int& problems, std::ostream& err,
                             const StopRequest& stopRequested) {
    if (!(options.PauseMinSeconds > 0.0 && options.PauseMinSeconds < 3600.0)) {
        err << "--pause-min must be above 0 and below 3600 seconds\n";
        return FillOutcome::UsageError;
    }
    if (!std::isfinite(options.PauseDb)) {
        err << "--pause-db must be a number of dBFS\n";
        return FillOutcome::UsageError;
    }
    const bool shown = ::isatty(STDERR_FILENO) == 1;
    const LevelScan scan = MeasureLevels(source.State.SourceFileName, source.Info.FirstFrameOffset,
                                         source.State.DurationMsExact, [&](double done) {
                                             if (shown)
                                                 ShowSearchProgress(done);
                                             return !stopRequested();
                                         });
    if (shown)
        std::cerr << "\n";
    if (scan.Cancelled || !scan.Error.empty()) {
        err << PrintableText(source.State.SourceFileName + ": " +
                             (scan.Cancelled ? "the search for pauses was stopped" : scan.Error))
            << "\n";
        return FillOutcome::SourceError;
    }
    for (const std::string& warning : scan.Warnings)
        err << PrintableText(warning) << "\n";
    PauseSettings settings;
    settings.ThresholdDb = options.PauseDb;
    settings.MinMs = static_cast<std::int32_t>(std::lround(options.PauseMinSeconds * 1000.0));
    const std::vector<std::int32_t> cuts = FindPauseCuts(scan.LevelsDb, settings);
    Append(list,
           PauseSections(cuts, static_cast<std::int32_t>(source.State.DurationMs), source.Info.Tag),
           problems, err);
    return FillOutcome::Filled;
}

} // namespace

void AddListOptions(CLI::App& command, ListOptions& options) {
    command.add_option("--cue", options.CueSheet, "Sections from a cue sheet, one per track")
        ->type_name("SHEET");
    command
        .add_option("--section", options.Sections,
                    "A part from START to END (ms, or mm:ss.t / hh:mm:ss.t); repeatable")
        ->type_name("START END");
    CLI::Option* parts = command.add_option("-n,--parts", options.Parts,
                                            "Divide the whole file into N equal parts (2 to 999)");
    parts->type_name("N")->check(CLI::Range(2, 999));
    command
        .add_option("--overlap", options.Overlap,
                    "Lengthen every equal part but the last by TIME (ms or mm:ss.t)")
        ->type_name("TIME")
        ->needs(parts);
    CLI::Option* pauses =
        command.add_flag("--at-pauses", options.AtPauses,
                         "Cut in the middle of every pause (the audio is decoded to find them)");
    command.add_option("--pause-db", options.PauseDb, "A pause is quieter than DB dBFS")
        ->type_name("DB")
        ->capture_default_str()
        ->needs(pauses);
    command.add_option("--pause-min", options.PauseMinSeconds, "A pause lasts at least SECONDS")
        ->type_name("SECONDS")
        ->capture_default_str()
        ->needs(pauses);
}

FillOutcome FillList(const ListOptions& options, const SourceSession& source, SplitList& list,
                     int& problems, std::ostream& err, const StopRequest& stopRequested) {
    using Step = FillOutcome (*)(const ListOptions&, const SourceSession&, SplitList&, int&,
                                 std::ostream&, const StopRequest&);
    const std::pair<bool, Step> steps[] = {
        {!options.CueSheet.empty(), AddCueSections},
        {!options.Sections.empty(), AddSections},
        {!options.Parts.empty(), AddEqualParts},
        {options.AtPauses, AddPauseSections},
    };
    for (const auto& [wanted, step] : steps) {
        if (!wanted)
            continue;
        if (const FillOutcome outcome = step(options, source, list, problems, err, stopRequested);
            outcome != FillOutcome::Filled)
            return outcome;
    }
    return FillOutcome::Filled;
}
