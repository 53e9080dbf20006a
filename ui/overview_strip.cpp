#include "ui/overview_strip.h"

#include "media/source_loudness.h"
#include "split/split_list.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

OverviewStrip::OverviewStrip(const SplitList& list, QWidget* parent)
    : QWidget(parent), list_(list) {
    setObjectName("Overview");
    setToolTip("Click or drag to seek; Ctrl+wheel or +/- to zoom");
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(40);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

OverviewStrip::~OverviewStrip() {
    StopWork();
}

void OverviewStrip::StopWork() {
    if (stop_)
        *stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

void OverviewStrip::SetSource(std::shared_ptr<SourceWalk> walk, std::int64_t durationMs) {
    StopWork();
    overview_.reset();
    ready_ = false;
    view_.Reset(durationMs);
    columnsSpan_ = -1;
    playMs_ = selStart_ = selEnd_ = 0;
    stop_ = std::make_shared<std::atomic<bool>>(false);
    const std::uint64_t generation = ++generation_;
    // The destructor joins the worker, so the strip outlives every call it makes.
    worker_ = std::thread([this, walk = std::move(walk), generation, stop = stop_] {
        const auto deliver = [this, generation](LoudnessOverview overview) {
            auto shared = std::make_shared<LoudnessOverview>(std::move(overview));
            QMetaObject::invokeMethod(
                this, [this, generation, shared] { Deliver(generation, shared); },
                Qt::QueuedConnection);
        };
        Result<LoudnessOverview> measured = SourceLoudness(
            *walk, [&stop] { return stop->load(); },
            [&deliver](const LoudnessOverview& soFar) { deliver(soFar); });
        if (*stop)
            return;
        // A file that cannot be read again shows no levels; the open already said why.
        deliver(measured ? std::move(measured.Value()) : LoudnessOverview{});
    });
    update();
}

void OverviewStrip::Deliver(std::uint64_t generation, std::shared_ptr<LoudnessOverview> overview) {
    if (generation != generation_)
        return;
    overview_ = std::move(overview);
    view_.SetFrameCount(overview_->FrameCount);
    columnsSpan_ = -1;
    ready_ = overview_->MeasuredFrames >= overview_->FrameCount;
    update();
}

// Where the levels measured so far end.
std::int64_t OverviewStrip::MeasuredMs() const {
    if (!overview_ || overview_->FrameCount <= 0)
        return 0;
    return static_cast<std::int64_t>(static_cast<double>(view_.DurationMs()) *
                                     static_cast<double>(overview_->MeasuredFrames) /
                                     static_cast<double>(overview_->FrameCount));
}

int OverviewStrip::ColumnOfMs(std::int64_t ms) const {
    return static_cast<int>(std::floor(XOfMs(ms)));
}

// Polled as often as playback moves: repainted only when the line moves a
// column or the view pages on.
void OverviewStrip::SetPlayMs(std::int64_t ms) {
    const int before = ColumnOfMs(playMs_);
    playMs_ = ms;
    if (view_.Follow(playMs_) || ColumnOfMs(playMs_) != before)
        update();
}

void OverviewStrip::SetSelection(std::int64_t startMs, std::int64_t endMs) {
    if (startMs == selStart_ && endMs == selEnd_)
        return;
    selStart_ = startMs;
    selEnd_ = endMs;
    update();
}

void OverviewStrip::ZoomIn() {
    view_.ZoomIn(playMs_);
    update();
}

void OverviewStrip::ZoomOut() {
    view_.ZoomOut(playMs_);
    update();
}

// ---------------------------------------------------------------- input

void OverviewStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && view_.DurationMs() > 0)
        emit SeekRequested(view_.MsOfX(event->position().x(), width()));
}

void OverviewStrip::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && view_.DurationMs() > 0)
        emit SeekRequested(view_.MsOfX(event->position().x(), width()));
}

void OverviewStrip::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    if (event->modifiers() & Qt::ControlModifier) {
        for (int i = 0; i < std::abs(steps); ++i)
            steps > 0 ? ZoomIn() : ZoomOut();
    } else {
        view_.ScrollBy(-steps);
        update();
    }
    event->accept();
}

void OverviewStrip::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomIn();
        return;
    case Qt::Key_Minus:
        ZoomOut();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

// ---------------------------------------------------------------- painting

void OverviewStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    if (view_.DurationMs() > 0) {
        for (const SplitListItem& entry : list_.Entries())
            DrawBand(painter, entry.StartMs, entry.EndMs, QColor(70, 150, 70, 60));
        DrawBand(painter, selStart_, selEnd_, QColor(50, 110, 220, 90));
        DrawLevels(painter);
        const double x = XOfMs(playMs_);
        painter.setPen(QPen(QColor(220, 40, 40), 1));
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
    if (!ready_ && view_.DurationMs() > 1) {
        // A thin line along the bottom says the levels are on their way there.
        const double from = std::max(0.0, XOfMs(MeasuredMs()));
        if (from < width())
            painter.fillRect(QRectF(from, height() - 2, width() - from, 2), palette().highlight());
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().highlight(), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    } else {
        painter.setPen(palette().mid().color());
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void OverviewStrip::DrawBand(QPainter& painter, std::int64_t fromMs, std::int64_t toMs,
                             const QColor& color) const {
    if (toMs <= fromMs)
        return;
    const double left = XOfMs(fromMs);
    const double right = std::max(XOfMs(toMs), left + 1);
    painter.fillRect(QRectF(left, 0, right - left, height()), color);
}

// Each column shows the loudest frame under it in dB over a floor of
// -60 dBFS, mirrored about the middle; anything quieter draws nothing.
void OverviewStrip::DrawLevels(QPainter& painter) {
    if (!overview_ || overview_->Levels.empty())
        return;
    if (columnsStart_ != view_.StartMs() || columnsSpan_ != view_.SpanMs() ||
        static_cast<int>(columns_.size()) != width()) {
        columns_ = ColumnLevels(*overview_, view_, width());
        columnsStart_ = view_.StartMs();
        columnsSpan_ = view_.SpanMs();
    }
    const double middle = height() / 2.0;
    painter.setPen(palette().text().color());
    for (int x = 0; x < width(); ++x) {
        const double share = ShownShare(columns_[static_cast<std::size_t>(x)]);
        if (share <= 0.0)
            continue;
        const double half = std::max(0.5, share * (middle - 2));
        painter.drawLine(QPointF(x + 0.5, middle - half), QPointF(x + 0.5, middle + half));
    }
}
