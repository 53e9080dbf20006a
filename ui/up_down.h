#pragma once

#include <QWidget>
#include <cstdint>

class QToolButton;

// An up-down arrow pair attached to a read-only field: holds a position from
// 0 to its maximum (the full 32-bit range), steps by one, never wraps.
class UpDownButtons : public QWidget {
    Q_OBJECT

public:
    explicit UpDownButtons(QWidget* parent = nullptr);

    std::int32_t Position() const { return position_; }
    void SetPosition(std::int32_t position);
    std::int32_t Maximum() const { return maximum_; }
    void SetMaximum(std::int32_t maximum);

    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

    QSize sizeHint() const override;

signals:
    // After an arrow click has stepped the position (or found it at a limit).
    void Clicked();

private:
    void Step(int delta);

    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    std::int32_t position_ = 0;
    std::int32_t maximum_ = 100;
};
