#include "ui/qt_platform_services.h"

#include "ui/help_window.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

namespace {

// Messages carry file names and tag texts: "<b>" in one is shown, not obeyed.
void ShowPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
}

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    ShowPlainText(box);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

QString ApplicationCaption() {
    const QString name = QApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Kerfline") : name;
}

// An .mp3 file's name to write; the caller asks before replacing it.
std::optional<QString> ChooseMp3ToWrite(QWidget* parent, const QString& title,
                                        const QString& suggested) {
    QFileDialog dialog(parent, title, suggested, QStringLiteral("(*.mp3)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("mp3"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

void QtMessageBoxes::Information(QWidget* parent, const QString& text) {
    ShowBox(parent, QMessageBox::Information, QStringLiteral("Information"), text);
}

void QtMessageBoxes::Warning(QWidget* parent, const QString& text) {
    ShowBox(parent, QMessageBox::Warning, QStringLiteral("Warning"), text);
}

void QtMessageBoxes::Error(QWidget* parent, const QString& text) {
    ShowBox(parent, QMessageBox::Critical, ApplicationCaption(), text);
}

MessageBoxes::OverwriteAnswer QtMessageBoxes::AskOverwrite(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll, parent);
    ShowPlainText(box);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return OverwriteAnswer::Yes;
    case QMessageBox::YesToAll:
        return OverwriteAnswer::YesToAll;
    default:
        return OverwriteAnswer::No;
    }
}

// No is the default: Enter keeps what the question is about.
bool QtMessageBoxes::AskYesNo(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    ShowPlainText(box);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void QtMessageBoxes::ErrorBeep() {
    QApplication::beep();
}

void QtMessageBoxes::InformationBeep() {
    QApplication::beep();
}

std::optional<QString> QtFileChoosers::ChooseSourceFile(QWidget* parent) {
    const QString path = QFileDialog::getOpenFileName(parent, QStringLiteral("Open"), lastFolder_,
                                                      QStringLiteral("(*.mp3)"));
    if (path.isEmpty()) {
        return std::nullopt;
    }
    lastFolder_ = QFileInfo(path).absolutePath();
    return path;
}

std::optional<QString> QtFileChoosers::ChooseFolder(QWidget* parent, const QString& title,
                                                    const QString& preselected) {
    const QString folder = QFileDialog::getExistingDirectory(parent, title, preselected);
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

std::optional<QString> QtFileChoosers::ChooseCueToOpen(QWidget* parent, const QString& title) {
    const QString path = QFileDialog::getOpenFileName(parent, title, lastFolder_,
                                                      QStringLiteral("Cue sheets (*.cue)"));
    if (path.isEmpty()) {
        return std::nullopt;
    }
    lastFolder_ = QFileInfo(path).absolutePath();
    return path;
}

std::optional<QString> QtFileChoosers::ChooseCueToSave(QWidget* parent, const QString& title,
                                                       const QString& suggested) {
    QFileDialog dialog(parent, title, suggested, QStringLiteral("Cue sheets (*.cue)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without a suffix gets ".cue": the open choosers show only cue sheets.
    dialog.setDefaultSuffix(QStringLiteral("cue"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

QStringList QtFileChoosers::ChooseFilesToJoin(QWidget* parent) {
    const QStringList paths = QFileDialog::getOpenFileNames(parent, QStringLiteral("Add files"),
                                                            lastFolder_, QStringLiteral("(*.mp3)"));
    if (!paths.isEmpty())
        lastFolder_ = QFileInfo(paths.constFirst()).absolutePath();
    return paths;
}

std::optional<QString> QtFileChoosers::ChooseJoinTarget(QWidget* parent, const QString& suggested) {
    return ChooseMp3ToWrite(parent, QStringLiteral("Join into"), suggested);
}

std::optional<QString> QtFileChoosers::ChooseChapterFile(QWidget* parent,
                                                         const QString& suggested) {
    return ChooseMp3ToWrite(parent, QStringLiteral("Save as chapters"), suggested);
}

void QtDesktopShell::OpenUrl(const QString& url) {
    const QUrl target = QUrl::fromUserInput(url);
    QDesktopServices::openUrl(target);
}

void QtDesktopShell::OpenHelp(QWidget* parent, const QString& path) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        HelpWindow::Show(parent->window(), path);
}
