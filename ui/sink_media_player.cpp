#include "ui/sink_media_player.h"

#include "core/audio_info.h"
#include "media/preview_feed.h"
#include "state/session_state.h"
#include "ui/clock_media_player.h"
#include "ui/sound_server_retry.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>
#include <cmath>

namespace {

// The sink may report a little less than it was given once it has played it all.
constexpr qint64 EndSlackUs = 2000;

} // namespace

SinkMediaPlayer::SinkMediaPlayer(QObject* parent) : QObject(parent) {
    SoundServerRetry::Watch();
    pump_.setInterval(PumpMs);
    connect(&pump_, &QTimer::timeout, this, &SinkMediaPlayer::Pump);
}

SinkMediaPlayer::~SinkMediaPlayer() {
    Close();
}

void SinkMediaPlayer::Open(const SourceSession& session) {
    Close();
    const TAudioInfo& info = session.Info;
    if (session.State.DurationMs <= 0 || info.Header.SampleRate <= 0)
        throw MediaPlayerError(ClockMediaPlayer::RefusedText);
    format_.setSampleRate(info.Header.SampleRate);
    format_.setChannelCount(info.Header.ChannelMode() == 3 ? 1 : 2);
    format_.setSampleFormat(QAudioFormat::Int16);
    // Sound that arrives on the decoding thread starts the sink on this one.
    auto feed =
        std::make_unique<PreviewFeed>(session.Walk, format_.bytesForDuration(1000000), [this] {
            QMetaObject::invokeMethod(this, &SinkMediaPlayer::StartSink, Qt::QueuedConnection);
        });
    if (const Result<void> ready = feed->Ready(); !ready)
        throw MediaPlayerError(ErrorMessage(ready.Failure()));
    feed_ = std::move(feed);
    feed_->SetExactCuts(exactCuts_);
    length_ = session.State.DurationMs;
    position_ = 0;
    mode_ = Mode::Stopped;
}

void SinkMediaPlayer::Close() {
    silent_.reset();
    StopSink();
    feed_.reset();
    length_ = 0;
    position_ = 0;
    mode_ = Mode::NotReady;
}

// Whole ms above the window's length in ms: Koef is then at least 1 by less
// than a unit over the whole source, and trunc(ms * Koef) gives the ms back.
void SinkMediaPlayer::MatchLength(double durationMsExact) {
    if (IsOpen() && durationMsExact > 0)
        length_ = static_cast<std::int64_t>(std::ceil(durationMsExact));
}

// A run's sound starts once the first of it is decoded, so the sink never
// begins on an empty feed. Every run has a sink of its own: one sink started
// and stopped many times over (a drag of the slider) falls behind.
void SinkMediaPlayer::StartSink() {
    // A player fallen silent stays so until the next Play.
    if (mode_ != Mode::Playing || sink_ || silent_)
        return;
    OpenSink();
    // A sink that fails at once has no connection to the server: one made
    // again finds a server that has come back.
    if (sink_->error() == QAudio::FatalError && SoundServerRetry::TryAgain()) {
        StopSink();
        OpenSink();
    }
    Pump();
    pump_.start();
    CheckSink();
}

void SinkMediaPlayer::OpenSink() {
    sink_ = std::make_unique<QAudioSink>(QMediaDevices::defaultAudioOutput(), format_);
    sink_->setBufferSize(format_.bytesForDuration(SinkBufferMs * 1000));
    // Queued: the sink is not deleted from within its own signal.
    connect(sink_.get(), &QAudioSink::stateChanged, this, &SinkMediaPlayer::CheckSink,
            Qt::QueuedConnection);
    sinkInput_ = sink_->start();
}

// An underrun is only a late feed; any other error leaves the sink dead.
void SinkMediaPlayer::CheckSink() {
    if (sink_ && sink_->error() != QAudio::NoError && sink_->error() != QAudio::UnderrunError)
        FallSilent();
}

// The clock goes on in the same units from the place the sound reached, to
// the same end, paused if the sound was.
void SinkMediaPlayer::FallSilent() {
    const Mode was = mode_;
    const std::int64_t at = was == Mode::Playing ? Played() : position_;
    StopSink();
    feed_->Halt();
    silent_ = std::make_unique<ClockMediaPlayer>(ClockMediaPlayer::SteadyClock(), 1.0);
    silent_->OpenLength(length_);
    silent_->Seek(at);
    if (was != Mode::Playing && was != Mode::Paused)
        return;
    if (runTo_)
        silent_->SetEndPos(*runTo_);
    silent_->Play();
    if (was == Mode::Paused)
        silent_->Pause();
}

// Deleted later: a sink's deletion runs the event loop, and a window that
// asked for the place in it would get the start of the run that is ending,
// and move there.
void SinkMediaPlayer::StopSink() {
    pump_.stop();
    sinkInput_ = nullptr;
    if (!sink_)
        return;
    sink_->stop();
    sink_.release()->deleteLater();
}

// The sink takes what it has room for; the rest waits in the feed.
void SinkMediaPlayer::Pump() {
    if (!sink_ || sinkInput_ == nullptr || mode_ != Mode::Playing)
        return;
    const qint64 room = sink_->bytesFree();
    if (room <= 0)
        return;
    chunk_.resize(static_cast<std::size_t>(room));
    const qint64 got = feed_->Take(chunk_.data(), room);
    if (got > 0)
        sinkInput_->write(chunk_.data(), got);
}

std::int64_t SinkMediaPlayer::RunEnd() const {
    return runTo_ ? std::min(*runTo_, length_) : length_;
}

// The run's first frame plus what the sink has played; short of the run's end
// until the run has ended, so the window's halt at a selection end never cuts
// the last frame short.
std::int64_t SinkMediaPlayer::Played() const {
    const double first =
        std::max(feed_->FirstFrameMs().value_or(0.0), static_cast<double>(runFrom_));
    const double played = sink_ ? static_cast<double>(sink_->processedUSecs()) / 1000.0 : 0.0;
    const auto position = static_cast<std::int64_t>(first + played);
    return std::clamp<std::int64_t>(position, runFrom_, std::max(RunEnd() - 1, runFrom_));
}

void SinkMediaPlayer::Settle() const {
    if (mode_ != Mode::Playing)
        return;
    const qint64 handedUs =
        feed_->HandedBytes() * 1000000 / std::max(format_.bytesForDuration(1000000), 1);
    if (feed_->Drained() && (!sink_ || sink_->processedUSecs() + EndSlackUs >= handedUs)) {
        position_ = RunEnd();
        mode_ = Mode::Stopped;
    }
}

std::int64_t SinkMediaPlayer::Position() const {
    if (silent_)
        return silent_->Position();
    if (!IsOpen())
        return 0;
    Settle();
    return mode_ == Mode::Playing ? Played() : position_;
}

MediaPlayer::Mode SinkMediaPlayer::CurrentMode() const {
    if (silent_)
        return silent_->CurrentMode();
    if (IsOpen())
        Settle();
    return mode_;
}

// Every Play tries the sound again: a sound server that has come back plays,
// and one still gone fails the new sink, which falls silent once more.
void SinkMediaPlayer::DoPlay(std::int64_t from, bool hasFrom, std::int64_t to, bool hasTo) {
    if (silent_) {
        position_ = silent_->Position();
        silent_.reset();
    }
    Halt(Mode::Stopped);
    const std::int64_t start = hasFrom ? std::clamp<std::int64_t>(from, 0, length_) : position_;
    runTo_ = hasTo ? std::optional<std::int64_t>(to) : std::nullopt;
    position_ = start;
    if (start >= RunEnd())
        return;
    runFrom_ = start;
    mode_ = Mode::Playing;
    feed_->Start(static_cast<std::int32_t>(start),
                 hasTo ? std::optional<std::int32_t>(static_cast<std::int32_t>(to)) : std::nullopt);
}

void SinkMediaPlayer::SetExactCuts(bool on) {
    exactCuts_ = on;
    if (feed_)
        feed_->SetExactCuts(on);
}

void SinkMediaPlayer::Halt(Mode mode) {
    position_ = Position();
    StopSink();
    feed_->Halt();
    mode_ = mode;
}

void SinkMediaPlayer::DoStop() {
    if (silent_)
        return silent_->Stop();
    Halt(Mode::Stopped);
}

// Suspended, the sink keeps what it holds and plays on from there.
void SinkMediaPlayer::DoPause() {
    if (silent_)
        return silent_->Pause();
    Settle();
    if (mode_ != Mode::Playing)
        return;
    position_ = Played();
    pump_.stop();
    if (sink_)
        sink_->suspend();
    mode_ = Mode::Paused;
}

void SinkMediaPlayer::DoResume() {
    if (silent_)
        return silent_->Pause();
    mode_ = Mode::Playing;
    if (!sink_)
        return;
    sink_->resume();
    pump_.start();
}

void SinkMediaPlayer::DoSeek(std::int64_t q) {
    if (silent_)
        return silent_->Seek(q);
    Halt(Mode::Stopped);
    position_ = std::clamp<std::int64_t>(q, 0, length_);
}

bool HasSoundOutput() {
    return !QMediaDevices::audioOutputs().isEmpty();
}

std::unique_ptr<MediaPlayer> PreviewPlayer() {
    if (!HasSoundOutput())
        return std::make_unique<ClockMediaPlayer>();
    return std::make_unique<SinkMediaPlayer>();
}
