#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

// The settings in the user's settings store (QSettings, organization
// "Orrindale", application "Kerfline"), each an integer, 1 for on and 0 for off.
class SettingsStore {
public:
    struct Values {
        bool Preload = false;
        bool SaveFrame = true;
        bool Id3v2 = false;
        bool RebuildInfoFrame = false;
        bool ExactCuts = false;
        bool Id3v24 = false;
    };

    // What a read at start-up gives: the values in effect and, when the store
    // failed, its error text ("Failed to get data for 'Preload'", ...).
    struct ReadOutcome {
        Values Settings;
        std::optional<QString> Error;
    };

    static constexpr const char* Organization = "Orrindale";
    static constexpr const char* Application = "Kerfline";
    static constexpr const char* PreloadName = "Preload";
    static constexpr const char* SaveFrameName = "Saveframe";
    static constexpr const char* Id3v2Name = "Id3v2";
    static constexpr const char* RebuildInfoFrameName = "RebuildInfoFrame";
    static constexpr const char* ExactCutsName = "ExactCuts";
    static constexpr const char* Id3v24Name = "Id3v24";

    SettingsStore(QString organization = Organization, QString application = Application);

    // Reads the values; on first start writes the defaults (0, 1, 0, 0, 0, 0). A
    // value not yet read when an error stops the steps stays off. "Id3v2",
    // "RebuildInfoFrame", "ExactCuts" and "Id3v24" came later: missing or
    // mistyped, they are off, unreported.
    ReadOutcome ReadAtStartUp();
    bool KeyExists() const;
    // Writes the values; the error text when the store refuses.
    std::optional<QString> Write(const Values& values);

    // The window's size and the recent files live in a group of their own, so
    // that they never stand in for the option values that KeyExists looks for.
    std::optional<QSize> ReadWindowSize() const;
    void WriteWindowSize(const QSize& size);
    QStringList ReadRecentFiles() const;
    void WriteRecentFiles(const QStringList& files);

    static QString GetFailedText(const QString& name);
    static QString InvalidTypeText(const QString& name);
    static QString SetFailedText(const QString& name);

private:
    QString organization_;
    QString application_;
};
