#pragma once

#include <QIcon>

// Icons of the selection buttons, drawn at run time so they look alike on every style.
QIcon SelectionStartIcon();
QIcon SelectionEndIcon();
QIcon PlaySelectionIcon();
