#include "ui/focus_ring.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QWidget>

FocusRing::FocusRing(QObject* parent) : QObject(parent) {
    qApp->installEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        keyboard_ = reason != Qt::MouseFocusReason && reason != Qt::PopupFocusReason;
    } else if (event->type() == QEvent::Paint && keyboard_ &&
               watched == QApplication::focusWidget()) {
        return PaintWithRing(*static_cast<QWidget*>(watched), event);
    }
    return false;
}

// The control paints itself first; the ring goes on top, inside its edge.
bool FocusRing::PaintWithRing(QWidget& widget, QEvent* paint) {
    static_cast<QObject&>(widget).event(paint);
    QPainter painter(&widget);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(widget.palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(widget.rect()).adjusted(1, 1, -1, -1), 3, 3);
    return true;
}
