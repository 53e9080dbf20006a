#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class myThread2;
struct SplitJob;

// "Split Progress": starts the worker when shown and closes with OK only when
// the worker reports every part written; with Cancel on a failure, an early
// end, or the Cancel button (the worker then finishes on its own copy).
class TForm9 : public QDialog {
    Q_OBJECT

public:
    // splitThread is where the running worker is kept; it outlives this dialog.
    explicit TForm9(QPointer<myThread2>& splitThread, QWidget* parent = nullptr);
    ~TForm9() override;

    // The job to start when shown; the bar counts its parts.
    void SetJob(SplitJob job);
    // Shows a worker that is still running until it ends, instead of starting one.
    void WaitFor(myThread2* runningThread);
    bool SplitError() const;
    // What to tell the user after a split that did not write every part.
    QString EndMessage() const;

    QProgressBar* ProgressBar() const { return progressBar1_; }
    QLabel* PartLabel() const { return label1_; }
    QPushButton* CancelButton() const { return button1_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void StartWorker();
    void Attach(myThread2* thread);
    void StepProgress();
    void WorkerFinished();
    void Timer1Timer();
    void Button1Click();

    QPointer<myThread2>& splitThread_;
    std::unique_ptr<SplitJob> job_;
    std::vector<std::string> partNames_;
    std::string failure_;
    std::vector<std::string> problems_;
    QPointer<myThread2> watched_;
    bool waitingOnly_ = false;
    bool workerEnded_ = false;
    bool workerSucceeded_ = false;
    bool workerFailed_ = false;
    QLabel* label1_ = nullptr;
    QProgressBar* progressBar1_ = nullptr;
    QPushButton* button1_ = nullptr;
    QTimer* timer1_ = nullptr;
};
