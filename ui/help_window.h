#pragma once

#include <QDialog>

class QTextBrowser;
struct AppContext;

// The help document in a window of its own, for desktops without a browser.
// One per owner window, shown again when asked again.
class HelpWindow : public QDialog {
    Q_OBJECT

public:
    static HelpWindow* Show(QWidget* owner, const QString& path);
    QTextBrowser* Browser() const { return browser_; }

private:
    explicit HelpWindow(QWidget* owner);

    QTextBrowser* browser_ = nullptr;
};

// Help from any window: the document beside the program through the desktop,
// or a message naming the missing file.
void ShowHelp(const AppContext& context, QWidget* parent);
