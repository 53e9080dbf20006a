#pragma once

// A home made in the temporary folder with a Music folder, so that the
// pictures show a user's paths, the same short ones each time, never the
// build machine's; and an album of a few minutes with loud and quiet stretches,
// made by scripts/screenshots.sh and named by KERFLINE_SCREENSHOT_ALBUM, with
// its cue sheet.

#include "test_support.h"
#include "ui/overview_strip.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

namespace shots {

constexpr const char* AlbumCue = R"(REM GENRE Rock
REM DATE 2024
REM COMMENT "Live at the Harbour Hall"
PERFORMER "The Low Tides"
TITLE "Harbour Sessions"
FILE "Harbour Sessions.mp3" MP3
  TRACK 01 AUDIO
    TITLE "Opening Bell"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Salt Road"
    INDEX 01 01:07:60
  TRACK 03 AUDIO
    TITLE "Night Ferry"
    PERFORMER "The Low Tides & Mara Quill"
    INDEX 01 02:09:60
  TRACK 04 AUDIO
    TITLE "Lantern Song"
    INDEX 01 03:17:60
)";

class UserHome {
public:
    const QString Home = QDir::tempPath() + "/home/alex";
    const QString Music = Home + "/Music";

    UserHome() : oldHome_(qgetenv("HOME")) {
        QDir(Home).removeRecursively();
        QDir().mkpath(Music);
        qputenv("HOME", Home.toLocal8Bit());
    }
    ~UserHome() {
        qputenv("HOME", oldHome_);
        QDir(Home).removeRecursively();
        QDir().rmdir(QDir::tempPath() + "/home");
    }

    QString Copy(const char* fixture, const QString& name) const {
        const QString path = QDir(Music).filePath(name);
        EXPECT_TRUE(QFile::copy(ui_test::DataPath(fixture), path)) << qPrintable(name);
        return path;
    }

    // The album, under the name of its tag.
    QString AlbumAudio() const {
        const QString path = QDir(Music).filePath("Harbour Sessions.mp3");
        EXPECT_TRUE(QFile::copy(qEnvironmentVariable("KERFLINE_SCREENSHOT_ALBUM"), path))
            << "KERFLINE_SCREENSHOT_ALBUM names no file";
        return path;
    }

    // The album with its cue sheet beside it; the path of the sheet.
    QString Album() const {
        AlbumAudio();
        const QString cue = QDir(Music).filePath("Harbour Sessions.cue");
        QFile file(cue);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(AlbumCue);
        return cue;
    }

private:
    QByteArray oldHome_;
};

// The pictures are taken without a sound output; a user with one never sees
// the window's notice of a silent preview.
inline void HideSoundNotice(QWidget& window) {
    window.findChild<QWidget*>("SoundNotice")->hide();
}

// The levels are decoded off the UI thread; a picture taken before they come
// shows an empty overview.
inline void WaitForOverview(TForm1& window) {
    EXPECT_TRUE(QTest::qWaitFor([&window] { return window.Overview()->Ready(); }, 10000));
}

inline void Settle(int ms = 200) {
    QTest::qWait(ms);
    for (int i = 0; i < 10; ++i) {
        QApplication::processEvents();
    }
}

} // namespace shots
