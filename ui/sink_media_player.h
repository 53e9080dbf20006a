#pragma once

#include "ui/media_player.h"

#include <QAudioFormat>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class ClockMediaPlayer;
class PreviewFeed;
class QAudioSink;

// The audible player: the frames a part would hold, decoded with libmpg123 on
// a thread of its own and played through Qt's audio sink. Its unit is the ms
// of the split's own walk, so a play from a position starts at the frame a
// part from there starts with, and a play to an end stops after the frame the
// part ends with. The position is what the sink has played, from the run's
// first frame on. A sink that fails (the sound server gone) leaves a silent
// clock to play on from where the sound stopped, until the next Play.
class SinkMediaPlayer : public QObject, public MediaPlayer {
    Q_OBJECT

public:
    // The sink's own buffer: how long a busy machine may leave it unfed without a gap.
    static constexpr int SinkBufferMs = 250;
    // How often the sink is given what it has room for.
    static constexpr int PumpMs = 10;

    explicit SinkMediaPlayer(QObject* parent = nullptr);
    ~SinkMediaPlayer() override;

    void Open(const SourceSession& session) override;
    void Close() override;
    bool IsOpen() const override { return feed_ != nullptr; }
    std::int64_t Position() const override;
    Mode CurrentMode() const override;
    void MatchLength(double durationMsExact) override;
    bool MakesSound() const override { return silent_ == nullptr; }
    void SetExactCuts(bool on) override;

protected:
    void DoPlay(std::int64_t from, bool hasFrom, std::int64_t to, bool hasTo) override;
    void DoStop() override;
    void DoPause() override;
    void DoResume() override;
    void DoSeek(std::int64_t q) override;
    std::int64_t DoLength() const override { return length_; }

private:
    void StartSink();
    void OpenSink();
    void StopSink();
    void CheckSink();
    void FallSilent();
    void Pump();
    void Halt(Mode mode);
    // Brings the mode up to what the sink has done: a run that has played its
    // last sample, or a sink that failed, has stopped.
    void Settle() const;
    std::int64_t Played() const;
    std::int64_t RunEnd() const;

    std::unique_ptr<PreviewFeed> feed_;
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* sinkInput_ = nullptr;
    QTimer pump_;
    std::vector<char> chunk_;
    std::int64_t length_ = 0;
    bool exactCuts_ = false;
    QAudioFormat format_;
    mutable Mode mode_ = Mode::NotReady;
    mutable std::int64_t position_ = 0; // while not playing
    std::int64_t runFrom_ = 0;
    std::optional<std::int64_t> runTo_;
    std::unique_ptr<ClockMediaPlayer> silent_;
};

// The machine has a sound output to play into.
bool HasSoundOutput();
// The audible player where the machine has a sound output, else the silent clock.
std::unique_ptr<MediaPlayer> PreviewPlayer();
