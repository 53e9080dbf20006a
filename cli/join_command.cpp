#include "cli/commands.h"
#include "cli/text_encoding.h"
#include "session/join_session.h"
#include "split/partial_files.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

std::atomic<bool> gJoinStopped{false};

int RunJoin(const JoinRequest& request) {
    gJoinStopped = false;
    const SignalHandler previous = StopAtFirstInterrupt(gJoinStopped);
    const Result<JoinReport> joined =
        JoinSession::Run(request, {{}, [] { return gJoinStopped.load(); }});
    std::signal(SIGINT, previous);
    if (joined)
        return 0;
    std::cerr << PrintableText(ErrorMessage(joined.Failure()))
              << (JoinSession::TargetExists(joined.Failure()) ? " (see --overwrite)" : "") << "\n";
    return 1;
}

} // namespace

void RegisterJoinCommand(CLI::App& app, int& exitCode) {
    auto request = std::make_shared<JoinRequest>();
    CLI::App* join = app.add_subcommand(
        "join", "Join MP3 files of one format into one file, frame by frame, without re-encoding");
    join->add_option("FILE", request->Files, "The files to join, in order")->required();
    join->add_option("-o,--out", request->OutPath, "The joined file")
        ->type_name("FILE")
        ->required();
    join->add_flag("--overwrite", request->Overwrite, "Replace an existing file");
    join->callback([request, &exitCode] { exitCode = RunJoin(*request); });
}
