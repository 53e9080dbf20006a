#include "ui/recent_files_menu.h"

#include "state/recent_files.h"
#include "ui/settings_store.h"

#include <QDir>
#include <QFile>

namespace {

std::vector<std::string> LocalPaths(const QStringList& files) {
    std::vector<std::string> paths;
    for (const QString& file : files) {
        paths.push_back(QFile::encodeName(file).toStdString());
    }
    return paths;
}

QStringList ShownPaths(const std::vector<std::string>& paths) {
    QStringList files;
    for (const std::string& path : paths) {
        files.append(QFile::decodeName(QByteArray::fromStdString(path)));
    }
    return files;
}

} // namespace

RecentFilesMenu::RecentFilesMenu(SettingsStore& settings, QWidget* parent)
    : QMenu(parent), settings_(settings) {
    setObjectName("RecentFilesMenu");
    connect(this, &QMenu::aboutToShow, this, &RecentFilesMenu::Fill);
}

void RecentFilesMenu::Remember(const QString& path) {
    const std::vector<std::string> kept = LocalPaths(settings_.ReadRecentFiles());
    settings_.WriteRecentFiles(
        ShownPaths(WithRecentFile(kept, QFile::encodeName(path).toStdString())));
}

void RecentFilesMenu::Fill() {
    clear();
    const QStringList files =
        ShownPaths(ExistingRecentFiles(LocalPaths(settings_.ReadRecentFiles())));
    for (const QString& file : files) {
        // A lone "&" in a menu text marks a shortcut letter and is not drawn.
        const QString shown = QDir::toNativeSeparators(file).replace('&', "&&");
        addAction(shown, this, [this, file] { emit OpenRequested(file); });
    }
    if (files.isEmpty()) {
        addAction(NoneText)->setEnabled(false);
    }
}
