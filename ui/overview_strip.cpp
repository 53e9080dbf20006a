#include "ui/overview_strip.h"

#include "core/layer3_loudness.h"
#include "media/mpeg_decoder.h"
#include "split/split_list.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

namespace {

// The smallest view shows this many frames (26 ms each at 44.1 kHz).
constexpr std::int64_t kFewestFrames = 8;
// The strip's height spans the top 60 dB; anything quieter but not silent
// still shows as a dot.
constexpr double kShownLevels = 60.0 / kLoudnessDbPerStep;

// Layer I and II frames carry no gains to read: their levels are decoded.
void DecodeLevels(const ScanSource& source, LoudnessOverview& overview,
                  const std::atomic<bool>& stop) {
    overview.Levels.reserve(static_cast<std::size_t>(overview.FrameCount));
    DecodeFile(source.Path, source.Format.FirstFrameOffset, [&](const DecodedFrame& frame) {
        std::int32_t peak = 0;
        for (const std::int16_t sample : frame.Samples)
            peak = std::max(peak, std::abs(static_cast<std::int32_t>(sample)));
        overview.Levels.push_back(LevelFromPeak(peak));
        return !stop && static_cast<std::int64_t>(overview.Levels.size()) < overview.FrameCount;
    });
}

} // namespace

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

void OverviewStrip::SetSource(const ScanSource& source, std::int64_t durationMs) {
    StopWork();
    overview_.reset();
    ready_ = false;
    durationMs_ = std::max<std::int64_t>(durationMs, 1);
    viewStart_ = 0;
    viewSpan_ = durationMs_;
    playMs_ = selStart_ = selEnd_ = 0;
    stop_ = std::make_shared<std::atomic<bool>>(false);
    const std::uint64_t generation = ++generation_;
    // The destructor joins the worker, so the strip outlives every call it makes.
    worker_ = std::thread([this, source, generation, stop = stop_] {
        auto overview = std::make_shared<LoudnessOverview>();
        try {
            *overview = EstimateLoudness(source, [&stop] { return stop->load(); });
            if (overview->Levels.empty())
                DecodeLevels(source, *overview, *stop);
        } catch (const std::exception&) {
            // A file that cannot be read again shows no levels; the open already said why.
        }
        if (*stop)
            return;
        QMetaObject::invokeMethod(
            this, [this, generation, overview] { Deliver(generation, overview); },
            Qt::QueuedConnection);
    });
    update();
}

void OverviewStrip::Deliver(std::uint64_t generation, std::shared_ptr<LoudnessOverview> overview) {
    if (generation != generation_)
        return;
    overview_ = std::move(overview);
    ready_ = true;
    update();
}

void OverviewStrip::SetPlayMs(std::int64_t ms) {
    playMs_ = ms;
    FollowPlay();
    update();
}

void OverviewStrip::SetSelection(std::int64_t startMs, std::int64_t endMs) {
    selStart_ = startMs;
    selEnd_ = endMs;
    update();
}

// ---------------------------------------------------------------- view

std::int64_t OverviewStrip::FrameOfMs(std::int64_t ms) const {
    if (!overview_ || durationMs_ <= 0)
        return 0;
    return static_cast<std::int64_t>(static_cast<double>(ms) * overview_->FrameCount /
                                     static_cast<double>(durationMs_));
}

double OverviewStrip::XOfMs(std::int64_t ms) const {
    return viewSpan_ <= 0
               ? 0.0
               : static_cast<double>(ms - viewStart_) * width() / static_cast<double>(viewSpan_);
}

std::int64_t OverviewStrip::MsOfX(double x) const {
    const double ms = viewStart_ + x * static_cast<double>(viewSpan_) / std::max(width(), 1);
    return std::clamp<std::int64_t>(static_cast<std::int64_t>(ms), 0, durationMs_);
}

void OverviewStrip::ZoomIn() {
    ZoomTo(viewSpan_ / 2);
}

void OverviewStrip::ZoomOut() {
    ZoomTo(viewSpan_ * 2);
}

void OverviewStrip::ZoomTo(std::int64_t span) {
    if (durationMs_ <= 0)
        return;
    const double framesMs = overview_ && overview_->FrameCount > 0
                                ? static_cast<double>(durationMs_) / overview_->FrameCount
                                : 26.0;
    const auto fewest =
        std::max<std::int64_t>(static_cast<std::int64_t>(framesMs * kFewestFrames), 1);
    viewSpan_ = std::clamp(span, std::min(fewest, durationMs_), durationMs_);
    // The play position keeps its place on the screen where it can.
    ScrollTo(playMs_ - viewSpan_ / 2);
}

void OverviewStrip::ScrollTo(std::int64_t start) {
    viewStart_ = std::clamp<std::int64_t>(start, 0, durationMs_ - viewSpan_);
    update();
}

// A zoomed strip pages along with playback.
void OverviewStrip::FollowPlay() {
    if (viewSpan_ >= durationMs_)
        return;
    if (playMs_ < viewStart_ || playMs_ > viewStart_ + viewSpan_)
        ScrollTo(playMs_ - viewSpan_ / 10);
}

// ---------------------------------------------------------------- input

void OverviewStrip::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && durationMs_ > 0)
        emit SeekRequested(MsOfX(event->position().x()));
}

void OverviewStrip::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && durationMs_ > 0)
        emit SeekRequested(MsOfX(event->position().x()));
}

void OverviewStrip::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0)
        return;
    if (event->modifiers() & Qt::ControlModifier) {
        for (int i = 0; i < std::abs(steps); ++i)
            steps > 0 ? ZoomIn() : ZoomOut();
    } else {
        ScrollTo(viewStart_ - steps * viewSpan_ / 8);
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
    if (durationMs_ > 0) {
        for (const SplitListItem& entry : list_.Entries())
            DrawBand(painter, entry.StartMs, entry.EndMs, QColor(70, 150, 70, 60));
        DrawBand(painter, selStart_, selEnd_, QColor(50, 110, 220, 90));
        DrawLevels(painter);
        const double x = XOfMs(playMs_);
        painter.setPen(QPen(QColor(220, 40, 40), 1));
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
    if (!ready_ && durationMs_ > 1) {
        // A thin line along the bottom says the levels are on their way.
        painter.fillRect(QRect(0, height() - 2, width(), 2), palette().highlight());
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

// Each column shows the loudest frame under it, mirrored about the middle;
// silence draws nothing.
void OverviewStrip::DrawLevels(QPainter& painter) const {
    if (!overview_ || overview_->Levels.empty())
        return;
    const double middle = height() / 2.0;
    painter.setPen(palette().text().color());
    for (int x = 0; x < width(); ++x) {
        const std::int64_t first = FrameOfMs(MsOfX(x));
        const std::int64_t end = std::max(FrameOfMs(MsOfX(x + 1)), first + 1);
        const std::uint8_t level = overview_->Peak(first, end);
        if (level == 0)
            continue;
        const double shown = std::max(0.0, level - (255 - kShownLevels)) / kShownLevels;
        const double half = std::max(0.5, shown * (middle - 2));
        painter.drawLine(QPointF(x + 0.5, middle - half), QPointF(x + 0.5, middle + half));
    }
}
