#pragma once

#include "core/loudness_overview.h"
#include "core/source_walk.h"
#include "state/overview_view.h"

#include <QWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class SplitList;

// A strip the width of the slider with the loudness of the whole file, the
// selection and every list section as bands, and the play position as a line.
// Click or drag seeks; Ctrl+wheel or +/- zooms around the play position down
// to a few frames; the wheel scrolls a zoomed strip, which follows playback.
// The levels are decoded off the UI thread.
class OverviewStrip : public QWidget {
    Q_OBJECT

public:
    explicit OverviewStrip(const SplitList& list, QWidget* parent = nullptr);
    ~OverviewStrip() override;

    // Starts computing the levels of a newly opened source of durationMs.
    // The levels come from the source's walk and a decoding pass, on a thread of the strip's.
    void SetSource(std::shared_ptr<SourceWalk> walk, std::int64_t durationMs);
    void SetPlayMs(std::int64_t ms);
    void SetSelection(std::int64_t startMs, std::int64_t endMs);
    void ZoomIn();
    void ZoomOut();

    bool Ready() const { return ready_; }
    std::int64_t VisibleStartMs() const { return view_.StartMs(); }
    std::int64_t VisibleSpanMs() const { return view_.SpanMs(); }
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
    std::int64_t MeasuredMs() const;
    int ColumnOfMs(std::int64_t ms) const;
    double XOfMs(std::int64_t ms) const { return view_.XOfMs(ms, width()); }
    void DrawLevels(QPainter& painter);
    void DrawBand(QPainter& painter, std::int64_t fromMs, std::int64_t toMs,
                  const QColor& color) const;

    const SplitList& list_;
    std::shared_ptr<LoudnessOverview> overview_;
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::uint64_t generation_ = 0;
    bool ready_ = false;
    OverviewView view_;
    std::int64_t playMs_ = 0;
    std::int64_t selStart_ = 0;
    std::int64_t selEnd_ = 0;
    // The levels of the columns, kept while the view and the width stay.
    std::vector<std::uint8_t> columns_;
    std::int64_t columnsStart_ = -1;
    std::int64_t columnsSpan_ = -1;
};
