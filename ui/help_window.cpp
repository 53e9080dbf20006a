#include "ui/help_window.h"

#include "state/help_document.h"
#include "ui/app_context.h"
#include "ui/platform_services.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget* owner) : QDialog(owner) {
    setObjectName("HelpWindow");
    setWindowTitle("Kerfline Help");
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("HelpBrowser");
    browser_->setOpenExternalLinks(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText("&Close");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addWidget(buttons);
    resize(720, 640);
}

HelpWindow* HelpWindow::Show(QWidget* owner, const QString& path) {
    auto* window = owner->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (window == nullptr)
        window = new HelpWindow(owner);
    window->browser_->setSource(QUrl::fromLocalFile(path));
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void ShowHelp(const AppContext& context, QWidget* parent) {
    const Result<std::filesystem::path> found =
        FindHelpDocument(QFile::encodeName(context.ProgramFolder).toStdString());
    if (!found) {
        context.Messages->Error(parent, QFile::decodeName(ErrorMessage(found.Failure()).c_str()));
        return;
    }
    context.Shell->OpenHelp(parent, QFile::decodeName(found.Value().c_str()));
}
