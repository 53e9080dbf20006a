// Writes the program's icon into an icon theme folder: the scalable SVG and the
// PNG sizes desktops look for, all from the drawing the window uses.
#include "ui/program_icon.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

namespace {

bool WriteSvg(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(ProgramIconSvg().toUtf8()) >= 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fputs("usage: kerfline_icon_export THEME_FOLDER ICON_NAME\n", stderr);
        return 2;
    }
    // Painting needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir theme(QFile::decodeName(argv[1]));
    const QString name = QFile::decodeName(argv[2]);
    bool ok =
        theme.mkpath("scalable/apps") && WriteSvg(theme.filePath("scalable/apps/" + name + ".svg"));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        ok = ok && theme.mkpath(folder) &&
             ProgramIconPixmap(size).save(theme.filePath(folder + "/" + name + ".png"));
    }
    if (!ok)
        std::fprintf(stderr, "kerfline_icon_export: cannot write the icons under %s\n", argv[1]);
    return ok ? 0 : 1;
}
