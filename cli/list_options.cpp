#include "cli/list_options.h"

#include "core/text_encoding.h"
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

// "left out: 2 sections (ms): 1000 2000, 3000 4000", as --section takes them.
std::string LeftOutLine(const SectionTimes& sections) {
    std::string line = "left out: " + std::to_string(sections.size()) +
                       (sections.size() == 1 ? " section" : " sections") + " (ms):";
    for (std::size_t i = 0; i < sections.size(); ++i)
        line += (i == 0 ? " " : ", ") + std::to_string(sections[i].first) + " " +
                std::to_string(sections[i].second);
    return line;
}

// A change that did not fit below the list's limit is a problem, not a stop.
void ReportLimit(const ListChange& change, int& problems, std::ostream& err,
                 SectionTimes leftOut = {}) {
    if (change.Limit.empty())
        return;
    err << change.Limit << "\n";
    leftOut.insert(leftOut.begin(), change.LeftOut.begin(), change.LeftOut.end());
    if (!leftOut.empty())
        err << LeftOutLine(leftOut) << "\n";
    ++problems;
}

// The sections given after the one that found the list full.
SectionTimes SectionsAfter(const ListOptions& options, std::size_t index) {
    SectionTimes sections;
    for (std::size_t i = index + 1; i < options.Sections.size(); ++i) {
        std::int32_t start = 0;
        std::int32_t end = 0;
        if (ParseTime(options.Sections[i].first, start) &&
            ParseTime(options.Sections[i].second, end))
            sections.push_back({start, end});
    }
    return sections;
}

FillOutcome AddCueSections(const ListOptions& options, SplitSession& session, int& problems,
                           std::ostream& err, const StopRequest&) {
    const Result<ListChange> imported = session.ImportCue(options.CueSheet);
    if (!imported) {
        err << PrintableText(ErrorMessage(imported.Failure())) << "\n";
        return FillOutcome::SourceError;
    }
    for (const std::string& warning : imported.Value().Warnings)
        err << PrintableText(warning) << "\n";
    ReportLimit(imported.Value(), problems, err);
    return FillOutcome::Filled;
}

FillOutcome AddChapterSections(const ListOptions&, SplitSession& session, int& problems,
                               std::ostream& err, const StopRequest&) {
    const Result<ListChange> imported = session.ImportChapters();
    if (!imported) {
        err << PrintableText(ErrorMessage(imported.Failure())) << "\n";
        return FillOutcome::SourceError;
    }
    for (const std::string& warning : imported.Value().Warnings)
        err << PrintableText(warning) << "\n";
    for (const std::string& refusal : imported.Value().Refusals)
        err << PrintableText(refusal) << "\n";
    problems += static_cast<int>(imported.Value().Refusals.size());
    ReportLimit(imported.Value(), problems, err);
    return FillOutcome::Filled;
}

FillOutcome AddSections(const ListOptions& options, SplitSession& session, int& problems,
                        std::ostream& err, const StopRequest&) {
    for (std::size_t i = 0; i < options.Sections.size(); ++i) {
        const auto& [startText, endText] = options.Sections[i];
        std::int32_t start = 0;
        std::int32_t end = 0;
        // An odd number of values leaves the last START without its END.
        if (endText.empty()) {
            err << PrintableText("section " + startText + ": give a START and an END") << "\n";
            return FillOutcome::UsageError;
        }
        if (!ParseTimeOption(startText, start, err) || !ParseTimeOption(endText, end, err))
            return FillOutcome::UsageError;
        const Result<ListChange> added = session.AddSection(start, end);
        if (!added) {
            err << PrintableText("section " + startText + " " + endText + ": " +
                                 ErrorMessage(added.Failure()))
                << "\n";
            return FillOutcome::UsageError;
        }
        if (!added.Value().Limit.empty()) {
            ReportLimit(added.Value(), problems, err, SectionsAfter(options, i));
            return FillOutcome::Filled;
        }
    }
    return FillOutcome::Filled;
}

FillOutcome AddEqualParts(const ListOptions& options, SplitSession& session, int& problems,
                          std::ostream& err, const StopRequest&) {
    std::int32_t overlapMs = 0;
    if (!ParseTimeOption(options.Overlap, overlapMs, err))
        return FillOutcome::UsageError;
    const Result<ListChange> added = session.EqualParts(options.Parts, overlapMs, 1);
    if (!added) {
        err << ErrorMessage(added.Failure()) << "\n";
        return FillOutcome::UsageError;
    }
    ReportLimit(added.Value(), problems, err);
    return FillOutcome::Filled;
}

// "finding pauses  42%" on one line of a terminal.
void ShowSearchProgress(double done) {
    std::cerr << "\rfinding pauses " << std::setw(3) << static_cast<int>(done * 100) << "%"
              << std::flush;
}

FillOutcome AddPauseSections(const ListOptions& options, SplitSession& session, int& problems,
                             std::ostream& err, const StopRequest& stopRequested) {
    if (!(options.PauseMinSeconds > 0.0 && options.PauseMinSeconds < 3600.0)) {
        err << "--pause-min must be above 0 and below 3600 seconds\n";
        return FillOutcome::UsageError;
    }
    if (!std::isfinite(options.PauseDb)) {
        err << "--pause-db must be a number of dBFS\n";
        return FillOutcome::UsageError;
    }
    PauseSettings settings;
    settings.ThresholdDb = options.PauseDb;
    settings.MinMs = static_cast<std::int32_t>(std::lround(options.PauseMinSeconds * 1000.0));
    const bool shown = ::isatty(STDERR_FILENO) == 1;
    const Result<ListChange> added = session.FindPauses(settings, [&](double done) {
        if (shown)
            ShowSearchProgress(done);
        return !stopRequested();
    });
    if (shown)
        std::cerr << "\n";
    if (!added) {
        err << PrintableText(ErrorMessage(added.Failure())) << "\n";
        return FillOutcome::SourceError;
    }
    for (const std::string& warning : added.Value().Warnings)
        err << PrintableText(warning) << "\n";
    ReportLimit(added.Value(), problems, err);
    return FillOutcome::Filled;
}

} // namespace

void AddListOptions(CLI::App& command, ListOptions& options) {
    command.add_option("--cue", options.CueSheet, "Sections from a cue sheet, one per track")
        ->type_name("SHEET");
    command.add_flag("--chapters", options.Chapters,
                     "Sections from the file's chapters (ID3v2 CHAP frames), one per chapter");
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

FillOutcome FillList(const ListOptions& options, SplitSession& session, int& problems,
                     std::ostream& err, const StopRequest& stopRequested) {
    using Step =
        FillOutcome (*)(const ListOptions&, SplitSession&, int&, std::ostream&, const StopRequest&);
    // clang-format off
    const std::pair<bool, Step> steps[] = {
        {!options.CueSheet.empty(), AddCueSections},
        {options.Chapters, AddChapterSections},
        {!options.Sections.empty(), AddSections},
        {!options.Parts.empty(), AddEqualParts},
        {options.AtPauses, AddPauseSections},
    };
    // clang-format on
    for (const auto& [wanted, step] : steps) {
        if (!wanted)
            continue;
        if (const FillOutcome outcome = step(options, session, problems, err, stopRequested);
            outcome != FillOutcome::Filled)
            return outcome;
    }
    return FillOutcome::Filled;
}
