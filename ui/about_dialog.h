#pragma once

#include <QDialog>

class DesktopShell;

// The About box: title, version, and the maker's mail and web links, which
// open through the desktop.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* MailAddress = "support@kerfline.example";
    static constexpr const char* WebAddress = "https://kerfline.example";

    TAboutBox(DesktopShell& shell, QWidget* parent = nullptr);

    // The mail link starts a new message with the program's name as subject.
    static QString MailUrl();

private:
    DesktopShell& shell_;
};
