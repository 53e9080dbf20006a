#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A private folder for one fuzzing process, below TMPDIR, removed at exit.
// Inputs that need a real file are written here.
const std::filesystem::path& ScratchFolder();

void WriteBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path);

// Removes everything inside the folder, keeping the folder.
void EmptyFolder(const std::filesystem::path& folder);

// Stops the run with a message: libFuzzer keeps the input as a crash.
[[noreturn]] void FuzzFailure(const std::string& what);
