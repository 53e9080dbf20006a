#include "kerfline_version.h"
#include "ui/clock_media_player.h"
#include "ui/main_window.h"
#include "ui/program_icon.h"
#include "ui/qt_platform_services.h"
#include "ui/settings_store.h"
#include "ui/sink_media_player.h"

#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

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

// --version and --help answer without a display; nullopt: start the window.
std::optional<int> AnswerInfoOption(int argc, char* argv[]) {
    if (argc != 2)
        return std::nullopt;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("kerfline %s\n", KerflineVersion);
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs("Usage: kerfline [FILE]\n"
                   "Cut an MP3 file into parts without re-encoding it; starts on FILE if given.\n"
                   "  -h, --help     show this text\n"
                   "  --version      show the version\n"
                   "F1 in the window opens the manual; see also kerfline-cli(1).\n",
                   stdout);
        return 0;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> answered = AnswerInfoOption(argc, argv))
        return *answered;
    if (!HasDisplay()) {
        std::fputs("kerfline: no display found; start it under a virtual one, e.g. "
                   "xvfb-run -a kerfline\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kerfline");
    QApplication::setApplicationDisplayName("Kerfline");
    // Lets the desktop match the window to its entry and icon.
    QApplication::setDesktopFileName(KerflineAppId);
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
