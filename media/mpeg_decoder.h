#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

// One decoded MPEG frame: interleaved signed 16-bit samples, valid until the
// next call into the decoder that produced it.
struct DecodedFrame {
    std::span<const std::int16_t> Samples;
    std::int32_t SampleRateHz = 0;
    std::int32_t Channels = 0;
    std::int64_t Index = 0; // frames decoded since the last Restart, from 0
    // Where the frame lies among the bytes fed since the last Restart: the
    // decoder passes over bytes it cannot decode, so frames need not meet.
    std::int64_t StreamOffset = 0;
    std::int32_t StreamBytes = 0;
};

// One frame found among the bytes fed but not decoded yet.
struct ReadFrame {
    std::uint32_t Header = 0;           // the four header bytes, big-endian
    std::span<const std::uint8_t> Body; // the bytes after them, valid until the frame is decoded
    std::int32_t SampleFrames = 0;      // samples per channel it decodes to
    std::int32_t Layer = 0;             // 1, 2 or 3
    std::int32_t SampleRateHz = 0;
    std::int64_t StreamOffset = 0; // as in DecodedFrame
    std::int32_t StreamBytes = 0;
};

// Decodes MPEG audio with libmpg123, fed with bytes the caller chooses, so the
// caller decides exactly which frames are heard (the player feeds the frames a
// part would hold; the pause finder and the overview feed stretches of the file).
// Every frame gives all its samples: no gapless trimming, so sample counts
// stay those of the frames. The source's rate and channel count are kept.
class MpegDecoder {
public:
    MpegDecoder();
    ~MpegDecoder();
    MpegDecoder(const MpegDecoder&) = delete;
    MpegDecoder& operator=(const MpegDecoder&) = delete;

    // Empty when the library could not make a decoder; the reason is ErrorText().
    bool Ready() const { return handle_ != nullptr; }
    const std::string& ErrorText() const { return error_; }

    // Forgets every byte fed and every frame decoded: the next byte fed starts a new stream.
    void Restart();
    void Feed(std::span<const std::uint8_t> bytes);
    // The next whole frame among the bytes fed so far, or nothing until more are fed.
    std::optional<DecodedFrame> NextFrame();

    // Frame by frame, for a caller that decodes only some frames: Read finds
    // the next frame (in the library's own framing, so damage is passed over
    // as decoding would) and DecodeRead decodes the frame Read found. The
    // decoder's state follows only the frames decoded.
    std::optional<ReadFrame> Read();
    std::optional<DecodedFrame> DecodeRead();

private:
    void TakeFormat();

    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::string error_;
    std::int64_t nextIndex_ = 0;
    std::int32_t rate_ = 0;
    std::int32_t channels_ = 0;
};
