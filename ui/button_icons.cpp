#include "ui/button_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

constexpr int Size = 16;
const QColor Ink(0x20, 0x3a, 0x5c);
const QColor Mark(0x2f, 0x7d, 0xd1);
const QColor Go(0x2e, 0x9e, 0x4f);

QIcon Drawn(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (const qreal scale : {1.0, 2.0}) {
        QPixmap pixmap(static_cast<int>(Size * scale), static_cast<int>(Size * scale));
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale, scale);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A square bracket opening to the right (left side) or to the left.
void Bracket(QPainter& painter, qreal x, bool opensRight) {
    const qreal arm = opensRight ? 3.5 : -3.5;
    QPainterPath path;
    path.moveTo(x + arm, 2.5);
    path.lineTo(x, 2.5);
    path.lineTo(x, 13.5);
    path.lineTo(x + arm, 13.5);
    painter.setPen(QPen(Ink, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
}

// A small triangle pointing down onto the bracket: "here".
void Marker(QPainter& painter, qreal x) {
    QPainterPath path;
    path.moveTo(x - 3.5, 5.0);
    path.lineTo(x + 3.5, 5.0);
    path.lineTo(x, 10.0);
    path.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Mark);
    painter.drawPath(path);
}

} // namespace

QIcon SelectionStartIcon() {
    return Drawn([](QPainter& painter) {
        Bracket(painter, 3.0, true);
        Marker(painter, 10.5);
    });
}

QIcon SelectionEndIcon() {
    return Drawn([](QPainter& painter) {
        Bracket(painter, 13.0, false);
        Marker(painter, 5.5);
    });
}

QIcon PlaySelectionIcon() {
    return Drawn([](QPainter& painter) {
        Bracket(painter, 2.0, true);
        Bracket(painter, 14.0, false);
        QPainterPath play;
        play.moveTo(5.5, 4.5);
        play.lineTo(11.5, 8.0);
        play.lineTo(5.5, 11.5);
        play.closeSubpath();
        painter.setPen(Qt::NoPen);
        painter.setBrush(Go);
        painter.drawPath(play);
    });
}
