#pragma once

#include "ui/platform_services.h"

// Message boxes and beeps through QMessageBox and QApplication::beep.
class QtMessageBoxes : public MessageBoxes {
public:
    void Information(QWidget* parent, const QString& text) override;
    void Warning(QWidget* parent, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
    OverwriteAnswer AskOverwrite(QWidget* parent, const QString& text) override;
    bool AskYesNo(QWidget* parent, const QString& text) override;
    void ErrorBeep() override;
    void InformationBeep() override;
};

// The open-file chooser (filter "(*.mp3)") and the folder chooser, through QFileDialog.
class QtFileChoosers : public FileChoosers {
public:
    std::optional<QString> ChooseSourceFile(QWidget* parent) override;
    std::optional<QString> ChooseCueToOpen(QWidget* parent, const QString& title) override;
    std::optional<QString> ChooseCueToSave(QWidget* parent, const QString& title,
                                           const QString& suggested) override;
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                        const QString& preselected) override;
    QStringList ChooseFilesToJoin(QWidget* parent) override;
    std::optional<QString> ChooseJoinTarget(QWidget* parent, const QString& suggested) override;
    std::optional<QString> ChooseChapterFile(QWidget* parent, const QString& suggested) override;

private:
    QString lastFolder_;
};

// Documents, mail and web links through QDesktopServices; help without a
// browser in the program's help window.
class QtDesktopShell : public DesktopShell {
public:
    void OpenUrl(const QString& url) override;
    void OpenHelp(QWidget* parent, const QString& path) override;
};
