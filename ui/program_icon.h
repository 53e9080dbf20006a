#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's icon, drawn at run time: a waveform with a cut through it.
QIcon ProgramIcon();

// The icon drawn size pixels square.
QPixmap ProgramIconPixmap(int size);

// The same drawing as an SVG document, for the desktop's icon theme.
QString ProgramIconSvg();
