#include "ui/split_progress_dialog.h"

#include "session/split_session.h"
#include "split/split_report.h"
#include "ui/fixed_dialog_size.h"
#include "ui/split_thread.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

TForm9::TForm9(QPointer<myThread2>& splitThread, QWidget* parent)
    : QDialog(parent), splitThread_(splitThread) {
    setObjectName("Form9");
    setWindowTitle("Split Progress");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    label1_ = new QLabel("The selected file is being splitted. Please wait...", this);
    label1_->setObjectName("Label1");
    label1_->setTextFormat(Qt::PlainText); // it names parts, whose names come from tags
    progressBar1_ = new QProgressBar(this);
    progressBar1_->setObjectName("ProgressBar1");
    progressBar1_->setRange(0, 0);
    progressBar1_->setValue(0);
    progressBar1_->setTextVisible(false);
    button1_ = new QPushButton("&Cancel", this);
    button1_->setObjectName("Button1");
    button1_->setDefault(true);
    button1_->setAutoDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(button1_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1_);
    layout->addWidget(progressBar1_);
    layout->addStretch(1);
    layout->addLayout(buttons);
    SetFixedClientSize(this, 400, 122);

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(1000);
    connect(timer1_, &QTimer::timeout, this, &TForm9::Timer1Timer);
    timer1_->start();
    connect(button1_, &QPushButton::clicked, this, &TForm9::Button1Click);
}

TForm9::~TForm9() = default;

void TForm9::SetJob(SplitJob job) {
    progressBar1_->setRange(0, job.PartsToWrite());
    partNames_ = PartNamesToWrite(job);
    job_ = std::make_unique<SplitJob>(std::move(job));
}

void TForm9::WaitFor(myThread2* runningThread) {
    waitingOnly_ = true;
    progressBar1_->setRange(0, 0);
    Attach(runningThread);
}

bool TForm9::SplitError() const {
    return watched_ != nullptr ? watched_->SplitError() : workerFailed_;
}

QString TForm9::EndMessage() const {
    const std::string failure =
        watched_ != nullptr && watched_->SplitError() ? watched_->Failure() : failure_;
    return QString::fromStdString(UnfinishedSplitMessage(
        progressBar1_->value(), progressBar1_->maximum(), failure, problems_));
}

void TForm9::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!waitingOnly_ && watched_ == nullptr && job_ != nullptr) {
        // Let the dialog paint before the worker starts.
        QTimer::singleShot(0, this, &TForm9::FormShow);
    }
}

void TForm9::FormShow() {
    progressBar1_->setValue(0);
    StartWorker();
}

void TForm9::StartWorker() {
    auto* thread = new myThread2(std::move(*job_), parent());
    job_.reset();
    splitThread_ = thread;
    Attach(thread);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void TForm9::Attach(myThread2* thread) {
    watched_ = thread;
    workerEnded_ = thread == nullptr || thread->isFinished();
    if (thread == nullptr) {
        return;
    }
    connect(thread, &myThread2::ProgressStepped, this, &TForm9::StepProgress);
    connect(thread, &QThread::finished, this, &TForm9::WorkerFinished);
}

// The label names the part before the bar moves, so both show the same part.
void TForm9::StepProgress() {
    const int part = progressBar1_->value() + 1;
    if (part <= static_cast<int>(partNames_.size())) {
        const QString line = QString::fromStdString(PartOfLine(part, progressBar1_->maximum())) +
                             ": " +
                             QString::fromStdString(partNames_[static_cast<std::size_t>(part - 1)]);
        label1_->setText(
            label1_->fontMetrics().elidedText(line, Qt::ElideMiddle, label1_->width()));
    }
    progressBar1_->setValue(part);
}

void TForm9::WorkerFinished() {
    workerEnded_ = true;
    if (watched_ != nullptr) {
        workerSucceeded_ = watched_->Outcome().Success;
        workerFailed_ = watched_->SplitError();
        failure_ = watched_->Failure();
        problems_ = watched_->Outcome().Errors;
    }
    Timer1Timer();
}

void TForm9::Timer1Timer() {
    if (!isVisible()) {
        return;
    }
    const bool ended = workerEnded_ || watched_ == nullptr || watched_->isFinished();
    if (waitingOnly_) {
        if (ended) {
            accept();
        }
        return;
    }
    if (watched_ == nullptr && !workerEnded_) {
        return; // not started yet
    }
    if (SplitError()) {
        reject();
        return;
    }
    if (workerEnded_) {
        if (workerSucceeded_) {
            accept();
        } else {
            reject();
        }
    }
}

void TForm9::Button1Click() {
    reject();
}

// Cancel, Escape and a failure alike: the worker begins no further part.
void TForm9::reject() {
    if (watched_ != nullptr && !workerEnded_) {
        watched_->RequestStop();
    }
    QDialog::reject();
}
