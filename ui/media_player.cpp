#include "ui/media_player.h"

void MediaPlayer::RequireOpen() const {
    if (!IsOpen()) {
        throw MediaPlayerError(NoDeviceText);
    }
}

void MediaPlayer::Play() {
    RequireOpen();
    const std::int64_t from = startPos_;
    const std::int64_t to = endPos_;
    const bool hasFrom = hasStartPos_;
    const bool hasTo = hasEndPos_;
    hasStartPos_ = false;
    hasEndPos_ = false;
    DoPlay(from, hasFrom, to, hasTo);
}

void MediaPlayer::Stop() {
    RequireOpen();
    DoStop();
}

void MediaPlayer::Pause() {
    RequireOpen();
    const Mode mode = CurrentMode();
    if (mode == Mode::Playing) {
        DoPause();
    } else if (mode == Mode::Paused) {
        DoResume();
    }
}

void MediaPlayer::Seek(std::int64_t q) {
    RequireOpen();
    DoSeek(q);
}

std::int64_t MediaPlayer::Length() const {
    RequireOpen();
    return DoLength();
}
