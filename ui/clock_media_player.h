#pragma once

#include "ui/media_player.h"

#include <cstdint>
#include <functional>

// A silent player driven by a clock: it plays nothing but moves its position as
// a real player would. It counts in units of its own (UnitsPerMs per ms), so the
// window's Koef conversion is really exercised. Used by the tests and wherever
// no audio output can be opened.
class ClockMediaPlayer : public MediaPlayer {
public:
    // Milliseconds from any fixed origin, never going back.
    using Clock = std::function<std::int64_t()>;

    static constexpr double UnitsPerMs = 44.1;
    static constexpr const char* RefusedText =
        "The file cannot be played: no MPEG audio was found in it.";

    explicit ClockMediaPlayer(Clock clock = SteadyClock(), double unitsPerMs = UnitsPerMs);

    static Clock SteadyClock();

    void Open(const SourceSession& session) override;
    // Opens a source of the given length in units without reading it.
    void OpenLength(std::int64_t length);
    void Close() override;
    bool IsOpen() const override { return open_; }
    std::int64_t Position() const override;
    Mode CurrentMode() const override;
    bool MakesSound() const override { return false; }

protected:
    void DoPlay(std::int64_t from, bool hasFrom, std::int64_t to, bool hasTo) override;
    void DoStop() override;
    void DoPause() override;
    void DoResume() override;
    void DoSeek(std::int64_t q) override;
    std::int64_t DoLength() const override { return length_; }

private:
    // Brings position and mode up to the clock's time.
    void Advance() const;
    void Halt(Mode mode);

    Clock clock_;
    double unitsPerMs_;
    bool open_ = false;
    std::int64_t length_ = 0;
    mutable Mode mode_ = Mode::NotReady;
    mutable std::int64_t position_ = 0;
    mutable std::int64_t runStartPos_ = 0;
    mutable std::int64_t runStartMs_ = 0;
    std::int64_t runLimit_ = 0;
};
