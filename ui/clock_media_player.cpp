#include "ui/clock_media_player.h"

#include <algorithm>
#include <chrono>

ClockMediaPlayer::ClockMediaPlayer(Clock clock, double unitsPerMs)
    : clock_(std::move(clock)), unitsPerMs_(unitsPerMs) {}

ClockMediaPlayer::Clock ClockMediaPlayer::SteadyClock() {
    return [] {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    };
}

void ClockMediaPlayer::Open(const SourceSession& session) {
    Close();
    const auto ms = static_cast<long double>(session.State.DurationMs);
    OpenLength(static_cast<std::int64_t>(ms * unitsPerMs_));
}

void ClockMediaPlayer::OpenLength(std::int64_t length) {
    length_ = length;
    open_ = true;
    mode_ = Mode::Stopped;
    position_ = 0;
}

void ClockMediaPlayer::Close() {
    open_ = false;
    length_ = 0;
    position_ = 0;
    mode_ = Mode::NotReady;
}

void ClockMediaPlayer::Advance() const {
    if (mode_ != Mode::Playing) {
        return;
    }
    const std::int64_t elapsedMs = clock_() - runStartMs_;
    const auto moved = static_cast<std::int64_t>(static_cast<long double>(elapsedMs) * unitsPerMs_);
    position_ = std::min(runStartPos_ + moved, runLimit_);
    if (position_ >= runLimit_) {
        mode_ = Mode::Stopped;
    }
}

std::int64_t ClockMediaPlayer::Position() const {
    Advance();
    return position_;
}

MediaPlayer::Mode ClockMediaPlayer::CurrentMode() const {
    Advance();
    return mode_;
}

void ClockMediaPlayer::DoPlay(std::int64_t from, bool hasFrom, std::int64_t to, bool hasTo) {
    Advance();
    if (hasFrom) {
        position_ = std::clamp<std::int64_t>(from, 0, length_);
    }
    runLimit_ = hasTo ? std::clamp<std::int64_t>(to, 0, length_) : length_;
    if (position_ >= runLimit_) {
        mode_ = Mode::Stopped;
        return;
    }
    runStartPos_ = position_;
    runStartMs_ = clock_();
    mode_ = Mode::Playing;
}

void ClockMediaPlayer::Halt(Mode mode) {
    Advance();
    mode_ = mode;
}

void ClockMediaPlayer::DoStop() {
    Halt(Mode::Stopped);
}

void ClockMediaPlayer::DoPause() {
    Halt(Mode::Paused);
}

void ClockMediaPlayer::DoResume() {
    runStartPos_ = position_;
    runStartMs_ = clock_();
    mode_ = position_ < runLimit_ ? Mode::Playing : Mode::Stopped;
}

void ClockMediaPlayer::DoSeek(std::int64_t q) {
    Halt(Mode::Stopped);
    position_ = std::clamp<std::int64_t>(q, 0, length_);
}
