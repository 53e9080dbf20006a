#pragma once

#include <QMenu>

class SettingsStore;

// The Open button's menu of the sources opened lately, as kept in the
// settings; files gone since are left out when it opens.
class RecentFilesMenu : public QMenu {
    Q_OBJECT

public:
    static constexpr const char* NoneText = "No recent files";

    RecentFilesMenu(SettingsStore& settings, QWidget* parent);

    // A source has been opened: it goes first in the kept list.
    void Remember(const QString& path);

signals:
    void OpenRequested(const QString& path);

private:
    void Fill();

    SettingsStore& settings_;
};
