#include "ui/split_thread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <exception>
#include <utility>

myThread2::myThread2(SplitJob job, QObject* parent)
    : QThread(parent), job_(std::move(job)), partsToWrite_(job_.PartsToWrite()) {
    setObjectName("myThread2");
}

myThread2::~myThread2() {
    RequestStop();
    // The worker may be waiting for a progress step in this thread: keep serving them.
    while (!wait(QDeadlineTimer(20))) {
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

void myThread2::run() {
    SplitCallbacks callbacks;
    callbacks.StepProgress = [this] { StepProgress(); };
    callbacks.SplitError = [this](const std::string& line) {
        if (!splitError_) {
            failure_ = line;
        }
        splitError_ = true;
        stopRequested_ = true;
    };
    callbacks.StopRequested = [this] { return stopRequested_.load(); };
    try {
        outcome_ = SplitSession::Run(job_, callbacks);
    } catch (const std::exception& error) {
        outcome_.Success = false;
        outcome_.Errors.emplace_back(error.what());
    }
}

void myThread2::StepProgress() {
    QMetaObject::invokeMethod(
        this, [this] { emit ProgressStepped(); }, Qt::BlockingQueuedConnection);
}
