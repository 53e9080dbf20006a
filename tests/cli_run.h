#pragma once

// Runs kerfline-cli (or any command line) from a shell, as a user would, and
// keeps what it printed.

#include "frame_stream.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace cli_run {

struct CliRun {
    int ExitCode = -1;
    std::string Stdout;
    std::string Stderr;
};

// The text in single quotes for the shell, its own quotes escaped.
inline std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::string Fixture(const std::string& name) {
    return std::string(KERFLINE_TEST_DATA) + "/" + name;
}

// A shell command line, its output kept in files of the scratch folder.
inline CliRun RunCommand(const std::string& command, const frame_stream::TempDir& scratch) {
    const std::filesystem::path out = scratch.Path() / "stdout.txt";
    const std::filesystem::path err = scratch.Path() / "stderr.txt";
    const int status = std::system(
        ("(" + command + ") >" + Quoted(out.string()) + " 2>" + Quoted(err.string())).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
}

// kerfline-cli with the arguments given (quoted by the caller where need be).
inline CliRun RunCli(const std::string& arguments, const frame_stream::TempDir& scratch) {
    return RunCommand(Quoted(KERFLINE_CLI) + " " + arguments, scratch);
}

} // namespace cli_run
