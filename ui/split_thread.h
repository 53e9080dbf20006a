#pragma once

#include "session/split_session.h"

#include <QThread>
#include <atomic>

// The worker of one split: runs WriteAllParts on its own copy of the inputs,
// so the list and the source may change while it finishes its last part.
// Progress steps are handed to the UI thread and wait there until done.
class myThread2 : public QThread {
    Q_OBJECT

public:
    explicit myThread2(SplitJob job, QObject* parent = nullptr);
    // Asks a running worker to stop and waits for it, still serving its steps.
    ~myThread2() override;

    // The worker begins no further part; the one being written is finished.
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }
    // Set by the worker when a part failed.
    bool SplitError() const { return splitError_; }
    // The failed part's path and the reason, once SplitError() is true.
    const std::string& Failure() const { return failure_; }
    // Valid once finished() was delivered.
    const SplitOutcome& Outcome() const { return outcome_; }
    std::int32_t PartsToWrite() const { return partsToWrite_; }

signals:
    // Emitted in the UI thread for each part begun; the worker waits meanwhile.
    void ProgressStepped();

protected:
    void run() override;

private:
    void StepProgress();

    const SplitJob job_;
    const std::int32_t partsToWrite_;
    std::atomic<bool> stopRequested_{false};
    std::string failure_; // written once, before splitError_ is set
    std::atomic<bool> splitError_{false};
    SplitOutcome outcome_;
};
