#include "ui/settings_store.h"

#include <QSettings>

namespace {

QSettings OpenStore(const QString& organization, const QString& application) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, organization, application);
}

constexpr const char* WindowSizeName = "Window/Size";
constexpr const char* RecentFilesName = "Window/RecentFiles";

// Reads one value: any integer other than 0 is on.
std::optional<QString> ReadFlag(const QSettings& store, const QString& name, bool& flag) {
    if (!store.contains(name)) {
        return SettingsStore::GetFailedText(name);
    }
    bool isInteger = false;
    const int value = store.value(name).toString().trimmed().toInt(&isInteger);
    if (!isInteger) {
        return SettingsStore::InvalidTypeText(name);
    }
    flag = value != 0;
    return std::nullopt;
}

} // namespace

SettingsStore::SettingsStore(QString organization, QString application)
    : organization_(std::move(organization)), application_(std::move(application)) {}

QString SettingsStore::GetFailedText(const QString& name) {
    return QStringLiteral("Failed to get data for '%1'").arg(name);
}

QString SettingsStore::InvalidTypeText(const QString& name) {
    return QStringLiteral("Invalid data type for '%1'").arg(name);
}

QString SettingsStore::SetFailedText(const QString& name) {
    return QStringLiteral("Failed to set data for '%1'").arg(name);
}

bool SettingsStore::KeyExists() const {
    const QSettings store = OpenStore(organization_, application_);
    return !store.childKeys().isEmpty();
}

SettingsStore::ReadOutcome SettingsStore::ReadAtStartUp() {
    ReadOutcome outcome;
    // Until a value is read it stays off.
    outcome.Settings = Values{false, false, false, false, false, false};
    if (!KeyExists()) {
        outcome.Error = Write(Values{});
        if (!outcome.Error) {
            outcome.Settings = Values{};
        }
        return outcome;
    }
    const QSettings store = OpenStore(organization_, application_);
    outcome.Error = ReadFlag(store, PreloadName, outcome.Settings.Preload);
    if (!outcome.Error) {
        outcome.Error = ReadFlag(store, SaveFrameName, outcome.Settings.SaveFrame);
    }
    ReadFlag(store, Id3v2Name, outcome.Settings.Id3v2);
    ReadFlag(store, RebuildInfoFrameName, outcome.Settings.RebuildInfoFrame);
    ReadFlag(store, ExactCutsName, outcome.Settings.ExactCuts);
    ReadFlag(store, Id3v24Name, outcome.Settings.Id3v24);
    return outcome;
}

std::optional<QString> SettingsStore::Write(const Values& values) {
    QSettings store = OpenStore(organization_, application_);
    store.setValue(PreloadName, values.Preload ? 1 : 0);
    store.setValue(SaveFrameName, values.SaveFrame ? 1 : 0);
    store.setValue(Id3v2Name, values.Id3v2 ? 1 : 0);
    store.setValue(RebuildInfoFrameName, values.RebuildInfoFrame ? 1 : 0);
    store.setValue(ExactCutsName, values.ExactCuts ? 1 : 0);
    store.setValue(Id3v24Name, values.Id3v24 ? 1 : 0);
    store.sync();
    if (store.status() != QSettings::NoError) {
        return SetFailedText(PreloadName);
    }
    return std::nullopt;
}

std::optional<QSize> SettingsStore::ReadWindowSize() const {
    const QSize size = OpenStore(organization_, application_).value(WindowSizeName).toSize();
    if (!size.isValid() || size.isEmpty()) {
        return std::nullopt;
    }
    return size;
}

void SettingsStore::WriteWindowSize(const QSize& size) {
    OpenStore(organization_, application_).setValue(WindowSizeName, size);
}

QStringList SettingsStore::ReadRecentFiles() const {
    return OpenStore(organization_, application_).value(RecentFilesName).toStringList();
}

void SettingsStore::WriteRecentFiles(const QStringList& files) {
    OpenStore(organization_, application_).setValue(RecentFilesName, files);
}
