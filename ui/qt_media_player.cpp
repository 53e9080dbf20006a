#include "ui/qt_media_player.h"

#include "core/audio_info.h"
#include "state/session_state.h"

#include <QAudioOutput>
#include <QEventLoop>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>

namespace {

std::int64_t AnalysedLengthMs(const QString& path) {
    TAudioInfo info;
    try {
        if (info.AnalyseFile(path.toStdString()) != AnalysisResult::Ok) {
            return 0;
        }
    } catch (const FileOpenError&) {
        return 0;
    }
    return DurationMsFromAnalysis(info);
}

bool IsSettled(QMediaPlayer::MediaStatus status) {
    return status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::InvalidMedia ||
           status == QMediaPlayer::BufferedMedia || status == QMediaPlayer::EndOfMedia;
}

} // namespace

QtMediaPlayer::QtMediaPlayer(QObject* parent)
    : QObject(parent), player_(std::make_unique<QMediaPlayer>()) {
    // Without an audio output the backend never reports a duration.
    output_ = new QAudioOutput(player_.get());
    player_->setAudioOutput(output_);
    connect(player_.get(), &QMediaPlayer::positionChanged, this, [this] { CheckEnd(); });
    connect(player_.get(), &QMediaPlayer::mediaStatusChanged, this, [this] { CheckEnd(); });
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
    player_->setSource(QUrl::fromLocalFile(path));
    WaitUntilLoaded();
    const auto status = player_->mediaStatus();
    if (player_->error() != QMediaPlayer::NoError || !IsSettled(status) ||
        status == QMediaPlayer::InvalidMedia) {
        const QString text = RefusalText();
        player_->setSource(QUrl());
        throw MediaPlayerError(text.toStdString());
    }
    length_ = player_->duration() > 0 ? player_->duration() : AnalysedLengthMs(path);
    open_ = true;
    mode_ = Mode::Stopped;
}

void QtMediaPlayer::Close() {
    if (!open_) {
        return;
    }
    player_->stop();
    player_->setSource(QUrl());
    open_ = false;
    length_ = 0;
    endPos_ = -1;
    mode_ = Mode::NotReady;
}

void QtMediaPlayer::CheckEnd() const {
    if (mode_ != Mode::Playing) {
        return;
    }
    if (player_->mediaStatus() == QMediaPlayer::EndOfMedia) {
        mode_ = Mode::Stopped;
        return;
    }
    if (endPos_ >= 0 && player_->position() >= endPos_) {
        player_->pause();
        mode_ = Mode::Stopped;
    }
}

std::int64_t QtMediaPlayer::Position() const {
    CheckEnd();
    if (player_->mediaStatus() == QMediaPlayer::EndOfMedia) {
        return length_;
    }
    return std::min<std::int64_t>(player_->position(), length_);
}

MediaPlayer::Mode QtMediaPlayer::CurrentMode() const {
    CheckEnd();
    return mode_;
}

void QtMediaPlayer::DoPlay(std::int64_t from, bool hasFrom, std::int64_t to, bool hasTo) {
    if (hasFrom) {
        player_->setPosition(from);
    } else if (player_->mediaStatus() == QMediaPlayer::EndOfMedia) {
        return;
    }
    endPos_ = hasTo ? to : -1;
    if (hasTo && player_->position() >= to) {
        mode_ = Mode::Stopped;
        return;
    }
    mode_ = Mode::Playing;
    player_->play();
}

// Qt's stop() rewinds to 0; the player keeps its position when stopped.
void QtMediaPlayer::DoStop() {
    player_->pause();
    mode_ = Mode::Stopped;
}

void QtMediaPlayer::DoPause() {
    player_->pause();
    mode_ = Mode::Paused;
}

void QtMediaPlayer::DoResume() {
    mode_ = Mode::Playing;
    player_->play();
}

void QtMediaPlayer::DoSeek(std::int64_t q) {
    player_->pause();
    player_->setPosition(q);
    mode_ = Mode::Stopped;
}
