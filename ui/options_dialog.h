#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// The Options dialog: shows the two settings and returns the user's choice. It
// never touches the settings store itself.
class TOptions : public QDialog {
    Q_OBJECT

public:
    explicit TOptions(QWidget* parent = nullptr);

    // Fills the check boxes from the settings in effect, then runs modally.
    int ShowWith(bool preload, bool saveFrame);

    bool PreloadChecked() const;
    bool SaveFrameChecked() const;

protected:
    // Escape is bound to neither button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QCheckBox* preloadBox_ = nullptr;
    QCheckBox* saveFrameBox_ = nullptr;
};
