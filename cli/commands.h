#pragma once

#include <CLI/CLI.hpp>

// Each registers its subcommand; its callback runs the command and stores
// the process exit code.
void RegisterInfoCommand(CLI::App& app, int& exitCode);
void RegisterSplitCommand(CLI::App& app, int& exitCode);
void RegisterCueCommand(CLI::App& app, int& exitCode);
