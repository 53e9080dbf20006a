#pragma once

#include <QSlider>
#include <cstdint>

// The position slider: a horizontal slider with ticks below, one every 600
// positions, that also draws a selection range. Start and end are independent
// and may stand in either order.
class PositionSlider : public QSlider {
    Q_OBJECT

public:
    static constexpr int TickEvery = 600;

    explicit PositionSlider(QWidget* parent = nullptr);

    std::int32_t SelStart() const { return selStart_; }
    std::int32_t SelEnd() const { return selEnd_; }
    void SetSelStart(std::int32_t position);
    void SetSelEnd(std::int32_t position);
    void SetSelection(std::int32_t start, std::int32_t end);

    // The x coordinate, in widget pixels, at which a position is drawn.
    int PixelOf(std::int32_t position) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect TrackRect() const;
    void DrawTrack(QPainter& painter) const;

    std::int32_t selStart_ = 0;
    std::int32_t selEnd_ = 0;
};
