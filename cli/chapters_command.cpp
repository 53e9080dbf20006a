#include "cli/commands.h"
#include "cli/list_options.h"
#include "cli/open_source.h"
#include "core/text_encoding.h"
#include "split/partial_files.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <iomanip>
#include <iostream>
#include <memory>
#include <unistd.h>

namespace {

struct ChaptersOptions {
    std::string File;
    ListOptions List;
    std::string OutPath;
    bool Overwrite = false;
    bool Preload = false;
};

std::atomic<bool> gChaptersStopped{false};

// "writing  42%" on one line of a terminal.
void ShowProgress(std::int64_t done, std::int64_t total) {
    std::cerr << "\rwriting " << std::setw(3) << (total > 0 ? done * 100 / total : 100) << "%"
              << std::flush;
}

int WriteChapters(const SplitSession& session, const ChaptersOptions& options) {
    const Result<ChapterFileRequest> request =
        session.ChapterFile(options.OutPath, options.Overwrite);
    if (!request) {
        std::cerr << PrintableText(options.File + ": " + ErrorMessage(request.Failure())) << "\n";
        return 1;
    }
    const bool shown = ::isatty(STDERR_FILENO) == 1;
    ChapterFileCallbacks callbacks;
    if (shown)
        callbacks.Progress = ShowProgress;
    callbacks.StopRequested = [] { return gChaptersStopped.load(); };
    const Result<ChapterFileReport> written =
        SplitSession::WriteChapters(request.Value(), callbacks);
    if (shown)
        std::cerr << "\n";
    if (!written) {
        std::cerr << PrintableText(ErrorMessage(written.Failure()))
                  << (SplitSession::ChapterTargetExists(written.Failure()) ? " (see --overwrite)"
                                                                           : "")
                  << "\n";
        return 1;
    }
    const std::int32_t count = written.Value().Chapters;
    std::cout << PrintableText(options.OutPath) << ": " << count
              << (count == 1 ? " chapter" : " chapters") << " written\n";
    return 0;
}

int RunChapters(const ChaptersOptions& options) {
    if (options.List.Empty()) {
        std::cerr << "no chapters to write: " << kListOptionsHint << "\n";
        return kUsageExitCode;
    }
    SplitSession session;
    if (!OpenOrReport(session, options.File, options.Preload, std::cerr))
        return 1;
    int problems = 0;
    gChaptersStopped = false;
    const SignalHandler previous = StopAtFirstInterrupt(gChaptersStopped);
    const FillOutcome filled = FillList(options.List, session, problems, std::cerr,
                                        [] { return gChaptersStopped.load(); });
    int exitCode = filled == FillOutcome::UsageError ? kUsageExitCode : 1;
    if (filled == FillOutcome::Filled)
        exitCode = std::max(WriteChapters(session, options), problems == 0 ? 0 : 1);
    std::signal(SIGINT, previous);
    return exitCode;
}

} // namespace

void RegisterChaptersCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ChaptersOptions>();
    CLI::App* chapters = app.add_subcommand(
        "chapters", "Write the sections as the chapters of one file: the source's audio as it "
                    "stands, with an ID3v2 tag marking them");
    chapters->add_option("FILE", options->File, "The MP3 file")->required();
    AddListOptions(*chapters, options->List);
    chapters->add_option("-o,--out", options->OutPath, "The file with the chapters")
        ->type_name("FILE")
        ->required();
    chapters->add_flag("--overwrite", options->Overwrite, "Replace an existing file");
    chapters->add_flag("--preload", options->Preload,
                       "Walk every frame first, so the last section ends at the exact length");
    chapters->callback([options, &exitCode] { exitCode = RunChapters(*options); });
}
