#include "ui/qt_media_player.h"

#include "state/open_source.h"

#include <QAudioOutput>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace {

std::int64_t AnalysedLengthMs(const QString& path) {
    const Result<SourceSession> opened = OpenSource(path.toStdString());
    return opened ? opened.Value().State.DurationMs : 0;
}

bool IsSettled(QMediaPlayer::MediaStatus status) {
    return status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::InvalidMedia ||
           status == QMediaPlayer::BufferedMedia || status == QMediaPlayer::EndOfMedia;
}

} // namespace

QtMediaPlayer::QtMediaPlayer(QObject* parent) : QObject(parent) {}

// A fresh backend player for every file: a refused file leaves its error
// behind in the old one.
void QtMediaPlayer::NewBackend() {
    player_ = std::make_unique<QMediaPlayer>();
    // Without an audio output the backend never reports a duration.
    output_ = new QAudioOutput(player_.get());
    player_->setAudioOutput(output_);
    connect(player_.get(), &QMediaPlayer::positionChanged, this, [this](qint64 position) {
        if (mode_ == Mode::Playing) {
            Reported(position);
            flowing_ = true;
        }
        CheckEnd();
    });
    connect(player_.get(), &QMediaPlayer::mediaStatusChanged, this,
            &QtMediaPlayer::MediaStatusChanged);
}

QtMediaPlayer::~QtMediaPlayer() = default;

void QtMediaPlayer::WaitUntilLoaded() {
    if (IsSettled(player_->mediaStatus()) && player_->duration() > 0) {
        return;
    }
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(player_.get(), &QMediaPlayer::mediaStatusChanged, &loop,
            [&loop](QMediaPlayer::MediaStatus status) {
                if (IsSettled(status)) {
                    loop.quit();
                }
            });
    connect(player_.get(), &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
    timeout.start(LoadWaitMs);
    if (!IsSettled(player_->mediaStatus()) && player_->error() == QMediaPlayer::NoError) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

// A backend that has never played drops a position set right after play().
// Once it has run for a moment (muted) it takes positions at any time.
void QtMediaPlayer::Preroll() {
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(player_.get(), &QMediaPlayer::positionChanged, &loop, [&loop](qint64 position) {
        if (position > 0) {
            loop.quit();
        }
    });
    connect(player_.get(), &QMediaPlayer::errorOccurred, &loop, &QEventLoop::quit);
    connect(player_.get(), &QMediaPlayer::mediaStatusChanged, &loop,
            [&loop](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::EndOfMedia) {
                    loop.quit();
                }
            });
    output_->setMuted(true);
    player_->play();
    timeout.start(LoadWaitMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    player_->pause();
    player_->setPosition(0);
    output_->setMuted(false);
}

QString QtMediaPlayer::RefusalText() const {
    if (player_->error() != QMediaPlayer::NoError && !player_->errorString().isEmpty()) {
        return player_->errorString();
    }
    if (player_->mediaStatus() == QMediaPlayer::InvalidMedia) {
        return QStringLiteral("The media player cannot play this file.");
    }
    return QStringLiteral("The media player did not load the file in time.");
}

void QtMediaPlayer::Open(const QString& path) {
    Close();
    NewBackend();
    player_->setSource(QUrl::fromLocalFile(path));
    WaitUntilLoaded();
    const auto status = player_->mediaStatus();
    if (player_->error() != QMediaPlayer::NoError || !IsSettled(status) ||
        status == QMediaPlayer::InvalidMedia) {
        const QString text = RefusalText();
        player_.reset();
        throw MediaPlayerError(text.toStdString());
    }
    Preroll();
    length_ = player_->duration() > 0 ? player_->duration() : AnalysedLengthMs(path);
    open_ = true;
    atEnd_ = false;
    Reported(0);
    mode_ = Mode::Stopped;
}

void QtMediaPlayer::Close() {
    if (!open_) {
        return;
    }
    player_.reset();
    output_ = nullptr;
    open_ = false;
    length_ = 0;
    endPos_ = -1;
    mode_ = Mode::NotReady;
}

// The backend reports its position about every 100 ms; between reports the
// position is carried on by the clock, as a media service reports it, so the
// window's 1 ms poll sees every position (its pause window is 100 units wide).
std::int64_t QtMediaPlayer::Estimate() const {
    if (atEnd_) {
        return length_;
    }
    std::int64_t position = reported_;
    if (mode_ == Mode::Playing && flowing_) {
        position += std::min<std::int64_t>(sinceReport_.elapsed(), MaxCarryMs);
    }
    return std::clamp<std::int64_t>(position, 0, length_);
}

void QtMediaPlayer::Reported(std::int64_t position) const {
    reported_ = position;
    sinceReport_.restart();
}

void QtMediaPlayer::MediaStatusChanged(QMediaPlayer::MediaStatus status) {
    if (status == QMediaPlayer::EndOfMedia && mode_ == Mode::Playing) {
        atEnd_ = true;
        mode_ = Mode::Stopped;
    }
}

void QtMediaPlayer::CheckEnd() const {
    if (mode_ != Mode::Playing || !player_) {
        return;
    }
    if (endPos_ >= 0 && Estimate() >= endPos_) {
        player_->pause();
        reported_ = endPos_;
        mode_ = Mode::Stopped;
    }
}

std::int64_t QtMediaPlayer::Position() const {
    if (!player_) {
        return 0;
    }
    CheckEnd();
    return Estimate();
}

MediaPlayer::Mode QtMediaPlayer::CurrentMode() const {
    CheckEnd();
    return mode_;
}

// The position lives here; the backend is told it when it plays, because a
// stopped backend forgets a position set before play().
void QtMediaPlayer::DoPlay(std::int64_t from, bool hasFrom, std::int64_t to, bool hasTo) {
    if (!hasFrom && atEnd_) {
        return;
    }
    const std::int64_t start = hasFrom ? std::clamp<std::int64_t>(from, 0, length_) : Estimate();
    atEnd_ = false;
    endPos_ = hasTo ? to : -1;
    Reported(start);
    if (hasTo && start >= to) {
        mode_ = Mode::Stopped;
        return;
    }
    flowing_ = false;
    mode_ = Mode::Playing;
    player_->play();
    player_->setPosition(start);
}

// Qt's stop() rewinds to 0; the player keeps its position when stopped.
void QtMediaPlayer::DoStop() {
    Halt(Mode::Stopped);
}

void QtMediaPlayer::DoPause() {
    Halt(Mode::Paused);
}

void QtMediaPlayer::Halt(Mode mode) {
    Reported(Estimate());
    player_->pause();
    mode_ = mode;
}

void QtMediaPlayer::DoResume() {
    Reported(Estimate());
    flowing_ = false;
    mode_ = Mode::Playing;
    player_->play();
}

void QtMediaPlayer::DoSeek(std::int64_t q) {
    player_->pause();
    atEnd_ = false;
    Reported(std::clamp<std::int64_t>(q, 0, length_));
    player_->setPosition(reported_);
    mode_ = Mode::Stopped;
}
