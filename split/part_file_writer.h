#pragma once

#include "core/engine_error.h"
#include "split/unnamed_file_maker.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How a part ended when it was put in place (a failure is a Write error
// whose text is the system's reason).
enum class CommitResult {
    Written,   // the part stands under its name
    NameTaken, // a file of that name appeared, and it was not to be replaced
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
    ~PartFileWriter();

    // A failure is a Write error whose text is the system's reason.
    Result<void> Create(const std::string& outPath, bool mayReplace);
    Result<void> Write(const std::uint8_t* data, std::int64_t count);
    // Writes over earlier bytes at offset; later writes go on at the end.
    Result<void> WriteAt(std::int64_t offset, const std::uint8_t* data, std::int64_t count);
    // Puts the complete file in place under the part's name.
    Result<CommitResult> Commit();
    // Drops a part that is not to be kept.
    void Discard();

private:
    Result<void> CreateNamed();
    Result<void> FlushBuffer();
    Result<CommitResult> Place();
    Result<CommitResult> PlaceUnnamed();
    Result<CommitResult> PlaceNamed();
    Result<CommitResult> LinkOverName(const std::string& procPath);

    // Kept open from part to part while they go to the same folder.
    std::string folder_;
    int folderFd_ = -1;
    std::unique_ptr<UnnamedFileMaker> maker_; // makes the parts' files in that folder
    int fd_ = -1;
    std::string fileName_; // the part's name inside the folder
    std::string tempName_; // the named temporary, empty for an unnamed file
    int cleanupSlot_ = -1;
    bool mayReplace_ = false;
    std::vector<std::uint8_t> buffer_;
};
