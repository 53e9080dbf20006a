#pragma once

// Builders for synthetic MPEG audio streams: frames of given header bytes and
// length, information frames, junk, ID3v2 and ID3v1 blocks, and temporary files.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace frame_stream {

using Bytes = std::vector<std::uint8_t>;
using Header = std::array<std::uint8_t, 4>;

// MPEG 1 Layer III, 128 kbit/s, 44100 Hz, joint stereo: 417 bytes, 418 padded.
constexpr Header kMpeg1Cbr128{0xFF, 0xFB, 0x90, 0x64};
constexpr Header kMpeg1Cbr128Padded{0xFF, 0xFB, 0x92, 0x64};
// The same as mono (channel mode 3).
constexpr Header kMpeg1Cbr128Mono{0xFF, 0xFB, 0x90, 0xC4};
// MPEG 2 Layer III, 64 kbit/s, 22050 Hz, joint stereo: 208 bytes.
constexpr Header kMpeg2Cbr64{0xFF, 0xF3, 0x80, 0x64};
// MPEG 2 Layer III, 64 kbit/s, 22050 Hz, mono: 208 bytes.
constexpr Header kMpeg2Cbr64Mono{0xFF, 0xF3, 0x80, 0xC4};

// Filler for frame bodies and junk: never part of a sync pattern.
constexpr std::uint8_t kFill = 0x55;

inline void AppendFrame(Bytes& out, const Header& header, std::int32_t length,
                        std::uint8_t fill = kFill) {
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length), fill);
    for (std::size_t i = 0; i < header.size() && i < static_cast<std::size_t>(length); ++i)
        out[start + i] = header[i];
}

inline void AppendFrames(Bytes& out, const Header& header, std::int32_t length, int count,
                         std::uint8_t fill = kFill) {
    for (int i = 0; i < count; ++i)
        AppendFrame(out, header, length, fill);
}

inline Bytes Frames(const Header& header, std::int32_t length, int count) {
    Bytes out;
    AppendFrames(out, header, length, count);
    return out;
}

// A frame whose marker ("Xing" or "Info") stands markerOffset bytes after the
// frame start, followed by the big-endian flags and, when given, the frame count.
inline void AppendInformationFrame(Bytes& out, const Header& header, std::int32_t length,
                                   std::int32_t markerOffset, std::string_view marker,
                                   std::optional<std::uint32_t> frameCount) {
    const std::size_t start = out.size();
    AppendFrame(out, header, length, 0x00);
    std::uint8_t* at = out.data() + start + markerOffset;
    for (std::size_t i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(marker[i]);
    at[4] = at[5] = at[6] = 0;
    at[7] = frameCount ? 0x0F : 0x0E;
    const std::uint32_t n = frameCount.value_or(0);
    at[8] = static_cast<std::uint8_t>(n >> 24);
    at[9] = static_cast<std::uint8_t>(n >> 16);
    at[10] = static_cast<std::uint8_t>(n >> 8);
    at[11] = static_cast<std::uint8_t>(n);
}

inline void AppendJunk(Bytes& out, std::size_t count, std::uint8_t byte = kFill) {
    out.insert(out.end(), count, byte);
}

// An ID3v2.3 tag with a body of bodySize bytes (filled with bodyByte) and, when
// asked, a footer; the size field is synchsafe.
inline Bytes Id3v2Block(std::uint32_t bodySize, bool footer = false, std::uint8_t bodyByte = 0x00) {
    Bytes out{'I',
              'D',
              '3',
              3,
              0,
              static_cast<std::uint8_t>(footer ? 0x10 : 0x00),
              static_cast<std::uint8_t>((bodySize >> 21) & 0x7F),
              static_cast<std::uint8_t>((bodySize >> 14) & 0x7F),
              static_cast<std::uint8_t>((bodySize >> 7) & 0x7F),
              static_cast<std::uint8_t>(bodySize & 0x7F)};
    out.insert(out.end(), bodySize, bodyByte);
    if (footer) {
        Bytes tail(out.begin(), out.begin() + 10);
        tail[0] = '3';
        tail[1] = 'D';
        tail[2] = 'I';
        out.insert(out.end(), tail.begin(), tail.end());
    }
    return out;
}

inline void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

// A 128-byte ID3v1 block; texts longer than their field are cut.
inline Bytes Id3v1Block(std::string_view title, std::string_view artist = {},
                        std::string_view album = {}, std::string_view year = {},
                        std::string_view comment = {}, std::uint8_t genre = 12,
                        std::optional<std::uint8_t> track = std::nullopt) {
    Bytes out(128, 0);
    out[0] = 'T';
    out[1] = 'A';
    out[2] = 'G';
    const auto put = [&out](std::size_t offset, std::size_t width, std::string_view text) {
        for (std::size_t i = 0; i < width && i < text.size(); ++i)
            out[offset + i] = static_cast<std::uint8_t>(text[i]);
    };
    put(3, 30, title);
    put(33, 30, artist);
    put(63, 30, album);
    put(93, 4, year);
    put(97, track ? 28 : 30, comment);
    if (track) {
        out[125] = 0;
        out[126] = *track;
    }
    out[127] = genre;
    return out;
}

// A folder of its own under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("kerfline-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return file.string();
    }

private:
    std::filesystem::path path_;
};

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace frame_stream
