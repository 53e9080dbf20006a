#include "ui/program_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2b, 0x5d, 0x8c));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);

    // Bars of a waveform.
    painter.setBrush(QColor(0xe8, 0xf1, 0xfa));
    const int bars = 9;
    const qreal barWidth = s * 0.06;
    for (int i = 0; i < bars; ++i) {
        const qreal x = s * 0.14 + i * (s * 0.72 - barWidth) / (bars - 1);
        const qreal height = s * (0.18 + 0.5 * std::abs(std::sin(i * 1.3 + 0.4)));
        painter.drawRoundedRect(QRectF(x, (s - height) / 2, barWidth, height), barWidth / 2,
                                barWidth / 2);
    }
    // The kerf: a cut through the middle.
    QPen cut(QColor(0xf2, 0x9f, 0x38), s * 0.07, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(cut);
    painter.drawLine(QPointF(s * 0.58, s * 0.1), QPointF(s * 0.42, s * 0.9));
    return pixmap;
}

} // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        icon.addPixmap(DrawIcon(size));
    }
    return icon;
}
