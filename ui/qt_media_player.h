#pragma once

#include "ui/media_player.h"

#include <QObject>
#include <memory>

class QAudioOutput;
class QMediaPlayer;

// The audible player over Qt Multimedia. Its unit is the millisecond as Qt
// reports it. When the backend cannot tell the length (GStreamer reports 0 for
// a VBR file without an information frame until it has played it), the length
// comes from the file's own analysis, so Koef stays defined.
class QtMediaPlayer : public QObject, public MediaPlayer {
    Q_OBJECT

public:
    static constexpr int LoadWaitMs = 5000;

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
    void WaitUntilLoaded();
    QString RefusalText() const;
    // Halts at a pending end position or at the end of the media.
    void CheckEnd() const;

    std::unique_ptr<QMediaPlayer> player_;
    QAudioOutput* output_ = nullptr;
    bool open_ = false;
    std::int64_t length_ = 0;
    std::int64_t endPos_ = -1;
    mutable Mode mode_ = Mode::NotReady;
};
