#include "ui/loading_window.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>
#include <limits>

namespace {

// QProgressBar counts in int; large files are scaled down to fit.
constexpr std::int64_t BarLimit = std::numeric_limits<int>::max();

} // namespace

TForm11::TForm11(QWidget* parent) : QDialog(parent) {
    setObjectName("Form11");
    setWindowTitle("Loading...");
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::CustomizeWindowHint);
    setFixedSize(397, 61);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName("ProgressBar1");
    progressBar_->setGeometry(8, 24, 385, 16);
    progressBar_->setTextVisible(false);
    progressBar_->setRange(0, 0);
    if (parent != nullptr) {
        move(parent->geometry().center() - rect().center());
    }
}

void TForm11::Progress(std::int64_t position, std::int64_t maximum) {
    const std::int64_t scale = std::max<std::int64_t>(1, maximum / BarLimit + 1);
    const int barMaximum = static_cast<int>(std::max<std::int64_t>(0, maximum) / scale);
    const int value = static_cast<int>(std::clamp<std::int64_t>(position / scale, 0, barMaximum));
    if (progressBar_->maximum() != barMaximum) {
        progressBar_->setRange(0, barMaximum);
    }
    progressBar_->setValue(value);
    // Repaint only when the bar has visibly moved: the scan calls often.
    const int permille = barMaximum > 0 ? static_cast<int>(1000LL * value / barMaximum) : 0;
    if (permille != shownValue_) {
        shownValue_ = permille;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}
