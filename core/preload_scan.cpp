#include "core/preload_scan.h"

#include "core/audio_info.h"
#include "core/frame_rule.h"
#include "core/source_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

static_assert(sizeof(long) >= 8, "std::fseek and std::ftell must reach 64-bit offsets");

constexpr std::size_t kBlockSize = 1 << 20;
constexpr std::int64_t kHeaderBytes = 4;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Sequential reader over large blocks. Frames are walked in the buffer; only
// the few bytes of a header that straddles two blocks are read twice.
class BlockReader {
public:
    BlockReader(std::FILE* file, const std::string& path) : file_(file), path_(path) {}

    // Small files need no block of the full size.
    void Reserve(std::int64_t fileSize) {
        const auto wanted = static_cast<std::uint64_t>(std::max<std::int64_t>(fileSize, 0));
        buffer_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, kBlockSize)) +
                       kHeaderBytes);
    }

    // Loads a block that holds at least the 4 header bytes at position.
    void LoadFrom(std::int64_t position) {
        const std::int64_t end = bufferStart_ + bufferLength_;
        if (position >= bufferStart_ && position < end) {
            const std::int64_t kept = end - position;
            std::memmove(buffer_.data(), buffer_.data() + (position - bufferStart_), kept);
            bufferLength_ = kept;
        } else {
            if (position != end && std::fseek(file_, position, SEEK_SET) != 0)
                Fail(std::strerror(errno));
            bufferLength_ = 0;
        }
        bufferStart_ = position;
        const std::size_t wanted = buffer_.size() - bufferLength_;
        const std::size_t got = std::fread(buffer_.data() + bufferLength_, 1, wanted, file_);
        if (got < wanted && std::ferror(file_))
            Fail(std::strerror(errno));
        bufferLength_ += got;
        if (bufferLength_ < kHeaderBytes)
            Fail("the file ended before the last frame header");
    }

    const std::uint8_t* Data() const { return buffer_.data(); }
    std::int64_t Start() const { return bufferStart_; }
    std::int64_t End() const { return bufferStart_ + bufferLength_; }

    [[noreturn]] void Fail(const std::string& reason) const {
        throw ScanError(path_ + ": " + reason);
    }

private:
    std::FILE* file_;
    const std::string& path_;
    std::vector<std::uint8_t> buffer_;
    std::int64_t bufferStart_ = 0;
    std::int64_t bufferLength_ = 0;
};

std::int64_t SizeOf(std::FILE* file, const BlockReader& reader) {
    if (std::fseek(file, 0, SEEK_END) != 0)
        reader.Fail(std::strerror(errno));
    const long size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0)
        reader.Fail(std::strerror(errno));
    return size;
}

// A frame starts only at a 0xFF: from position (which holds none) the walk
// would reject byte after byte up to the next one. Returns that position, the
// end of the loaded block, or the one after lastTried, whichever comes first.
std::int64_t NextPossibleFrame(const BlockReader& reader, std::int64_t position,
                               std::int64_t lastTried) {
    const std::int64_t stop = std::min(reader.End(), std::max(position, lastTried) + 1);
    const std::uint8_t* from = reader.Data() + (position - reader.Start());
    const void* found = std::memchr(from, 0xFF, static_cast<std::size_t>(stop - position));
    return found == nullptr ? stop : position + (static_cast<const std::uint8_t*>(found) - from);
}

} // namespace

ScanSource ScanSource::From(const std::string& path, const TAudioInfo& info) {
    ScanSource source;
    source.Path = path;
    source.FirstFrameOffset = info.FirstFrameOffset;
    source.HasInfoFrame = info.HasInfoFrame;
    source.VersionId = info.Header.VersionId;
    source.Layer = info.Header.Layer();
    source.FrameBytes = info.Header.FrameBytes;
    return source;
}

ScanResult PreloadScan(const ScanSource& source, const ScanProgress& progress) {
    return PreloadScan(source, progress, {}, kHeaderBytes);
}

ScanResult PreloadScan(const ScanSource& source, const ScanProgress& progress,
                       const FrameVisitor& visitor, std::size_t lookAhead) {
    std::string reason;
    const int fd = OpenSourceFile(source.Path, reason);
    if (fd < 0)
        throw ScanError(source.Path + ": " + reason);
    FileHandle file(::fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
        throw ScanError(source.Path + ": " + std::strerror(errno));
    }
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    BlockReader reader(file.get(), source.Path);
    const std::int64_t size = SizeOf(file.get(), reader);
    reader.Reserve(size);
    if (source.FirstFrameOffset < 0 || source.FirstFrameOffset > size)
        reader.Fail("the first frame lies outside the file");
    const std::int64_t maximum = size - source.FirstFrameOffset - 128;
    // The walk goes on while a first frame's length of bytes remains; at
    // least a header's worth, so a zero or negative length cannot loop on.
    const std::int64_t minimumRemaining = std::max<std::int64_t>(source.FrameBytes, kHeaderBytes);

    const auto wanted = std::max(static_cast<std::int64_t>(lookAhead), kHeaderBytes);

    ScanResult result;
    std::int64_t position = source.FirstFrameOffset;
    do {
        // A visitor's bytes past the header are loaded too, where the file holds them.
        const bool cut = position + kHeaderBytes > reader.End() ||
                         (position + wanted > reader.End() && reader.End() < size);
        if (cut || position < reader.Start()) {
            reader.LoadFrom(position);
            if (progress)
                progress(position, maximum);
        }
        const std::uint8_t* header = reader.Data() + (position - reader.Start());
        if (header[0] != 0xFF) {
            const std::int64_t next = NextPossibleFrame(reader, position, size - minimumRemaining);
            result.ErrorCount += next - position;
            position = next;
            continue;
        }
        const FrameCandidate frame = EvaluateFrame(header, source.VersionId, source.Layer);
        if (frame.Accepted) {
            if (visitor) {
                const auto held = std::min(wanted, reader.End() - position);
                if (!visitor(position, {header, static_cast<std::size_t>(held)}))
                    break;
            }
            position += frame.Length;
            result.DurationMsExact =
                AddFrameDuration(result.DurationMsExact, frame.Length, frame.BitrateBps);
            ++result.FrameCount;
        } else {
            ++position;
            ++result.ErrorCount;
        }
    } while (size - position >= minimumRemaining);

    if (source.HasInfoFrame)
        --result.FrameCount;
    if (progress)
        progress(position, maximum);
    return result;
}
