#include "ui/main_window_keys.h"

#include "split/audio_file.h"
#include "ui/list_file_commands.h"
#include "ui/main_window.h"
#include "ui/media_player.h"
#include "ui/overview_strip.h"
#include "ui/position_slider.h"
#include "ui/split_list_panel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QTreeWidget>
#include <algorithm>

namespace {

constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kMinuteMs = 60 * kSecondMs;

// One frame of the open source's audio, in ms; 0 before a source is open.
double FrameMs(const AppContext& context) {
    const SourceFormat& format = context.Session.Format();
    if (format.SampleRateHz <= 0)
        return 0.0;
    const AudioFormat audio{format.VersionId, format.Layer, format.SampleRateHz, 0};
    return 1000.0 * audio.SamplesPerFrame() / format.SampleRateHz;
}

} // namespace

MainWindowKeys::MainWindowKeys(TForm1& window) : QObject(&window), window_(window) {
    qApp->installEventFilter(this);
}

bool MainWindowKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    // Only keys for the main window itself, not for its dialogs.
    if (widget == nullptr || widget->window() != &window_)
        return false;
    return Handle(*widget, static_cast<const QKeyEvent&>(*event));
}

bool MainWindowKeys::IsTextField(QWidget& target) {
    QWidget* focus = &target;
    if (auto* edit = qobject_cast<QLineEdit*>(focus))
        return !edit->isReadOnly();
    return qobject_cast<QTextEdit*>(focus) != nullptr ||
           qobject_cast<QPlainTextEdit*>(focus) != nullptr ||
           qobject_cast<QAbstractSpinBox*>(focus) != nullptr;
}

bool MainWindowKeys::IsList(QWidget& target) {
    // The list's viewport or the list itself.
    return qobject_cast<QTreeWidget*>(&target) != nullptr ||
           qobject_cast<QTreeWidget*>(target.parentWidget()) != nullptr;
}

bool MainWindowKeys::Handle(QWidget& target, const QKeyEvent& key) {
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    if (key.key() == Qt::Key_F1 && mods == Qt::NoModifier) {
        window_.Button1Click();
        return true;
    }
    if (IsTextField(target))
        return false;
    if (HandleUndoKey(key, mods))
        return true;
    if (mods == Qt::ControlModifier) {
        switch (key.key()) {
        case Qt::Key_O:
            return Press("BitBtn3");
        case Qt::Key_S:
            return Press("BitBtn5");
        case Qt::Key_P:
            return Press("BitBtn11");
        case Qt::Key_Left:
            MoveBy(-10 * kSecondMs);
            return true;
        case Qt::Key_Right:
            MoveBy(10 * kSecondMs);
            return true;
        default:
            return false;
        }
    }
    if (IsList(target) && HandleListKey(key))
        return true;
    if (mods == Qt::ShiftModifier && (key.key() == Qt::Key_Left || key.key() == Qt::Key_Right)) {
        MoveByFrame(key.key() == Qt::Key_Left ? -1 : 1);
        return true;
    }
    // "+" is a shifted key on most layouts.
    if (key.key() == Qt::Key_Plus && mods == Qt::ShiftModifier) {
        window_.Overview()->ZoomIn();
        return true;
    }
    if (mods != Qt::NoModifier)
        return false;
    PositionSlider& slider = *window_.TrackBar1();
    switch (key.key()) {
    case Qt::Key_Space:
        PlayOrPause();
        return true;
    case Qt::Key_I:
        return Press("BitBtn8");
    case Qt::Key_O:
        return Press("BitBtn9");
    case Qt::Key_P:
        return Press("BitBtn7");
    case Qt::Key_A:
        return Press("BitBtn6");
    case Qt::Key_Left:
        MoveBy(-kSecondMs);
        return true;
    case Qt::Key_Right:
        MoveBy(kSecondMs);
        return true;
    case Qt::Key_PageUp:
        MoveBy(-kMinuteMs);
        return true;
    case Qt::Key_PageDown:
        MoveBy(kMinuteMs);
        return true;
    case Qt::Key_Home:
        MoveTo(0);
        return true;
    case Qt::Key_End:
        MoveTo(slider.maximum());
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        window_.Overview()->ZoomIn();
        return true;
    case Qt::Key_Minus:
        window_.Overview()->ZoomOut();
        return true;
    default:
        return false;
    }
}

// Space ticks the row; Delete removes it; F2 and Enter edit it (Enter in the
// list never reaches the window's default button).
bool MainWindowKeys::HandleListKey(const QKeyEvent& key) {
    auto* panel = window_.findChild<SplitListPanel*>();
    if (panel == nullptr)
        return false;
    QTreeWidgetItem* row = panel->ListView()->currentItem();
    switch (key.key()) {
    case Qt::Key_Space:
        if (row != nullptr)
            row->setCheckState(0, row->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return true;
    case Qt::Key_Delete:
        if (panel->SelectedIndex() >= 0)
            panel->RemoveSelectedPart();
        return true;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (panel->SelectedIndex() >= 0)
            panel->EditSelectedPart();
        return true;
    default:
        return false;
    }
}

// Ctrl+Z undoes the last change to the list; Ctrl+Shift+Z and Ctrl+Y redo it.
bool MainWindowKeys::HandleUndoKey(const QKeyEvent& key, Qt::KeyboardModifiers mods) {
    const bool undo = mods == Qt::ControlModifier && key.key() == Qt::Key_Z;
    const bool redo =
        (mods == (Qt::ControlModifier | Qt::ShiftModifier) && key.key() == Qt::Key_Z) ||
        (mods == Qt::ControlModifier && key.key() == Qt::Key_Y);
    auto* commands = window_.findChild<ListFileCommands*>();
    if ((!undo && !redo) || commands == nullptr)
        return false;
    if (undo)
        commands->Undo();
    else
        commands->Redo();
    return true;
}

bool MainWindowKeys::Press(const char* buttonName) {
    auto* button = window_.findChild<QPushButton*>(buttonName);
    if (button != nullptr && button->isEnabled())
        button->click();
    return true;
}

void MainWindowKeys::PlayOrPause() {
    using Set = PlayerControl::ButtonSet;
    const Set enabled = window_.MediaPlayer1()->EnabledButtons();
    if (enabled == Set::Playing)
        window_.MediaPlayer1Click(PlayerControl::Button::Pause);
    else if (enabled == Set::Stopped)
        window_.MediaPlayer1Click(PlayerControl::Button::Play);
}

// Moves by a time, at least one slider position, as the slider's own keys do,
// from where the sound is while it plays: the slider shows it a moment late.
void MainWindowKeys::MoveBy(std::int64_t ms) {
    const std::int32_t step = window_.Context().State.PositionStep;
    if (step <= 0)
        return;
    std::int64_t positions = ms / step;
    if (positions == 0)
        positions = ms < 0 ? -1 : 1;
    MoveTo(static_cast<std::int32_t>(PlayingPosition() + positions));
}

// The slider's position, or while the player plays outside it, the player's.
// Within it the slider's own: a position's start, in units, is truncated.
std::int32_t MainWindowKeys::PlayingPosition() const {
    const SessionState& state = window_.Context().State;
    const std::int32_t value = window_.TrackBar1()->value();
    MediaPlayer& player = window_.Player();
    if (!player.IsOpen() || player.CurrentMode() != MediaPlayer::Mode::Playing)
        return value;
    const std::int64_t q = player.Position();
    if (PositionToPlayer(value, state.PositionStep, state.Koef) <= q &&
        q < PositionToPlayer(value + 1, state.PositionStep, state.Koef))
        return value;
    return PlayerToPosition(static_cast<double>(q), state.PositionStep, state.Koef);
}

// One frame of audio, finer than a slider position on any source: from the
// player's own place while it plays or stands within the slider's position,
// else from the slider's.
void MainWindowKeys::MoveByFrame(int direction) {
    const AppContext& context = window_.Context();
    const SessionState& state = context.State;
    MediaPlayer& player = window_.Player();
    const double frameMs = FrameMs(context);
    if (!player.IsOpen() || state.PositionStep <= 0 || state.Koef <= 0 || frameMs <= 0)
        return;
    const std::int32_t value = window_.TrackBar1()->value();
    const std::int64_t place = player.Position();
    const bool playing = player.CurrentMode() == MediaPlayer::Mode::Playing;
    long double ms = PositionToMs(value, state.PositionStep);
    if (playing ||
        PlayerToPosition(static_cast<double>(place), state.PositionStep, state.Koef) == value)
        ms = static_cast<long double>(place) / state.Koef;
    ms = std::clamp<long double>(ms + direction * frameMs, 0,
                                 static_cast<long double>(state.DurationMs));
    window_.MovePlayPosition(static_cast<std::int64_t>(ms * state.Koef));
}

// A key move is meant, however short: a playing player follows it even
// below the distance at which a slider change re-seeks.
void MainWindowKeys::MoveTo(std::int32_t position) {
    PositionSlider& slider = *window_.TrackBar1();
    const std::int32_t before = slider.value();
    slider.setValue(std::clamp(position, slider.minimum(), slider.maximum()));
    if (slider.value() != before)
        window_.SeekPlayerToSlider();
}
