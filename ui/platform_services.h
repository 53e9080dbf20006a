#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// Message boxes and the system beep. Tests replace them with a recorder.
class MessageBoxes {
public:
    enum class OverwriteAnswer { Yes, No, YesToAll };

    virtual ~MessageBoxes() = default;
    virtual void Information(QWidget* parent, const QString& text) = 0; // caption "Information", OK
    virtual void Warning(QWidget* parent, const QString& text) = 0;     // OK
    virtual void Error(QWidget* parent, const QString& text) = 0;       // OK
    // Confirmation with Yes, No and Yes to All.
    virtual OverwriteAnswer AskOverwrite(QWidget* parent, const QString& text) = 0;
    // Confirmation with Yes and No; true for Yes.
    virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
    virtual void ErrorBeep() = 0;
    virtual void InformationBeep() = 0;
};

// The open-file and folder choosers. Tests replace them with a script.
class FileChoosers {
public:
    virtual ~FileChoosers() = default;
    // One path, or nothing when the user cancels. The filter is "(*.mp3)".
    virtual std::optional<QString> ChooseSourceFile(QWidget* parent) = 0;
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                                const QString& preselected) = 0;
    // A cue sheet to read, or a name to write one under (the filter is "Cue sheets (*.cue)").
    virtual std::optional<QString> ChooseCueToOpen(QWidget* parent, const QString& title) = 0;
    virtual std::optional<QString> ChooseCueToSave(QWidget* parent, const QString& title,
                                                   const QString& suggested) = 0;
    // .mp3 files to join, empty when the user cancels; the name of the joined
    // file (not asked about when it exists: the join asks).
    virtual QStringList ChooseFilesToJoin(QWidget* parent) = 0;
    virtual std::optional<QString> ChooseJoinTarget(QWidget* parent, const QString& suggested) = 0;
    // The name of the file "Save as chapters" writes (not asked about when it exists).
    virtual std::optional<QString> ChooseChapterFile(QWidget* parent, const QString& suggested) = 0;
};

// The desktop shell: opens documents, mail and web links.
class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    virtual void OpenUrl(const QString& url) = 0;
    // The help document: in the desktop's browser, else in a window of the program's own.
    virtual void OpenHelp(QWidget* parent, const QString& path) = 0;
};
