#include "ui/position_slider.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(PositionSliderTest, KeysStepByOneAndTwoWithATickEveryMinuteOfSteps) {
    PositionSlider slider;
    EXPECT_EQ(slider.maximum(), 0);
    EXPECT_EQ(slider.tickInterval(), 600);
    EXPECT_EQ(slider.tickPosition(), QSlider::TicksBelow);
    slider.setRange(0, 2000);
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(slider.value(), 1);
    QTest::keyClick(&slider, Qt::Key_PageUp);
    EXPECT_EQ(slider.value(), 3);
}

TEST(PositionSliderTest, TheSelectionIsKeptInEitherOrderAndDrawnBetweenItsEnds) {
    PositionSlider slider;
    slider.resize(400, 30);
    slider.setRange(0, 100);
    slider.SetSelection(80, 20);
    EXPECT_EQ(slider.SelStart(), 80);
    EXPECT_EQ(slider.SelEnd(), 20);
    EXPECT_LT(slider.PixelOf(20), slider.PixelOf(80));
    EXPECT_EQ(slider.PixelOf(500), slider.PixelOf(100));

    // The band is drawn in the highlight colour between the two ends only.
    const QImage image = slider.grab().toImage();
    const QColor band = slider.palette().color(QPalette::Highlight);
    const auto bandAt = [&](int x) {
        for (int y = 0; y < image.height(); ++y) {
            if (image.pixelColor(x, y) == band) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(bandAt((slider.PixelOf(30) + slider.PixelOf(70)) / 2));
    EXPECT_FALSE(bandAt(slider.PixelOf(90)));
}

} // namespace
