#include "ui/program_icon.h"

#include <QColor>
#include <QLineF>
#include <QPainter>
#include <QRectF>
#include <QTextStream>
#include <cmath>
#include <vector>

namespace {

const QColor kBackground(0x2b, 0x5d, 0x8c);
const QColor kBar(0xe8, 0xf1, 0xfa);
const QColor kCut(0xf2, 0x9f, 0x38);

// The drawing at side s, shared by the painted and the SVG icon so they cannot differ.
struct IconShapes {
    QRectF Background;
    qreal CornerRadius = 0;
    std::vector<QRectF> Bars; // a waveform; each bar fully rounded
    QLineF Cut;               // the kerf, with round ends
    qreal CutWidth = 0;
};

IconShapes ShapesAt(qreal s) {
    IconShapes shapes;
    shapes.Background = QRectF(0, 0, s, s);
    shapes.CornerRadius = s * 0.18;
    const int bars = 9;
    const qreal barWidth = s * 0.06;
    for (int i = 0; i < bars; ++i) {
        const qreal x = s * 0.14 + i * (s * 0.72 - barWidth) / (bars - 1);
        const qreal height = s * (0.18 + 0.5 * std::abs(std::sin(i * 1.3 + 0.4)));
        shapes.Bars.emplace_back(x, (s - height) / 2, barWidth, height);
    }
    shapes.Cut = QLineF(s * 0.58, s * 0.1, s * 0.42, s * 0.9);
    shapes.CutWidth = s * 0.07;
    return shapes;
}

QString SvgRect(const QRectF& rect, qreal radius, const QColor& colour) {
    return QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" "
                          "fill=\"%6\"/>\n")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height())
        .arg(radius)
        .arg(colour.name());
}

} // namespace

QPixmap ProgramIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const IconShapes shapes = ShapesAt(size);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBackground);
    painter.drawRoundedRect(shapes.Background, shapes.CornerRadius, shapes.CornerRadius);
    painter.setBrush(kBar);
    for (const QRectF& bar : shapes.Bars)
        painter.drawRoundedRect(bar, bar.width() / 2, bar.width() / 2);
    painter.setPen(QPen(kCut, shapes.CutWidth, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(shapes.Cut);
    return pixmap;
}

QString ProgramIconSvg() {
    const int side = 256;
    const IconShapes shapes = ShapesAt(side);
    QString svg;
    QTextStream out(&svg);
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << side << "\" height=\"" << side
        << "\" viewBox=\"0 0 " << side << " " << side << "\">\n";
    out << SvgRect(shapes.Background, shapes.CornerRadius, kBackground);
    for (const QRectF& bar : shapes.Bars)
        out << SvgRect(bar, bar.width() / 2, kBar);
    out << QStringLiteral("  <line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\" "
                          "stroke-width=\"%6\" stroke-linecap=\"round\"/>\n")
               .arg(shapes.Cut.x1())
               .arg(shapes.Cut.y1())
               .arg(shapes.Cut.x2())
               .arg(shapes.Cut.y2())
               .arg(kCut.name())
               .arg(shapes.CutWidth);
    out << "</svg>\n";
    return svg;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(ProgramIconPixmap(size));
    return icon;
}
