#include "cli/commands.h"
#include "cli/list_options.h"
#include "cli/open_source.h"
#include "core/text_encoding.h"
#include "split/cue_writer.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>

namespace {

struct CueOptions {
    std::string File;
    ListOptions List;
    bool Preload = false;
};

std::atomic<bool> gStopRequested{false};

extern "C" void StopPlanning(int) {
    gStopRequested = true;
    std::signal(SIGINT, SIG_DFL);
}

int RunCue(const CueOptions& options) {
    if (options.List.Empty()) {
        std::cerr << "nothing to plan: give --cue SHEET, --section START END, --parts N or "
                     "--at-pauses\n";
        return kUsageExitCode;
    }
    const std::optional<SourceSession> opened =
        OpenSourceOrReport(options.File, options.Preload, std::cerr);
    if (!opened)
        return 1;
    const SourceSession& source = *opened;
    SplitList list;
    int problems = 0;
    gStopRequested = false;
    const auto previous = std::signal(SIGINT, StopPlanning);
    const FillOutcome outcome = FillList(options.List, source, list, problems, std::cerr,
                                         [] { return gStopRequested.load(); });
    std::signal(SIGINT, previous);
    if (outcome != FillOutcome::Filled)
        return outcome == FillOutcome::UsageError ? kUsageExitCode : 1;
    std::string error;
    const CueExport sheet =
        ExportCueSheet(list.Entries(), ScanSource::From(options.File, source.Info),
                       static_cast<std::int32_t>(source.State.DurationMs), error);
    if (!error.empty()) {
        std::cerr << PrintableText(options.File + ": " + error) << "\n";
        return 1;
    }
    for (const std::string& warning : sheet.Warnings)
        std::cerr << PrintableText(options.File + ": warning: " + warning) << "\n";
    std::cout << sheet.Text;
    return problems == 0 ? 0 : 1;
}

} // namespace

void RegisterCueCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CueOptions>();
    CLI::App* cue = app.add_subcommand(
        "cue", "Print the sections a split would write as a cue sheet, without writing parts");
    cue->add_option("FILE", options->File, "The MP3 file")->required();
    AddListOptions(*cue, options->List);
    cue->add_flag("--preload", options->Preload,
                  "Walk every frame first, so the last section ends at the exact length");
    cue->callback([options, &exitCode] { exitCode = RunCue(*options); });
}
