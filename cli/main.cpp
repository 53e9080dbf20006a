#include "cli/commands.h"

#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
    CLI::App app{"kerfline-cli: cut MPEG audio files into parts without re-encoding"};
    app.require_subcommand(1);
    int exitCode = 0;
    RegisterInfoCommand(app, exitCode);
    RegisterSplitCommand(app, exitCode);
    RegisterCueCommand(app, exitCode);
    CLI11_PARSE(app, argc, argv);
    return exitCode;
}
