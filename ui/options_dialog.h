#pragma once

#include "ui/settings_store.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

// The Options dialog: shows the settings and returns the user's choice. It
// never touches the settings store itself.
class TOptions : public QDialog {
    Q_OBJECT

public:
    explicit TOptions(QWidget* parent = nullptr);

    // Fills the check boxes from the settings in effect, then runs modally.
    int ShowWith(const SettingsStore::Values& values);

    SettingsStore::Values Chosen() const;

protected:
    // Escape is bound to neither button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QCheckBox* preloadBox_ = nullptr;
    QCheckBox* saveFrameBox_ = nullptr;
    QCheckBox* id3v2Box_ = nullptr;
    QCheckBox* id3v24Box_ = nullptr;
    QCheckBox* rebuildBox_ = nullptr;
    QCheckBox* exactBox_ = nullptr;
};
