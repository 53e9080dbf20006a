#pragma once

#include "state/open_source.h"

#include <QString>
#include <cstdint>
#include <stdexcept>

// Raised by a player command; what() is the text shown to the user.
class MediaPlayerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The preview player. Positions and lengths are in the player's own units; the
// main window measures Koef (units per ms) once per opened file and converts.
class MediaPlayer {
public:
    enum class Mode { NotReady, Stopped, Playing, Recording, Seeking, Paused, Open };

    static constexpr const char* NoDeviceText = "No MCI device open";

    virtual ~MediaPlayer() = default;

    // Takes the source the window has opened, closing any open one first.
    // Afterwards Length() is the source's length. Throws MediaPlayerError with
    // the player's own text when it cannot play the source.
    virtual void Open(const SourceSession& session) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Each is used by the next Play only, and cleared by it.
    void SetStartPos(std::int64_t q) {
        startPos_ = q;
        hasStartPos_ = true;
    }
    void SetEndPos(std::int64_t q) {
        endPos_ = q;
        hasEndPos_ = true;
    }

    // Returns at once; without an end position playback runs to the end of the file.
    void Play();
    // Halts playback; the position stays where it is.
    void Stop();
    // Pauses while playing, resumes while paused, does nothing otherwise.
    void Pause();
    void Seek(std::int64_t q);
    void SeekToStart() { Seek(0); }
    void SeekToEnd() { Seek(Length()); }
    std::int64_t Length() const;

    // The window's length of the source in ms, once it knows it. A player whose
    // unit is the ms of the source's own frames takes it as its length, so that
    // Koef stays 1 (to less than a unit) and positions mean the same ms on both sides.
    virtual void MatchLength(double /*durationMsExact*/) {}
    // On, a play of a selection plays what an exact part of it holds.
    virtual void SetExactCuts(bool /*on*/) {}
    // False for a player that only keeps time: the window then says the preview is silent.
    virtual bool MakesSound() const { return true; }

    // No open-file test: asked only while a file is open.
    virtual std::int64_t Position() const = 0;
    virtual Mode CurrentMode() const = 0;

protected:
    virtual void DoPlay(std::int64_t from, bool hasFrom, std::int64_t to, bool hasTo) = 0;
    virtual void DoStop() = 0;
    virtual void DoPause() = 0;
    virtual void DoResume() = 0;
    virtual void DoSeek(std::int64_t q) = 0;
    virtual std::int64_t DoLength() const = 0;

private:
    void RequireOpen() const;

    std::int64_t startPos_ = 0;
    std::int64_t endPos_ = 0;
    bool hasStartPos_ = false;
    bool hasEndPos_ = false;
};
