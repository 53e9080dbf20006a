#include "ui/edit_section_dialog.h"

#include "core/layer3_gain_shift.h"
#include "state/format_time.h"
#include "ui/app_context.h"
#include "ui/fixed_dialog_size.h"
#include "ui/up_down.h"

#include <QDoubleSpinBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString TimeText(std::int32_t ms) {
    return QString::fromStdString(FormatTime(ms));
}

// Tag texts are stored as UTF-8; the fields' length limits keep them short.
QString TagText(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// A text longer than the field's limit (from a cue sheet or a saved list) is
// shown whole, so that OK does not cut what was not edited; typing stays limited.
void ShowTagText(QLineEdit* field, const std::string& utf8) {
    const QString text = TagText(utf8);
    field->setMaxLength(std::max(field->maxLength(), static_cast<int>(text.size())));
    field->setText(text);
}

std::string TagBytes(const QLineEdit* field) {
    return field->text().toStdString();
}

QLineEdit* MakeTagField(QWidget* parent, const char* name, const QString& hint, int maxLength) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setToolTip(hint);
    field->setMaxLength(maxLength);
    return field;
}

QLineEdit* MakePositionField(QWidget* parent, const char* name, const QString& hint) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setToolTip(hint);
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::NoFocus);
    field->setFixedWidth(100);
    return field;
}

UpDownButtons* MakeUpDown(QWidget* parent, const char* name, const QString& hint) {
    auto* upDown = new UpDownButtons(parent);
    upDown->setObjectName(name);
    upDown->setToolTip(hint);
    return upDown;
}

QSpinBox* MakeFadeField(QWidget* parent, const char* name, const QString& hint) {
    auto* field = new QSpinBox(parent);
    field->setObjectName(name);
    field->setToolTip(hint);
    field->setRange(0, 600000);
    field->setSingleStep(500);
    return field;
}

} // namespace

TForm4::TForm4(AppContext& context, std::int32_t entryIndex, std::int32_t sliderMaximum,
               QWidget* parent)
    : QDialog(parent), context_(context), entryIndex_(entryIndex) {
    setObjectName("Form4");
    setWindowTitle("Edit section info");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    BuildControls();
    SetFixedClientSize(this, 314, 385);
    FormShow(sliderMaximum);
}

void TForm4::BuildControls() {
    labeledEdit1_ = MakePositionField(this, "LabeledEdit1", "Edit start position");
    upDown1_ = MakeUpDown(this, "UpDown1", "Edit start position");
    labeledEdit2_ = MakePositionField(this, "LabeledEdit2", "Edit end position");
    upDown2_ = MakeUpDown(this, "UpDown2", "Edit end position");
    title_ = MakeTagField(this, "Title", "Edit Title field", 30);
    artist_ = MakeTagField(this, "Artist", "Edit Artist field", 30);
    album_ = MakeTagField(this, "Album", "Edit Album field", 30);
    comment_ = MakeTagField(this, "Comment", "Edit Comment field", 30);
    year_ = MakeTagField(this, "year", "Edit Year field", 4);
    year_->setFixedWidth(50);
    gain_ = new QDoubleSpinBox(this);
    gain_->setObjectName("Gain");
    gain_->setToolTip("Change the part's level in steps of 1.5 dB, without re-encoding");
    gain_->setRange(-30.0, 30.0);
    gain_->setSingleStep(kGainStepDb);
    gain_->setDecimals(1);
    fadeIn_ = MakeFadeField(this, "FadeIn", "Fade the part in over its first milliseconds");
    fadeOut_ = MakeFadeField(this, "FadeOut", "Fade the part out over its last milliseconds");
    button2_ = new QPushButton("&OK", this);
    button2_->setObjectName("Button2");
    button2_->setDefault(true);
    button1_ = new QPushButton("&Cancel", this);
    button1_->setObjectName("Button1");

    auto* positions = new QGridLayout;
    positions->addWidget(new QLabel("Start position:", this), 0, 0, 1, 2);
    positions->addWidget(labeledEdit1_, 1, 0);
    positions->addWidget(upDown1_, 1, 1);
    positions->setColumnStretch(2, 1);
    positions->addWidget(new QLabel("End position:", this), 0, 3, 1, 2);
    positions->addWidget(labeledEdit2_, 1, 3);
    positions->addWidget(upDown2_, 1, 4);
    positions->setHorizontalSpacing(0);
    upDown1_->setFixedHeight(labeledEdit1_->sizeHint().height());
    upDown2_->setFixedHeight(labeledEdit2_->sizeHint().height());

    auto* label1 = new QLabel("ID3 TAG Information of the section", this);
    label1->setObjectName("Label1");
    auto* bevel1 = new QFrame(this);
    bevel1->setObjectName("Bevel1");
    bevel1->setFrameShape(QFrame::HLine);
    bevel1->setFrameShadow(QFrame::Sunken);

    auto* tags = new QGridLayout;
    const struct {
        const char* caption;
        QLineEdit* field;
    } rows[] = {{"&Title:          ", title_},
                {"&Artist:         ", artist_},
                {"A&lbum:       ", album_},
                {"Co&mment:  ", comment_},
                {"&Year:         ", year_}};
    int row = 0;
    for (const auto& [caption, field] : rows) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        tags->addWidget(label, row, 0);
        tags->addWidget(field, row, 1, Qt::AlignLeft);
        ++row;
    }
    tags->setColumnStretch(1, 1);
    for (QLineEdit* field : {title_, artist_, album_, comment_}) {
        field->setMinimumWidth(210);
    }

    auto* volume = new QGridLayout;
    const struct {
        const char* caption;
        QWidget* field;
    } volumeFields[] = {
        {"&Gain (dB):", gain_}, {"Fade &in (ms):", fadeIn_}, {"Fade o&ut (ms):", fadeOut_}};
    row = 0;
    for (const auto& [caption, field] : volumeFields) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        volume->addWidget(label, row, 0);
        volume->addWidget(field, row, 1);
        ++row;
    }
    volume->setColumnStretch(2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(button2_);
    buttons->addWidget(button1_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(positions);
    layout->addSpacing(6);
    layout->addWidget(label1);
    layout->addWidget(bevel1);
    layout->addLayout(tags);
    layout->addSpacing(6);
    layout->addLayout(volume);
    layout->addStretch(1);
    layout->addLayout(buttons);

    setTabOrder(title_, artist_);
    setTabOrder(artist_, album_);
    setTabOrder(album_, comment_);
    setTabOrder(comment_, year_);
    setTabOrder(year_, gain_);
    setTabOrder(gain_, fadeIn_);
    setTabOrder(fadeIn_, fadeOut_);
    setTabOrder(fadeOut_, button2_);
    setTabOrder(button2_, button1_);

    connect(upDown1_, &UpDownButtons::Clicked, this, &TForm4::UpDown1Click);
    connect(upDown2_, &UpDownButtons::Clicked, this, &TForm4::UpDown2Click);
    connect(button2_, &QPushButton::clicked, this, &TForm4::Button2Click);
    connect(button1_, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm4::FormShow(std::int32_t sliderMaximum) {
    const SplitListItem& entry = context_.List[entryIndex_];
    labeledEdit1_->setText(TimeText(entry.StartMs));
    labeledEdit2_->setText(TimeText(entry.EndMs));
    ShowTagText(title_, entry.Title);
    ShowTagText(artist_, entry.Artist);
    ShowTagText(album_, entry.Album);
    ShowTagText(year_, entry.Year);
    ShowTagText(comment_, entry.Comment);
    gain_->setValue(entry.Volume.GainSteps * kGainStepDb);
    fadeIn_->setValue(entry.Volume.FadeInMs);
    fadeOut_->setValue(entry.Volume.FadeOutMs);
    upDown1_->SetMaximum(sliderMaximum);
    upDown2_->SetMaximum(sliderMaximum);
    upDown1_->SetPosition(MsToPosition(entry.StartMs, context_.State.PositionStep));
    upDown2_->SetPosition(MsToPosition(entry.EndMs, context_.State.PositionStep));
    editStartMs_ = entry.StartMs;
    editEndMs_ = entry.EndMs;
    title_->setFocus();
}

void TForm4::UpDown1Click() {
    editStartMs_ = PositionToMs(upDown1_->Position(), context_.State.PositionStep);
    labeledEdit1_->setText(TimeText(editStartMs_));
}

void TForm4::UpDown2Click() {
    editEndMs_ = SectionEndMs(upDown2_->Position(), context_.State);
    labeledEdit2_->setText(TimeText(editEndMs_));
}

void TForm4::Button2Click() {
    SplitListItem entry = context_.List[entryIndex_];
    entry.StartMs = editStartMs_;
    entry.EndMs = editEndMs_;
    entry.Title = TagBytes(title_);
    entry.Artist = TagBytes(artist_);
    entry.Album = TagBytes(album_);
    entry.Comment = TagBytes(comment_);
    entry.Year = TagBytes(year_);
    // A gain between the steps is taken to the nearest, as the list then shows it.
    entry.Volume = {GainStepsFor(gain_->value()), fadeIn_->value(), fadeOut_->value()};
    context_.Session.Edit(entryIndex_, entry);
    accept();
}
