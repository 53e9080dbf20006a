#include "ui/split_by_parts_dialog.h"

#include "state/format_time.h"
#include "ui/app_context.h"
#include "ui/fixed_dialog_size.h"
#include "ui/platform_services.h"
#include "ui/split_list_panel.h"
#include "ui/up_down.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int MinimumPartCount = 2;

} // namespace

TForm8::TForm8(AppContext& context, SplitListPanel& panel, QWidget* parent)
    : QDialog(parent), context_(context), panel_(panel) {
    setObjectName("Form8");
    setWindowTitle("Split by parts");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    BuildControls();
    SetFixedClientSize(this, 320, 150);
}

void TForm8::BuildControls() {
    labeledEdit1_ = new QLineEdit("2", this);
    labeledEdit1_->setObjectName("LabeledEdit1");
    labeledEdit1_->setToolTip("Enter number of parts");
    labeledEdit1_->setMaxLength(3);
    labeledEdit1_->setFixedWidth(32);
    labeledEdit1_->installEventFilter(this);
    upDown1_ = new UpDownButtons(this);
    upDown1_->setObjectName("UpDown1");
    upDown1_->setToolTip("Enter number of parts");
    upDown1_->SetMaximum(SplitList::MaxParts);
    upDown1_->SetPosition(MinimumPartCount);

    labeledEdit2_ = new QLineEdit("00:00.0", this);
    labeledEdit2_->setObjectName("LabeledEdit2");
    labeledEdit2_->setToolTip("Enter overlap time");
    labeledEdit2_->setReadOnly(true);
    labeledEdit2_->setFixedWidth(70);
    upDown2_ = new UpDownButtons(this);
    upDown2_->setObjectName("UpDown2");
    upDown2_->setToolTip("Enter overlap time");
    upDown2_->SetMaximum(0);

    upDown1_->setFixedHeight(labeledEdit1_->sizeHint().height());
    upDown2_->setFixedHeight(labeledEdit2_->sizeHint().height());

    auto* label1 = new QLabel("equal-sized parts", this);
    label1->setObjectName("Label1");
    auto* countLabel = new QLabel("&Split the source file into  ", this);
    countLabel->setBuddy(labeledEdit1_);
    auto* overlapLabel = new QLabel("O&verlap (mm:ss:p):  ", this);
    overlapLabel->setBuddy(labeledEdit2_);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(0);
    fields->setVerticalSpacing(10);
    fields->addWidget(countLabel, 0, 0);
    fields->addWidget(labeledEdit1_, 0, 1);
    fields->addWidget(upDown1_, 0, 2);
    fields->addWidget(label1, 0, 3);
    fields->addWidget(overlapLabel, 1, 0);
    fields->setColumnStretch(4, 1);
    label1->setContentsMargins(2, 0, 0, 0);
    // The overlap field is wider than the count field, so its row has a layout of its own.
    auto* overlapRow = new QHBoxLayout;
    overlapRow->setSpacing(0);
    overlapRow->addWidget(labeledEdit2_);
    overlapRow->addWidget(upDown2_);
    overlapRow->addStretch(1);
    fields->addLayout(overlapRow, 1, 1, 1, 4);

    button1_ = new QPushButton("&OK", this);
    button1_->setObjectName("Button1");
    button1_->setDefault(true);
    button2_ = new QPushButton("&Cancel", this);
    button2_->setObjectName("Button2");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(button1_);
    buttons->addWidget(button2_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(7, 14, 7, 8);
    layout->addLayout(fields);
    layout->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(labeledEdit1_, labeledEdit2_);
    setTabOrder(labeledEdit2_, button1_);
    setTabOrder(button1_, button2_);

    connect(labeledEdit1_, &QLineEdit::textEdited, this, &TForm8::LabeledEdit1Edited);
    connect(upDown1_, &UpDownButtons::Clicked, this, &TForm8::UpDown1Click);
    connect(upDown2_, &UpDownButtons::Clicked, this, &TForm8::UpDown2Click);
    connect(button1_, &QPushButton::clicked, this, &TForm8::Button1Click);
    connect(button2_, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm8::showEvent(QShowEvent* event) {
    upDown1_->SetMaximum(SplitList::MaxParts);
    upDown2_->SetMaximum(SliderMaximumOf(context_.State));
    labeledEdit1_->setFocus();
    QDialog::showEvent(event);
}

bool TForm8::eventFilter(QObject* watched, QEvent* event) {
    if (watched == labeledEdit1_ && event->type() == QEvent::KeyPress) {
        return LabeledEdit1KeyPress(static_cast<QKeyEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

// Only digits and Backspace may be typed; Enter presses OK, as in any field of a dialog.
bool TForm8::LabeledEdit1KeyPress(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        button1_->click();
        return true;
    }
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & Qt::ControlModifier)) {
        return false;
    }
    const QChar typed = text.front();
    if (!typed.isPrint()) {
        return false;
    }
    return !(typed >= QLatin1Char('0') && typed <= QLatin1Char('9'));
}

void TForm8::LabeledEdit1Edited(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok) {
        upDown1_->SetPosition(std::max(value, MinimumPartCount));
    }
}

// The count up-down starts at 2: a step below it stays at 2.
void TForm8::UpDown1Click() {
    if (upDown1_->Position() < MinimumPartCount) {
        upDown1_->SetPosition(MinimumPartCount);
    }
    labeledEdit1_->setText(QString::number(upDown1_->Position()));
}

void TForm8::UpDown2Click() {
    const std::int32_t overlapMs = PositionToMs(upDown2_->Position(), context_.State.PositionStep);
    labeledEdit2_->setText(QString::fromStdString(FormatTime(overlapMs)));
}

void TForm8::Button1Click() {
    const std::string countText = labeledEdit1_->text().toStdString();
    const Result<ListChange> added =
        context_.Session.EqualParts(countText, upDown2_->Position(), context_.State.PositionStep);
    if (!added) {
        context_.Messages->Error(this, QString::fromStdString(ErrorMessage(added.Failure())));
        return;
    }
    const ListChange& change = added.Value();
    if (change.CountText != countText) {
        labeledEdit1_->setText(QString::fromStdString(change.CountText));
    }
    panel_.AppendRows(change.FirstRow, change.RowsAdded);
    if (change.Limit.empty()) {
        accept();
    } else {
        context_.Messages->Information(this, QString::fromStdString(change.Limit));
    }
}
