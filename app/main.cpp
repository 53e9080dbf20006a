#include "ui/clock_media_player.h"
#include "ui/main_window.h"
#include "ui/program_icon.h"
#include "ui/qt_platform_services.h"
#include "ui/settings_store.h"
#include "ui/sink_media_player.h"

#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <memory>

namespace {

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

std::unique_ptr<MediaPlayer> SilentPlayer() {
    return std::make_unique<ClockMediaPlayer>();
}

// Centres the window; a size kept from a larger screen is brought within this one.
void CentreOnScreen(QWidget& window) {
    if (const QScreen* screen = window.screen()) {
        window.resize(window.size().boundedTo(screen->availableSize()));
        const QRect frame = window.frameGeometry();
        window.move(screen->availableGeometry().center() - frame.center() + window.pos());
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (!HasDisplay()) {
        std::fputs("kerfline: no display found; start it under a virtual one, e.g. "
                   "xvfb-run -a kerfline\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kerfline");
    QApplication::setApplicationDisplayName("Kerfline");
    QApplication::setOrganizationName(SettingsStore::Organization);
    QApplication::setWindowIcon(ProgramIcon());

    QtMessageBoxes messages;
    QtFileChoosers choosers;
    QtDesktopShell shell;
    SettingsStore settings;
    TForm1 window(
        TForm1::Services{messages, choosers, shell, settings, &PreviewPlayer, &SilentPlayer});
    window.show();
    CentreOnScreen(window);
    // kerfline FILE starts on that file, as if it had been opened.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        window.OpenFile(arguments.at(1));
    }
    return QApplication::exec();
}
