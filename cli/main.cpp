#include "cli/commands.h"
#include "kerfline_version.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    CLI::App app{"kerfline-cli: cut MPEG audio files into parts without re-encoding"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("kerfline-cli ") + KerflineVersion);
    int exitCode = 0;
    RegisterInfoCommand(app, exitCode);
    RegisterSplitCommand(app, exitCode);
    RegisterCueCommand(app, exitCode);
    RegisterChaptersCommand(app, exitCode);
    RegisterJoinCommand(app, exitCode);
    RegisterVerifyCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // CLI11 prints the message (or the help, which is no error).
        return app.exit(e) == 0 ? 0 : kUsageExitCode;
    }
    // What a command printed must have arrived: a full disk behind a redirection is a failure.
    errno = 0;
    if (!std::cout.flush()) {
        std::cerr << "kerfline-cli: the output could not be written"
                  << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string())
                  << "\n";
        return std::max(exitCode, 1);
    }
    return exitCode;
}
