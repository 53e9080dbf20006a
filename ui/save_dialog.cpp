#include "ui/save_dialog.h"

#include "core/text_encoding.h"
#include "ui/about_dialog.h"
#include "ui/app_context.h"
#include "ui/fixed_dialog_size.h"
#include "ui/help_window.h"
#include "ui/platform_services.h"
#include "ui/split_progress_dialog.h"
#include "ui/split_thread.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

namespace {

const QStringList NamePresets = {"$F_$N", "$T_$N", "$A_$N", "$A_$T_$N"};

const QStringList HintLines = {
    "You can use following tags combined with text in the file name",
    "",
    "$F  -  Name of source file",
    "$T  -  Title of track",
    "$A  -  Artist of track",
    "$N  -  Sequence number in Splitlist",
    "",
    "Example:",
    "The source MP3 you loaded is Performer.mp3 and with",
    " \"$F_Song$N\" as naming rule, you will get filename of splitted tracks",
    " as Performer_Song001.mp3, Performer_Song002.mp3, etc."};

// A path or a line naming one, as a message shows it.
QString PathText(const std::string& path) {
    return QString::fromStdString(PrintableText(path));
}

QPalette GreyBase(const QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    return palette;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    // Enter presses the button with the focus, else the default one.
    button->setAutoDefault(true);
    return button;
}

} // namespace

TForm2::TForm2(AppContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    setObjectName("Form2");
    setWindowTitle("Save file(s)");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    BuildControls();
    SetFixedClientSize(this, 461, 448);
    FormCreate();
}

TForm2::~TForm2() {
    delete splitThread_.data();
}

myThread2* TForm2::SplitThread() const {
    return splitThread_ != nullptr && !splitThread_->isFinished() ? splitThread_.data() : nullptr;
}

void TForm2::BuildControls() {
    bitBtn1_ = MakeButton(this, "BitBtn1", "&Open", "Select target folder");
    bitBtn1_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    folderEdit_ = new QLineEdit(NoFolderText, this);
    folderEdit_->setObjectName("FolderEdit");
    folderEdit_->setReadOnly(true);
    folderEdit_->setPalette(GreyBase(folderEdit_));
    auto* folderGroup = new QGroupBox(" Target Folder  ", this);
    auto* folderRow = new QHBoxLayout(folderGroup);
    folderRow->addWidget(bitBtn1_);
    folderRow->addWidget(folderEdit_, 1);

    comboBox1_ = new QComboBox(this);
    comboBox1_->setObjectName("ComboBox1");
    comboBox1_->setToolTip("Select name preset");
    comboBox1_->setEditable(true);
    comboBox1_->setInsertPolicy(QComboBox::NoInsert);
    comboBox1_->addItems(NamePresets);
    comboBox1_->setCurrentIndex(0);
    comboBox1_->setMinimumWidth(200);
    auto* presetRow = new QHBoxLayout;
    auto* presetLabel = new QLabel("&Name preset", this);
    presetLabel->setBuddy(comboBox1_);
    presetRow->addWidget(presetLabel);
    presetRow->addWidget(comboBox1_);
    presetRow->addWidget(new QLabel(".mp3", this));
    presetRow->addStretch(1);

    // Every part's gain chosen for its loudness (EBU R128), in whole steps of 1.5 dB.
    normalize_ = new QComboBox(this);
    normalize_->setObjectName("Normalize");
    normalize_->setToolTip("Bring every part to one loudness, without re-encoding (Layer III)");
    normalize_->addItem("Off");
    normalize_->addItem("-16 LUFS (listening)", -16.0);
    normalize_->addItem("-23 LUFS (broadcast)", -23.0);
    const std::optional<double> target = context_.Session.Options().NormalizeLufs;
    normalize_->setCurrentIndex(target ? std::max(0, normalize_->findData(*target)) : 0);
    auto* normalizeRow = new QHBoxLayout;
    auto* normalizeLabel = new QLabel("Normali&ze to", this);
    normalizeLabel->setBuddy(normalize_);
    normalizeRow->addWidget(normalizeLabel);
    normalizeRow->addWidget(normalize_);
    normalizeRow->addStretch(1);

    memo1_ = new QPlainTextEdit(this);
    memo1_->setObjectName("Memo1");
    memo1_->setReadOnly(true);
    memo1_->setFrameShape(QFrame::NoFrame);
    memo1_->setPalette(GreyBase(memo1_));
    memo1_->setFocusPolicy(Qt::NoFocus);
    memo1_->setPlainText(HintLines.join('\n'));
    auto* hintGroup = new QGroupBox(" Hint  ", this);
    memo1_->document()->setDocumentMargin(2);
    // Room for the hint's lines, one of which may wrap.
    memo1_->setMinimumHeight(memo1_->fontMetrics().lineSpacing() * (HintLines.size() + 1) + 8);
    auto* hintLayout = new QVBoxLayout(hintGroup);
    hintLayout->setContentsMargins(6, 2, 6, 4);
    hintLayout->addWidget(memo1_);

    fileNameEdit_ = new QLineEdit(this);
    fileNameEdit_->setObjectName("FileNameEdit");
    fileNameEdit_->setToolTip("Enter filename");
    fileNameEdit_->setMaxLength(255);
    auto* fileNameLabel = new QLabel("&Fille Name:", this);
    fileNameLabel->setBuddy(fileNameEdit_);
    auto* fileNameRow = new QHBoxLayout;
    fileNameRow->addWidget(fileNameEdit_, 1);
    fileNameRow->addWidget(new QLabel(".mp3", this));

    button2_ = MakeButton(this, "Button2", "&Help", "Help");
    button1_ = MakeButton(this, "Button1", "A&bout", "About");
    bitBtn2_ = MakeButton(this, "BitBtn2", "&Save", "Save splitted parts");
    bitBtn2_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    cancelButton_ = MakeButton(this, "CancelButton", "&Cancel", "Cancel");
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(button2_);
    buttonRow->addWidget(button1_);
    buttonRow->addStretch(1);
    buttonRow->addWidget(bitBtn2_);
    buttonRow->addWidget(cancelButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(folderGroup);
    layout->addLayout(presetRow);
    layout->addLayout(normalizeRow);
    layout->addWidget(hintGroup, 1);
    layout->addWidget(fileNameLabel);
    layout->addLayout(fileNameRow);
    layout->addSpacing(8);
    layout->addLayout(buttonRow);

    setTabOrder(bitBtn1_, folderEdit_);
    setTabOrder(folderEdit_, comboBox1_);
    setTabOrder(comboBox1_, normalize_);
    setTabOrder(normalize_, fileNameEdit_);
    setTabOrder(fileNameEdit_, button2_);
    setTabOrder(button2_, button1_);
    setTabOrder(button1_, bitBtn2_);
    setTabOrder(bitBtn2_, cancelButton_);

    connect(comboBox1_, &QComboBox::currentTextChanged, this, &TForm2::ComboBox1Change);
    connect(normalize_, &QComboBox::currentIndexChanged, this, &TForm2::NormalizeChange);
    connect(bitBtn1_, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(bitBtn2_, &QPushButton::clicked, this, &TForm2::BitBtn2Click);
    connect(button1_, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(button2_, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &TForm2::Button2Click);
}

void TForm2::FormCreate() {
    bitBtn2_->setEnabled(false);
    fileNameEdit_->setText(comboBox1_->currentText());
    FocusNextStep();
}

// The button needed next is the default and has the focus: Open until a
// folder has been chosen in this run (the dialog lives as long as the run), then Save.
void TForm2::FocusNextStep() {
    QPushButton* next = bitBtn2_->isEnabled() ? bitBtn2_ : bitBtn1_;
    next->setDefault(true);
    next->setFocus();
}

void TForm2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FocusNextStep();
}

void TForm2::ComboBox1Change(const QString& text) {
    fileNameEdit_->setText(text);
}

void TForm2::BitBtn1Click() {
    const std::optional<QString> chosen =
        context_.Choosers->ChooseFolder(this, FolderTitle, context_.TargetFolder);
    if (!chosen) {
        return;
    }
    context_.TargetFolder = *chosen;
    bitBtn2_->setEnabled(true);
    folderEdit_->setText(context_.TargetFolder);
    FocusNextStep();
}

void TForm2::BitBtn2Click() {
    if (!WaitForRunningSplit()) {
        context_.Messages->Error(this, WaitStoppedText);
        accept();
        return;
    }
    PartPlan plan =
        context_.Session.Plan({fileNameEdit_->text().toStdString(),
                               context_.TargetFolder.toStdString(), "", OverwritePolicy::Ask});
    SettleWithUser(plan);
    if (PartsToWrite(plan) >= 1) {
        SplitSession::PreparedJob prepared = context_.Session.Job(plan);
        for (const std::string& warning : prepared.Warnings)
            context_.Messages->Warning(this, QString::fromStdString(warning));
        // Normalize decodes every part here; a gain that clips is said before the split.
        const Result<std::vector<std::string>> settled =
            context_.Session.SettleVolume(prepared.Job);
        if (!settled) {
            context_.Messages->Error(this, QString::fromStdString(settled.Failure().Text));
            accept();
            return;
        }
        for (const std::string& line : settled.Value())
            context_.Messages->Warning(this, QString::fromStdString(line));
        if (RunSplit(std::move(prepared.Job)))
            context_.Session.MarkWritten(plan);
    }
    accept();
}

// A worker left running by a cancelled split finishes before the next one starts.
bool TForm2::WaitForRunningSplit() {
    myThread2* running = SplitThread();
    if (running == nullptr) {
        return true;
    }
    TForm9 progress(splitThread_, this);
    progress.WaitFor(running);
    return progress.exec() == QDialog::Accepted;
}

// Row by row: a refused part is reported, an existing file is asked about
// until "Yes to All".
void TForm2::SettleWithUser(PartPlan& plan) {
    bool yesToAll = false;
    for (PlannedPart& part : plan) {
        if (part.Decision == PartDecision::Refuse) {
            context_.Messages->Warning(this, PathText(part.Reason));
        } else if (part.Decision == PartDecision::Ask) {
            part.Decision = yesToAll || AskOverwrite(part.Path, yesToAll) ? PartDecision::Write
                                                                          : PartDecision::Skip;
        }
    }
}

// False when this part is not to be written; sets yesToAll on "Yes to All".
bool TForm2::AskOverwrite(const std::string& path, bool& yesToAll) {
    const QString question =
        "The file \"" + PathText(path) + "\" already exists. Do you want ot overwrite it?";
    switch (context_.Messages->AskOverwrite(this, question)) {
    case MessageBoxes::OverwriteAnswer::Yes:
        return true;
    case MessageBoxes::OverwriteAnswer::No:
        return false;
    case MessageBoxes::OverwriteAnswer::YesToAll:
        yesToAll = true;
        return true;
    }
    return true;
}

bool TForm2::RunSplit(SplitJob job) {
    TForm9 progress(splitThread_, this);
    progress.SetJob(std::move(job));
    if (progress.exec() == QDialog::Accepted) {
        context_.Messages->InformationBeep();
        return true;
    }
    context_.Messages->Error(this, progress.EndMessage());
    return false;
}

void TForm2::Button1Click() {
    TAboutBox about(*context_.Shell, this);
    about.exec();
}

void TForm2::NormalizeChange(int index) {
    const QVariant target = normalize_->itemData(index);
    context_.Session.Options().NormalizeLufs =
        target.isValid() ? std::optional<double>(target.toDouble()) : std::nullopt;
}

void TForm2::Button2Click() {
    ShowHelp(context_, this);
}
