#include "fuzz_files.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

fs::path MakeScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "kerfline-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        FuzzFailure("cannot create a scratch folder below " + fs::temp_directory_path().string());
    return pattern;
}

void RemoveScratchFolder() {
    std::error_code ignored;
    fs::remove_all(ScratchFolder(), ignored);
}

} // namespace

const fs::path& ScratchFolder() {
    static const fs::path folder = [] {
        fs::path made = MakeScratchFolder();
        std::atexit(RemoveScratchFolder);
        return made;
    }();
    return folder;
}

void WriteBytes(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out.flush())
        FuzzFailure("cannot write " + path.string());
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::error_code error;
    const auto size = fs::file_size(path, error);
    std::vector<std::uint8_t> bytes(error ? 0 : size);
    if (!in || error ||
        !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        FuzzFailure("cannot read " + path.string());
    return bytes;
}

void EmptyFolder(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
        fs::remove_all(entry.path());
}

void FuzzFailure(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}
