#include "split/part_file_writer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

constexpr int kNameAttempts = 100;
constexpr std::size_t kWriteBuffer = 1 << 16;

std::string FolderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

std::string RandomSuffix(std::mt19937_64& generator) {
    static const char kDigits[] = "0123456789abcdef";
    std::string suffix;
    std::uint64_t bits = generator();
    for (int i = 0; i < 12; ++i, bits >>= 4)
        suffix += kDigits[bits & 15];
    return suffix;
}

std::string SystemReason() {
    return std::strerror(errno);
}

} // namespace

bool PartFileWriter::Create(const std::string& outPath, std::string& error) {
    Discard();
    outPath_ = outPath;
    std::mt19937_64 generator{std::random_device{}()};
    const std::string folder = FolderOf(outPath);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = folder + "/.kerfline-" + RandomSuffix(generator) + ".tmp";
        // "x": created new, never an existing file; 0666 less the umask.
        file_.reset(std::fopen(candidate.c_str(), "wbx"));
        if (file_) {
            tempPath_ = candidate;
            std::setvbuf(file_.get(), nullptr, _IOFBF, kWriteBuffer);
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    error = SystemReason();
    return false;
}

bool PartFileWriter::Write(const std::uint8_t* data, std::int64_t count, std::string& error) {
    if (count <= 0)
        return true;
    if (std::fwrite(data, 1, static_cast<std::size_t>(count), file_.get()) !=
        static_cast<std::size_t>(count)) {
        error = SystemReason();
        return false;
    }
    return true;
}

bool PartFileWriter::WriteAt(std::int64_t offset, const std::uint8_t* data, std::int64_t count,
                             std::string& error) {
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
        !Write(data, count, error) || std::fseek(file_.get(), 0, SEEK_END) != 0) {
        error = SystemReason();
        return false;
    }
    return true;
}

bool PartFileWriter::Commit(std::string& error) {
    std::FILE* file = file_.release();
    if (file == nullptr || std::fclose(file) != 0) {
        error = SystemReason();
        Discard();
        return false;
    }
    if (std::rename(tempPath_.c_str(), outPath_.c_str()) != 0) {
        error = SystemReason();
        Discard();
        return false;
    }
    tempPath_.clear();
    return true;
}

void PartFileWriter::Discard() {
    file_.reset();
    if (!tempPath_.empty()) {
        std::remove(tempPath_.c_str());
        tempPath_.clear();
    }
}
