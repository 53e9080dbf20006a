#include "ui/about_dialog.h"

#include "kerfline_version.h"
#include "ui/platform_services.h"
#include "ui/program_icon.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* LinkLabel(const QString& url, const QString& text, QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(url, text), parent);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    return label;
}

} // namespace

QString TAboutBox::MailUrl() {
    return QStringLiteral("mailto:%1?subject=Kerfline").arg(MailAddress);
}

TAboutBox::TAboutBox(DesktopShell& shell, QWidget* parent) : QDialog(parent), shell_(shell) {
    setObjectName("AboutBox");
    setWindowTitle("About");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* icon = new QLabel(this);
    icon->setObjectName("ProgramIcon");
    icon->setPixmap(ProgramIcon().pixmap(48, 48));

    auto* title = new QLabel(QStringLiteral("Kerfline %1").arg(KerflineVersion), this);
    title->setObjectName("ProductName");
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);

    auto* mailCaption = new QLabel("E-mail: ", this);
    auto* mail = LinkLabel(MailUrl(), MailAddress, this);
    mail->setObjectName("MailLink");
    auto* webCaption = new QLabel("Web:", this);
    auto* web = LinkLabel(WebAddress, WebAddress, this);
    web->setObjectName("WebLink");
    connect(mail, &QLabel::linkActivated, this,
            [this](const QString& url) { shell_.OpenUrl(url); });
    connect(web, &QLabel::linkActivated, this, [this](const QString& url) { shell_.OpenUrl(url); });

    auto* links = new QGridLayout;
    links->addWidget(mailCaption, 0, 0);
    links->addWidget(mail, 0, 1);
    links->addWidget(webCaption, 1, 0);
    links->addWidget(web, 1, 1);
    links->setColumnStretch(1, 1);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addSpacing(8);
    text->addLayout(links);

    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* close = new QPushButton("&Close", this);
    close->setObjectName("CloseButton");
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}
