#include "ui/player_control.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

namespace {

struct ButtonLook {
    const char* Name;
    const char* Hint;
    QStyle::StandardPixmap Icon;
};

constexpr ButtonLook Looks[] = {
    {"Play", "Play", QStyle::SP_MediaPlay},         {"Pause", "Pause", QStyle::SP_MediaPause},
    {"Stop", "Stop", QStyle::SP_MediaStop},         {"Next", "Next", QStyle::SP_MediaSkipForward},
    {"Prev", "Prev", QStyle::SP_MediaSkipBackward},
};

bool InSet(PlayerControl::Button button, PlayerControl::ButtonSet set) {
    using B = PlayerControl::Button;
    switch (set) {
    case PlayerControl::ButtonSet::Stopped:
        return button == B::Play || button == B::Next || button == B::Prev;
    case PlayerControl::ButtonSet::Playing:
        return button != B::Play;
    case PlayerControl::ButtonSet::None:
        break;
    }
    return false;
}

} // namespace

PlayerControl::PlayerControl(QWidget* parent) : QWidget(parent) {
    setObjectName("MediaPlayer1");
    setToolTip("Media Player");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    for (int i = 0; i < 5; ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(Looks[i].Name);
        button->setToolTip(Looks[i].Hint);
        button->setIcon(style()->standardIcon(Looks[i].Icon));
        button->setIconSize(QSize(16, 16));
        button->setFixedSize(26, 26);
        const auto which = static_cast<Button>(i);
        connect(button, &QToolButton::clicked, this, [this, which] { emit Clicked(which); });
        layout->addWidget(button);
        buttons_[i] = button;
    }
    SetEnabledButtons(ButtonSet::None);
}

void PlayerControl::SetEnabledButtons(ButtonSet set) {
    set_ = set;
    for (int i = 0; i < 5; ++i) {
        buttons_[i]->setEnabled(InSet(static_cast<Button>(i), set));
    }
}

QToolButton* PlayerControl::ButtonOf(Button button) const {
    return buttons_[static_cast<int>(button)];
}
