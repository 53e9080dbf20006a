#pragma once

#include <QObject>

// A clear ring around the control with the keyboard focus, in every window of
// the program, drawn over whatever the style draws. It shows once the focus
// has moved other than by the mouse, and goes when the mouse moves it.
class FocusRing : public QObject {
    Q_OBJECT

public:
    explicit FocusRing(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool PaintWithRing(QWidget& widget, QEvent* paint);

    bool keyboard_ = true;
};
