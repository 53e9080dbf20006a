#include "ui/pause_split_dialog.h"

#include "ui/app_context.h"
#include "ui/platform_services.h"
#include "ui/split_list_panel.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

PauseSplitDialog::PauseSplitDialog(AppContext& context, SplitListPanel& panel,
                                   PauseSettings settings, QWidget* parent)
    : QDialog(parent), context_(context), panel_(panel), search_(context.Session.Pauses()) {
    setObjectName("PauseSplitDialog");
    setWindowTitle("Split at pauses");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    BuildControls();
    threshold_->setValue(settings.ThresholdDb);
    minimum_->setValue(settings.MinMs / 1000.0);
}

PauseSplitDialog::~PauseSplitDialog() {
    StopMeasuring();
}

void PauseSplitDialog::BuildControls() {
    threshold_ = new QDoubleSpinBox(this);
    threshold_->setObjectName("PauseThreshold");
    threshold_->setRange(-96.0, -6.0);
    threshold_->setDecimals(1);
    threshold_->setSuffix(" dBFS");
    threshold_->setToolTip("A pause is quieter than this level");
    minimum_ = new QDoubleSpinBox(this);
    minimum_->setObjectName("PauseMinimum");
    minimum_->setRange(0.1, 60.0);
    minimum_->setDecimals(1);
    minimum_->setSingleStep(0.1);
    minimum_->setSuffix(" s");
    minimum_->setToolTip("A pause lasts at least this long");
    partCount_ = new QLabel("Measuring the levels…", this);
    partCount_->setObjectName("PartCount");
    partCount_->setWordWrap(true);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("PauseProgress");
    progress_->setRange(0, 1000);

    auto* form = new QFormLayout;
    form->addRow("&Quieter than:", threshold_);
    form->addRow("&For at least:", minimum_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setText("&OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("&Cancel");
    ok_->setEnabled(false);
    connect(ok_, &QPushButton::clicked, this, &PauseSplitDialog::OkClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &PauseSplitDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(partCount_);
    layout->addWidget(progress_);
    layout->addWidget(buttons);
    setMinimumWidth(320);

    connect(threshold_, &QDoubleSpinBox::valueChanged, this, &PauseSplitDialog::ShowPartCount);
    connect(minimum_, &QDoubleSpinBox::valueChanged, this, &PauseSplitDialog::ShowPartCount);
}

PauseSettings PauseSplitDialog::Settings() const {
    PauseSettings settings;
    settings.ThresholdDb = threshold_->value();
    settings.MinMs = static_cast<std::int32_t>(std::lround(minimum_->value() * 1000.0));
    return settings;
}

void PauseSplitDialog::StartMeasuring() {
    // Levels are measured for a little higher a threshold and shorter a
    // pause than set, so that nudging the settings needs no new search; what
    // is left undecoded is under the threshold set, so that it is covered.
    const double setDb = Settings().ThresholdDb;
    PauseSettings cover = Settings();
    cover.ThresholdDb = std::min(threshold_->maximum(), cover.ThresholdDb + 6.0);
    cover.MinMs = std::max(static_cast<std::int32_t>(std::lround(minimum_->minimum() * 1000.0)),
                           cover.MinMs / 2);
    stop_ = false;
    // The worker measures its own copy and only posts to the dialog, which
    // joins it before it goes.
    worker_ = std::thread([this, cover, setDb, search = search_]() mutable {
        const Result<void> measured = search.Measure(
            cover,
            [this](double done) {
                QMetaObject::invokeMethod(
                    this, [this, done] { ShowProgress(done); }, Qt::QueuedConnection);
                return !stop_.load();
            },
            setDb);
        if (!measured && measured.Failure().Category == ErrorCategory::Stopped)
            return;
        const QString error =
            measured ? QString() : QString::fromStdString(ErrorMessage(measured.Failure()));
        QMetaObject::invokeMethod(
            this,
            [this, search = std::move(search), error]() mutable {
                TakeLevels(std::move(search), error);
            },
            Qt::QueuedConnection);
    });
}

void PauseSplitDialog::StopMeasuring() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

void PauseSplitDialog::ShowProgress(double done) {
    progress_->setValue(static_cast<int>(done * 1000));
}

void PauseSplitDialog::TakeLevels(PauseSearch measured, const QString& error) {
    if (worker_.joinable())
        worker_.join();
    if (!error.isEmpty()) {
        context_.Messages->Error(this, error);
        QDialog::reject();
        return;
    }
    search_ = std::move(measured);
    std::string warnings;
    for (const std::string& warning : search_.Warnings())
        warnings += (warnings.empty() ? "" : "\n") + warning;
    if (!warnings.empty())
        context_.Messages->Warning(this, QString::fromStdString(warnings));
    measured_ = true;
    progress_->setValue(progress_->maximum());
    ok_->setEnabled(true);
    ShowPartCount();
    emit MeasuringDone();
}

void PauseSplitDialog::ShowPartCount() {
    if (!measured_)
        return;
    if (!search_.Covers(Settings())) {
        // A higher threshold or a shorter pause finds pauses where none was looked for.
        measured_ = false;
        ok_->setEnabled(false);
        partCount_->setText("Measuring the levels…");
        progress_->setValue(0);
        StartMeasuring();
        return;
    }
    const PauseParts parts = context_.Session.PausePartsFor(search_, Settings());
    const std::size_t count = parts.Sections.size();
    QString text = count == 1 && parts.PausesFound == 0
                       ? QString("No pause: the whole file is one part")
                       : QString("This gives %1 part%2").arg(count).arg(count == 1 ? "" : "s");
    if (!parts.LimitNote().empty())
        text += "\n" + QString::fromStdString(parts.LimitNote());
    partCount_->setText(text);
    // A note on a line of its own makes room for itself rather than squeeze the fields.
    if (sizeHint().height() > height())
        resize(width(), sizeHint().height());
}

void PauseSplitDialog::OkClick() {
    const Result<ListChange> added = context_.Session.AddPauses(search_, Settings());
    if (!added) {
        context_.Messages->Error(this, QString::fromStdString(ErrorMessage(added.Failure())));
        return;
    }
    if (!added.Value().Limit.empty()) {
        context_.Messages->Information(this, QString::fromStdString(added.Value().Limit));
        return;
    }
    panel_.AppendRows(added.Value().FirstRow, added.Value().RowsAdded);
    accept();
}

void PauseSplitDialog::reject() {
    StopMeasuring();
    QDialog::reject();
}
