#pragma once

#include <QWidget>

class QToolButton;

// The player control: the five buttons Play, Pause, Stop, Next and Prev. It
// enables none of them by itself; the window sets one of the three sets.
class PlayerControl : public QWidget {
    Q_OBJECT

public:
    enum class Button { Play, Pause, Stop, Next, Prev };
    enum class ButtonSet { None, Stopped, Playing };

    explicit PlayerControl(QWidget* parent = nullptr);

    void SetEnabledButtons(ButtonSet set);
    ButtonSet EnabledButtons() const { return set_; }
    QToolButton* ButtonOf(Button button) const;

signals:
    void Clicked(PlayerControl::Button button);

private:
    QToolButton* buttons_[5] = {};
    ButtonSet set_ = ButtonSet::None;
};
