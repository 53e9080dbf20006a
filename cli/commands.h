#pragma once

// A command line that cannot be carried out as written; other failures exit with 1.
inline constexpr int kUsageExitCode = 2;

#include <CLI/CLI.hpp>

// Each registers its subcommand; its callback runs the command and stores
// the process exit code.
void RegisterInfoCommand(CLI::App& app, int& exitCode);
void RegisterSplitCommand(CLI::App& app, int& exitCode);
void RegisterCueCommand(CLI::App& app, int& exitCode);
void RegisterChaptersCommand(CLI::App& app, int& exitCode);
void RegisterJoinCommand(CLI::App& app, int& exitCode);
void RegisterVerifyCommand(CLI::App& app, int& exitCode);
