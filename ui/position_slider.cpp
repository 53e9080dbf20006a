#include "ui/position_slider.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

PositionSlider::PositionSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, 0);
    setSingleStep(1);
    setPageStep(2);
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(TickEvery);
}

void PositionSlider::SetSelStart(std::int32_t position) {
    selStart_ = position;
    update();
}

void PositionSlider::SetSelEnd(std::int32_t position) {
    selEnd_ = position;
    update();
}

void PositionSlider::SetSelection(std::int32_t start, std::int32_t end) {
    selStart_ = start;
    selEnd_ = end;
    update();
}

int PositionSlider::PixelOf(std::int32_t position) const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const int clamped = std::clamp<std::int32_t>(position, minimum(), maximum());
    return groove.x() + handle.width() / 2 +
           QStyle::sliderPositionFromValue(minimum(), maximum(), clamped, span);
}

// A plain track, the selection band over it, the ticks, then the handle on
// top. The style's own groove is not used: it fills up to the handle in the
// same colour as the selection.
void PositionSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    DrawTrack(painter);
    option.subControls = QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    option.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

QRect PositionSlider::TrackRect() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    return QRect(groove.left() + 1, groove.center().y() - 2, groove.width() - 2, 6);
}

void PositionSlider::DrawTrack(QPainter& painter) const {
    const QRect track = TrackRect();
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRoundedRect(QRectF(track).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    if (selStart_ == 0 && selEnd_ == 0) {
        return;
    }
    // The band between the two ends, whichever comes first.
    const int left = PixelOf(std::min(selStart_, selEnd_));
    const int right = PixelOf(std::max(selStart_, selEnd_));
    const QColor band = palette().color(QPalette::Highlight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(band);
    painter.drawRect(QRect(QPoint(left, track.top() + 1), QPoint(right, track.bottom() - 1)));
    painter.setPen(QPen(band.darker(130), 2));
    for (int x : {left, right}) {
        painter.drawLine(x, track.top() - 3, x, track.bottom() + 1);
    }
}
