#include "ui/fixed_dialog_size.h"

#include <QLayout>
#include <QWidget>
#include <algorithm>

void SetFixedClientSize(QWidget* dialog, int width, int height) {
    QSize needed(width, height);
    if (dialog->layout() != nullptr) {
        needed = needed.expandedTo(dialog->layout()->minimumSize());
    }
    dialog->setFixedSize(needed);
}
