#pragma once

class QWidget;

// Fixes a dialog's client area at the designed size, or larger where the
// platform's fonts need more room than the design gave, so nothing is clipped.
void SetFixedClientSize(QWidget* dialog, int width, int height);
