// Memory and processor time of the main window and its preview: with no file,
// with a long file open and idle (its frame index built), and while it plays
// from the middle of that file, the window polling the player as it does.
// One line per state: resident MB and % of one core.
//
//   kerfline_preview_bench FILE [seconds per state]
#include "ui/clock_media_player.h"
#include "ui/main_window.h"
#include "ui/position_slider.h"
#include "ui/qt_platform_services.h"
#include "ui/settings_store.h"
#include "ui/sink_media_player.h"

#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

namespace {

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs the program's own event loop meanwhile: a test's waiting sleeps between
// rounds of events, and so would hide the cost of the window's fast poll.
void Measure(const char* state, int seconds) {
    const double cpu = CpuSeconds();
    double peak = 0.0;
    QEventLoop loop;
    QTimer sample;
    int samples = 0;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        peak = std::max(peak, ResidentMb());
        if (++samples == seconds * 10)
            loop.quit();
    });
    sample.start(100);
    loop.exec();
    std::printf("%-8s resident %.1f MB (peak), processor %.2f %% of one core\n", state, peak,
                (CpuSeconds() - cpu) * 100.0 / seconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2 || !HasSoundOutput()) {
        std::fputs("usage: kerfline_preview_bench FILE [seconds], with a sound output\n", stderr);
        return 2;
    }
    const int seconds = argc > 2 ? std::stoi(argv[2]) : 20;
    QtMessageBoxes messages;
    QtFileChoosers choosers;
    QtDesktopShell shell;
    SettingsStore settings("OrrindaleBench", "Kerfline");
    TForm1 window(TForm1::Services{messages, choosers, shell, settings, &PreviewPlayer,
                                   [] { return std::make_unique<ClockMediaPlayer>(); }});
    window.show();
    Measure("no file", seconds);
    window.OpenFile(QString::fromLocal8Bit(argv[1]));
    QTest::qWait(5000); // the frame index is walked meanwhile
    Measure("idle", seconds);
    window.TrackBar1()->setValue(window.TrackBar1()->maximum() / 2);
    window.MediaPlayer1Click(PlayerControl::Button::Play);
    Measure("playing", seconds);
    return window.Player().CurrentMode() == MediaPlayer::Mode::Playing ? 0 : 1;
}
