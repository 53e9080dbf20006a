#include "ui/focus_ring.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QWidget>

FocusRing::FocusRing(QObject* parent) : QObject(parent) {
    qApp->installEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // A popup hands the focus back to where it was: the ring stays as it was.
        if (reason != Qt::PopupFocusReason)
            keyboard_ = reason != Qt::MouseFocusReason;
        widget->update();
    } else if (event->type() == QEvent::FocusOut) {
        widget->update();
    } else if (event->type() == QEvent::Paint && keyboard_ &&
               widget == QApplication::focusWidget()) {
        return PaintWithRing(*widget, event);
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
