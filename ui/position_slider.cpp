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

// Groove and ticks first, then the selection band, then the handle on top.
void PositionSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
    DrawSelection(painter);
    option.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}

// A band over the groove between the two marks, and a small mark at each end,
// as long as a selection has been made.
void PositionSlider::DrawSelection(QPainter& painter) const {
    if (selStart_ == 0 && selEnd_ == 0) {
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const int left = PixelOf(std::min(selStart_, selEnd_));
    const int right = PixelOf(std::max(selStart_, selEnd_));
    const int middle = groove.center().y();
    const QColor band = palette().color(QPalette::Highlight);

    painter.setPen(Qt::NoPen);
    painter.setBrush(band);
    painter.drawRect(QRect(QPoint(left, middle - 2), QPoint(right, middle + 1)));

    painter.setPen(QPen(band.darker(140), 1));
    for (int x : {PixelOf(selStart_), PixelOf(selEnd_)}) {
        painter.drawLine(x, groove.top() - 1, x, middle - 4);
    }
}
