#pragma once

#include "core/loudness_overview.h"

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

class SplitList;

// A strip the width of the slider with the loudness of the whole file, the
// selection and every list section as bands, and the play position as a line.
// Click or drag seeks; Ctrl+wheel or +/- zooms around the play position down
// to a few frames; the wheel scrolls a zoomed strip, which follows playback.
// The levels are computed off the UI thread: read from the frames for Layer
// III, decoded for Layer I and II.
class OverviewStrip : public QWidget {
    Q_OBJECT

public:
    explicit OverviewStrip(const SplitList& list, QWidget* parent = nullptr);
    ~OverviewStrip() override;

    // Starts computing the levels of a newly opened source of durationMs.
    void SetSource(const ScanSource& source, std::int64_t durationMs);
    void SetPlayMs(std::int64_t ms);
    void SetSelection(std::int64_t startMs, std::int64_t endMs);
    void ZoomIn();
    void ZoomOut();

    bool Ready() const { return ready_; }
    std::int64_t VisibleStartMs() const { return viewStart_; }
    std::int64_t VisibleSpanMs() const { return viewSpan_; }
    QSize sizeHint() const override { return {400, 56}; }

signals:
    void SeekRequested(std::int64_t ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void StopWork();
    void Deliver(std::uint64_t generation, std::shared_ptr<LoudnessOverview> overview);
    void ZoomTo(std::int64_t span);
    void ScrollTo(std::int64_t start);
    void FollowPlay();
    double XOfMs(std::int64_t ms) const;
    std::int64_t MsOfX(double x) const;
    std::int64_t FrameOfMs(std::int64_t ms) const;
    void DrawLevels(QPainter& painter) const;
    void DrawBand(QPainter& painter, std::int64_t fromMs, std::int64_t toMs,
                  const QColor& color) const;

    const SplitList& list_;
    std::shared_ptr<LoudnessOverview> overview_;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::uint64_t generation_ = 0;
    bool ready_ = false;
    std::int64_t durationMs_ = 0;
    std::int64_t playMs_ = 0;
    std::int64_t selStart_ = 0;
    std::int64_t selEnd_ = 0;
    std::int64_t viewStart_ = 0;
    std::int64_t viewSpan_ = 0;
};
