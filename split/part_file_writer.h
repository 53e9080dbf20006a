#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How a part ended when it was to be put in place.
enum class CommitResult {
    Written,   // the part stands under its name
    NameTaken, // a file of that name appeared, and it was not to be replaced
    Failed,    // the system's reason is in the error text
};

// Writes one part file so that nothing partial is ever visible under any name
// the user sees: into an unnamed file of the target folder, linked under the
// part's name only when complete. Where the file system has no unnamed files,
// a hidden temporary takes its place, which a signal that ends the program
// removes. Without leave to replace, an existing file is never replaced, not
// even one that appears while the part is written. The file gets the
// permissions of any new file (0666 less the umask).
class PartFileWriter {
public:
    PartFileWriter() = default;
    PartFileWriter(const PartFileWriter&) = delete;
    PartFileWriter& operator=(const PartFileWriter&) = delete;
    ~PartFileWriter() { Discard(); }

    // On failure error holds the system's reason.
    bool Create(const std::string& outPath, bool mayReplace, std::string& error);
    bool Write(const std::uint8_t* data, std::int64_t count, std::string& error);
    // Writes over earlier bytes at offset; later writes go on at the end.
    bool WriteAt(std::int64_t offset, const std::uint8_t* data, std::int64_t count,
                 std::string& error);
    // Puts the complete file in place under the part's name.
    CommitResult Commit(std::string& error);
    // Drops a part that is not to be kept.
    void Discard();

private:
    bool CreateNamed(std::string& error);
    bool FlushBuffer(std::string& error);
    CommitResult PlaceUnnamed(std::string& error);
    CommitResult PlaceNamed(std::string& error);
    CommitResult LinkOverName(const std::string& procPath, std::string& error);

    int folderFd_ = -1;
    int fd_ = -1;
    std::string fileName_; // the part's name inside the folder
    std::string tempName_; // the named temporary, empty for an unnamed file
    int cleanupSlot_ = -1;
    bool mayReplace_ = false;
    std::vector<std::uint8_t> buffer_;
};
