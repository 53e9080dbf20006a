#pragma once

#include <QDialog>
#include <cstdint>

class QProgressBar;

// The "Loading..." window shown while the preload scan walks the source. The
// scan runs on the user-interface thread, so each progress step lets the
// window paint (user input stays blocked until the scan ends).
class TForm11 : public QDialog {
    Q_OBJECT

public:
    explicit TForm11(QWidget* parent = nullptr);

    // The scan's progress callback: absolute file position and the bar's maximum.
    void Progress(std::int64_t position, std::int64_t maximum);
    QProgressBar* ProgressBar1() const { return progressBar_; }

private:
    QProgressBar* progressBar_ = nullptr;
    int shownValue_ = -1;
};
