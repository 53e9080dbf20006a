#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// Writes one part file through a temporary file in the target folder and puts
// it in place only when it is complete, so a part that fails leaves no file
// behind and an existing file of that name untouched. The file gets the
// permissions of any new file (0666 less the umask).
class PartFileWriter {
public:
    PartFileWriter() = default;
    PartFileWriter(const PartFileWriter&) = delete;
    PartFileWriter& operator=(const PartFileWriter&) = delete;
    ~PartFileWriter() { Discard(); }

    // On failure error holds the system's reason.
    bool Create(const std::string& outPath, std::string& error);
    bool Write(const std::uint8_t* data, std::int64_t count, std::string& error);
    // Writes over earlier bytes at offset, then goes on at the end.
    bool WriteAt(std::int64_t offset, const std::uint8_t* data, std::int64_t count,
                 std::string& error);
    // Closes the temporary file and renames it over the part's path.
    bool Commit(std::string& error);
    // Removes the temporary file of a part that is not to be kept.
    void Discard();

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::unique_ptr<std::FILE, Closer> file_;
    std::string outPath_;
    std::string tempPath_;
};
