#pragma once

#include "ui/media_player.h"

#include <QElapsedTimer>
#include <QMediaPlayer>
#include <QObject>
#include <memory>

class QAudioOutput;

// The audible player over Qt Multimedia. Its unit is the millisecond as Qt
// reports it. When the backend cannot tell the length (GStreamer reports 0 for
// a VBR file without an information frame until it has played it), the length
// comes from the file's own analysis, so Koef stays defined.
class QtMediaPlayer : public QObject, public MediaPlayer {
    Q_OBJECT

public:
    static constexpr int LoadWaitMs = 5000;
    // The longest stretch the position is carried on without a report.
    static constexpr std::int64_t MaxCarryMs = 250;

    explicit QtMediaPlayer(QObject* parent = nullptr);
    ~QtMediaPlayer() override;

    void Open(const QString& path) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    std::int64_t Position() const override;
    Mode CurrentMode() const override;

protected:
    void DoPlay(std::int64_t from, bool hasFrom, std::int64_t to, bool hasTo) override;
    void DoStop() override;
    void DoPause() override;
    void DoResume() override;
    void DoSeek(std::int64_t q) override;
    std::int64_t DoLength() const override { return length_; }

private:
    void NewBackend();
    void WaitUntilLoaded();
    void Preroll();
    QString RefusalText() const;
    // Halts at a pending end position.
    void CheckEnd() const;
    std::int64_t Estimate() const;
    void Reported(std::int64_t position) const;
    void MediaStatusChanged(QMediaPlayer::MediaStatus status);
    void Halt(Mode mode);

    std::unique_ptr<QMediaPlayer> player_;
    QAudioOutput* output_ = nullptr;
    bool open_ = false;
    std::int64_t length_ = 0;
    std::int64_t endPos_ = -1;
    mutable Mode mode_ = Mode::NotReady;
    mutable std::int64_t reported_ = 0;
    mutable QElapsedTimer sinceReport_;
    bool atEnd_ = false;
    // Reports have come in since playback started: until then playback may
    // not have begun, so the position is not carried on.
    bool flowing_ = false;
};
