#include "cli/commands.h"

#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
    CLI::App app{"kerfline-cli: cut MPEG audio files into parts without re-encoding"};
    app.require_subcommand(1);
    int exitCode = 0;
    RegisterInfoCommand(app, exitCode);
    RegisterSplitCommand(app, exitCode);
    RegisterCueCommand(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // CLI11 prints the message (or the help, which is no error).
        return app.exit(e) == 0 ? 0 : kUsageExitCode;
    }
    return exitCode;
}
