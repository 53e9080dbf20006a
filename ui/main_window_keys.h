#pragma once

#include <QObject>
#include <cstdint>

class QKeyEvent;
class QWidget;
class TForm1;

// The main window's keys, taken before any control sees them unless the
// focus is in a text field: Space plays or pauses (ticks the row in the
// list), I and O mark the selection at the play position, P plays it, A adds
// it to the list, the arrow, page, Home and End keys move the play position
// (Shift and an arrow by one frame of audio),
// Delete, F2 and Enter work on the list's row, Ctrl+O, Ctrl+S and Ctrl+P
// open, split and split by parts, Ctrl+Z undoes a change to the list and
// Ctrl+Shift+Z or Ctrl+Y redoes it, + and - zoom the overview, F1 shows help.
// Each key does what its button does, and nothing while that button is disabled.
class MainWindowKeys : public QObject {
    Q_OBJECT

public:
    explicit MainWindowKeys(TForm1& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Handle(QWidget& target, const QKeyEvent& key);
    bool HandleListKey(const QKeyEvent& key);
    bool HandleUndoKey(const QKeyEvent& key, Qt::KeyboardModifiers mods);
    bool Press(const char* buttonName);
    void PlayOrPause();
    void MoveBy(std::int64_t ms);
    void MoveByFrame(int direction);
    std::int32_t PlayingPosition() const;
    void MoveTo(std::int32_t position);
    static bool IsTextField(QWidget& target);
    static bool IsList(QWidget& target);

    TForm1& window_;
};
