#pragma once

#include <QIcon>

// The program's icon, drawn at run time: a waveform with a cut through it.
QIcon ProgramIcon();
