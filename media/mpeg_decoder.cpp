#include "media/mpeg_decoder.h"

#include <mpg123.h>

struct MpegDecoder::Handle {
    mpg123_handle* Mh = nullptr;
    ~Handle() { mpg123_delete(Mh); }
};

namespace {

// Every rate the library knows, 16-bit, mono or stereo: the source decides.
void AcceptSixteenBitAtEveryRate(mpg123_handle* mh) {
    mpg123_format_none(mh);
    const long* rates = nullptr;
    std::size_t count = 0;
    mpg123_rates(&rates, &count);
    for (std::size_t i = 0; i < count; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
}

} // namespace

MpegDecoder::MpegDecoder() {
    int err = MPG123_OK;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (mh == nullptr) {
        error_ = mpg123_plain_strerror(err);
        return;
    }
    handle_ = std::make_unique<Handle>();
    handle_->Mh = mh;
    // Quiet: a damaged frame is the caller's business, not stderr's. No gapless
    // trimming and no resampling: a frame's samples are exactly the frame's.
    mpg123_param(mh, MPG123_FLAGS, MPG123_QUIET, 0.0);
    mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    // Past damage of any length: the frames after it are still the file's.
    mpg123_param(mh, MPG123_RESYNC_LIMIT, -1, 0.0);
    AcceptSixteenBitAtEveryRate(mh);
    Restart();
}

MpegDecoder::~MpegDecoder() = default;

void MpegDecoder::Restart() {
    if (!handle_)
        return;
    mpg123_close(handle_->Mh);
    if (mpg123_open_feed(handle_->Mh) != MPG123_OK)
        error_ = mpg123_strerror(handle_->Mh);
    nextIndex_ = 0;
    rate_ = 0;
    channels_ = 0;
}

void MpegDecoder::Feed(std::span<const std::uint8_t> bytes) {
    if (!handle_ || bytes.empty())
        return;
    mpg123_feed(handle_->Mh, bytes.data(), bytes.size());
}

std::optional<DecodedFrame> MpegDecoder::NextFrame() {
    if (!handle_)
        return std::nullopt;
    for (;;) {
        off_t number = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        const int rc = mpg123_decode_frame(handle_->Mh, &number, &audio, &bytes);
        if (rc == MPG123_NEW_FORMAT) {
            TakeFormat();
            continue;
        }
        if (rc != MPG123_OK)
            return std::nullopt; // needs more bytes, or the stream ended
        mpg123_frameinfo info{};
        mpg123_info(handle_->Mh, &info);
        DecodedFrame frame;
        frame.StreamOffset = mpg123_framepos(handle_->Mh);
        frame.StreamBytes = info.framesize;
        frame.Samples = {reinterpret_cast<const std::int16_t*>(audio),
                         bytes / sizeof(std::int16_t)};
        frame.SampleRateHz = rate_;
        frame.Channels = channels_;
        frame.Index = nextIndex_++;
        return frame;
    }
}

void MpegDecoder::TakeFormat() {
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    mpg123_getformat(handle_->Mh, &rate, &channels, &encoding);
    rate_ = static_cast<std::int32_t>(rate);
    channels_ = channels;
}

std::optional<ReadFrame> MpegDecoder::Read() {
    if (!handle_)
        return std::nullopt;
    const int rc = mpg123_framebyframe_next(handle_->Mh);
    if (rc == MPG123_NEW_FORMAT)
        TakeFormat(); // the frame that brings the format is ready too
    else if (rc != MPG123_OK)
        return std::nullopt;
    unsigned long header = 0;
    unsigned char* body = nullptr;
    std::size_t bodyBytes = 0;
    if (mpg123_framedata(handle_->Mh, &header, &body, &bodyBytes) != MPG123_OK)
        return std::nullopt;
    mpg123_frameinfo info{};
    mpg123_info(handle_->Mh, &info);
    ReadFrame frame;
    frame.Header = static_cast<std::uint32_t>(header);
    frame.Body = {body, bodyBytes};
    frame.SampleFrames = mpg123_spf(handle_->Mh);
    frame.Layer = info.layer;
    frame.SampleRateHz = static_cast<std::int32_t>(info.rate);
    frame.StreamOffset = mpg123_framepos(handle_->Mh);
    frame.StreamBytes = info.framesize;
    return frame;
}

std::optional<DecodedFrame> MpegDecoder::DecodeRead() {
    if (!handle_)
        return std::nullopt;
    off_t number = 0;
    unsigned char* audio = nullptr;
    std::size_t bytes = 0;
    if (mpg123_framebyframe_decode(handle_->Mh, &number, &audio, &bytes) != MPG123_OK)
        return std::nullopt;
    // A restarted decoder whose format did not change is not told it again.
    if (channels_ <= 0)
        TakeFormat();
    DecodedFrame frame;
    frame.Samples = {reinterpret_cast<const std::int16_t*>(audio), bytes / sizeof(std::int16_t)};
    frame.SampleRateHz = rate_;
    frame.Channels = channels_;
    frame.Index = nextIndex_++;
    return frame;
}
