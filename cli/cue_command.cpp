#include "cli/commands.h"
#include "cli/list_options.h"
#include "cli/open_source.h"
#include "core/text_encoding.h"

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
        std::cerr << "nothing to plan: " << kListOptionsHint << "\n";
        return kUsageExitCode;
    }
    SplitSession session;
    if (!OpenOrReport(session, options.File, options.Preload, std::cerr))
        return 1;
    int problems = 0;
    gStopRequested = false;
    const auto previous = std::signal(SIGINT, StopPlanning);
    const FillOutcome outcome =
        FillList(options.List, session, problems, std::cerr, [] { return gStopRequested.load(); });
    std::signal(SIGINT, previous);
    if (outcome != FillOutcome::Filled)
        return outcome == FillOutcome::UsageError ? kUsageExitCode : 1;
    const Result<CueExport> sheet = session.ExportCue();
    if (!sheet) {
        std::cerr << PrintableText(ErrorMessage(sheet.Failure())) << "\n";
        return 1;
    }
    for (const std::string& warning : sheet.Value().Warnings)
        std::cerr << PrintableText(options.File + ": warning: " + warning) << "\n";
    std::cout << sheet.Value().Text;
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
