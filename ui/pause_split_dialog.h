#pragma once

#include "split/pause_cuts.h"

#include <QDialog>
#include <QStringList>
#include <atomic>
#include <thread>
#include <vector>

class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class SplitListPanel;
struct AppContext;

// "Split at pauses": measures the source's level once, off the UI thread,
// then shows how many parts the two settings give as they change. OK fills
// the list with the parts; Cancel stops the measuring.
class PauseSplitDialog : public QDialog {
    Q_OBJECT

public:
    PauseSplitDialog(AppContext& context, SplitListPanel& panel, PauseSettings settings,
                     QWidget* parent = nullptr);
    ~PauseSplitDialog() override;

    PauseSettings Settings() const;
    // Starts measuring; exec() shows the progress until the levels are known.
    void StartMeasuring();

    QDoubleSpinBox* ThresholdBox() const { return threshold_; }
    QDoubleSpinBox* MinimumBox() const { return minimum_; }
    QLabel* PartCountLabel() const { return partCount_; }
    QPushButton* OkButton() const { return ok_; }
    bool Measured() const { return measured_; }

    // Cancel also stops the measuring.
    void reject() override;

signals:
    void MeasuringDone();

private:
    void BuildControls();
    void ShowPartCount();
    void ShowProgress(double done);
    void TakeLevels(std::vector<float> levels, const QString& error, const QStringList& warnings);
    void OkClick();
    std::vector<SplitListItem> Sections() const;
    void StopMeasuring();

    AppContext& context_;
    SplitListPanel& panel_;
    QDoubleSpinBox* threshold_ = nullptr;
    QDoubleSpinBox* minimum_ = nullptr;
    QLabel* partCount_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::vector<float> levels_;
    bool measured_ = false;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};
