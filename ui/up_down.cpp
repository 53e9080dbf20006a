#include "ui/up_down.h"

#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QToolButton* ArrowButton(Qt::ArrowType arrow, const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    button->setFixedWidth(16);
    return button;
}

} // namespace

UpDownButtons::UpDownButtons(QWidget* parent) : QWidget(parent) {
    up_ = ArrowButton(Qt::UpArrow, "Up", this);
    down_ = ArrowButton(Qt::DownArrow, "Down", this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize UpDownButtons::sizeHint() const {
    return {16, 22};
}

void UpDownButtons::SetPosition(std::int32_t position) {
    position_ = std::clamp<std::int32_t>(position, 0, maximum_);
}

void UpDownButtons::SetMaximum(std::int32_t maximum) {
    maximum_ = std::max<std::int32_t>(0, maximum);
    position_ = std::min(position_, maximum_);
}

void UpDownButtons::Step(int delta) {
    const std::int64_t next = static_cast<std::int64_t>(position_) + delta;
    position_ = static_cast<std::int32_t>(std::clamp<std::int64_t>(next, 0, maximum_));
    emit Clicked();
}
