#include "ui/main_window.h"

#include "core/text_encoding.h"
#include "state/format_time.h"
#include "state/recent_files.h"
#include "state/source_info_text.h"
#include "ui/about_dialog.h"
#include "ui/button_icons.h"
#include "ui/elided_label.h"
#include "ui/focus_ring.h"
#include "ui/help_window.h"
#include "ui/join_dialog.h"
#include "ui/loading_window.h"
#include "ui/main_window_keys.h"
#include "ui/media_player.h"
#include "ui/options_dialog.h"
#include "ui/overview_strip.h"
#include "ui/platform_services.h"
#include "ui/position_slider.h"
#include "ui/program_icon.h"
#include "ui/recent_files_menu.h"
#include "ui/settings_store.h"
#include "ui/split_list_wiring.h"
#include "ui/up_down.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr const char* ZeroTime = "00:00.0";
// A player more than this many units away from the slider is moved to it.
constexpr long double ReseekDistance = 333;
// Play past a pause at the selection end starts this many units on.
constexpr long double ContinueOffset = 157;
// Width of the window after the selection end in which playback is paused.
constexpr long double PauseWindow = 100;

struct TagLabelLook {
    const char* Name;
    const char* Initial;
};

const TagLabelLook TagLabels[] = {
    {"Label2", "Title:  "}, {"Label3", "Artist: "}, {"Label4", "Album: "},
    {"Label5", "Year: "},   {"Label6", "Genre: "},  {"Label7", "Comment: "},
};

// An information line, whole in its tooltip when the label cuts it off.
void ShowLine(QLabel* label, const std::string& latin1) {
    const QString text = QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size()));
    label->setText(text);
    label->setToolTip(text.simplified());
}

// The one .mp3 file among the dropped URLs, or an empty text.
QString DroppedSource(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QString path = data->urls().front().toLocalFile();
    return IsSourceFileName(QFile::encodeName(path).toStdString()) ? path : QString();
}

// A fixed-width line of the information groups: longer text ends in "…".
QLabel* InfoLabel(const char* name, const char* text, QWidget* parent) {
    auto* label = new ElidedLabel(QString::fromLatin1(text), parent);
    label->setObjectName(name);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* Button(const char* name, const QString& caption, const char* hint, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    return button;
}

QPushButton* IconButton(const char* name, const QIcon& icon, const char* hint, QWidget* parent) {
    auto* button = Button(name, QString(), hint, parent);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setFixedSize(30, 26);
    return button;
}

} // namespace

TForm1::TForm1(Services services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
    context_.Messages = &services_.Messages;
    context_.Choosers = &services_.Choosers;
    context_.Shell = &services_.Shell;
    context_.ProgramFolder = QCoreApplication::applicationDirPath();

    setObjectName("Form1");
    setWindowTitle("Kerfline");
    setWindowIcon(ProgramIcon());
    setMinimumSize(ClientWidth, ClientHeight);
    resize(services_.Settings.ReadWindowSize().value_or(minimumSize()));
    setAcceptDrops(true);

    timer1_ = new QTimer(this);
    timer1_->setObjectName("Timer1");
    timer1_->setInterval(1);
    connect(timer1_, &QTimer::timeout, this, &TForm1::Timer1Timer);

    BuildLayout();
    audible_ = services_.Player();
    player_ = audible_.get();
    ShowSoundNotice();
    ReadSettings();
    options_ = new TOptions(this);
    // The split list, its dialogs and the Split road live in their own unit.
    new SplitListWiring(*this);
    new MainWindowKeys(*this);
    new FocusRing(this);
    // The split list is built after the bottom row; Tab still reaches the bottom row last.
    for (QWidget* button : bottomRow_->findChildren<QPushButton*>())
        setTabOrder(previousInFocusChain(), button);
    FormShow();
}

TForm1::~TForm1() = default;

// ---------------------------------------------------------------- layout

void TForm1::BuildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->setSpacing(4);
    layout->addWidget(BuildSourceGroup());
    layout->addWidget(BuildInfoRow());
    layout->addWidget(BuildPositionRow());

    trackBar1_ = new PositionSlider(this);
    trackBar1_->setObjectName("TrackBar1");
    trackBar1_->setToolTip("Select position");
    connect(trackBar1_, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    layout->addWidget(trackBar1_);

    overview_ = new OverviewStrip(context_.Session.List(), this);
    connect(overview_, &OverviewStrip::SeekRequested, this, [this](std::int64_t ms) {
        if (context_.State.PositionStep > 0)
            trackBar1_->setValue(static_cast<std::int32_t>(ms / context_.State.PositionStep));
    });
    layout->addWidget(overview_, 1);

    layout->addWidget(BuildButtonRow());

    soundNotice_ = new QLabel(NoSoundText, this);
    soundNotice_->setObjectName("SoundNotice");
    soundNotice_->setStyleSheet("color: #a00000;");
    // Its room stays when it goes, so the player's buttons never move.
    QSizePolicy noticeRoom = soundNotice_->sizePolicy();
    noticeRoom.setRetainSizeWhenHidden(true);
    soundNotice_->setSizePolicy(noticeRoom);
    soundNotice_->hide();
    layout->addWidget(soundNotice_);

    // The split list group stands here.
    splitListPlace_ = new QWidget(this);
    splitListPlace_->setObjectName("SplitListPlace");
    auto* placeLayout = new QVBoxLayout(splitListPlace_);
    placeLayout->setContentsMargins(0, 0, 0, 0);
    splitListPlace_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    layout->addWidget(splitListPlace_, 3);

    layout->addWidget(BuildBottomRow());
}

QGroupBox* TForm1::BuildSourceGroup() {
    auto* group = new QGroupBox("Source MP3 file to split", this);
    group->setObjectName("SourceGroup");
    bitBtn3_ = Button("BitBtn3", "&Open", "Open source file", group);
    bitBtn3_->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    bitBtn3_->setDefault(true);
    connect(bitBtn3_, &QPushButton::clicked, this, &TForm1::BitBtn3Click);
    auto* recent = new QToolButton(group);
    recent->setObjectName("RecentFilesButton");
    recent->setToolTip("Open a recent file");
    recent->setArrowType(Qt::DownArrow);
    recent->setPopupMode(QToolButton::InstantPopup);
    recent->setStyleSheet("QToolButton::menu-indicator { image: none; }");
    recent->setFixedHeight(bitBtn3_->sizeHint().height());
    recentFiles_ = new RecentFilesMenu(services_.Settings, recent);
    connect(recentFiles_, &RecentFilesMenu::OpenRequested, this, &TForm1::OpenFile);
    recent->setMenu(recentFiles_);
    edit2_ = new QLineEdit(NoFileText, group);
    edit2_->setObjectName("Edit2");
    edit2_->setReadOnly(true);
    edit2_->setFocusPolicy(Qt::ClickFocus);
    auto* row = new QHBoxLayout(group);
    row->setContentsMargins(6, 2, 6, 6);
    row->setSpacing(0);
    row->addWidget(bitBtn3_);
    row->addWidget(recent);
    row->addSpacing(6);
    row->addWidget(edit2_, 1);
    // Joining needs no source open: it sits beside Open, where files are chosen.
    auto* join = Button("JoinFilesButton", "&Join files…", "Join MP3 files into one", group);
    connect(join, &QPushButton::clicked, this, &TForm1::JoinFilesClick);
    row->addSpacing(6);
    row->addWidget(join);
    return group;
}

QWidget* TForm1::BuildInfoRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto* tagGroup = new QGroupBox("ID3v1 Tag", row);
    tagGroup->setObjectName("TagGroup");
    auto* tagLayout = new QVBoxLayout(tagGroup);
    tagLayout->setContentsMargins(8, 2, 6, 6);
    tagLayout->setSpacing(1);
    for (int i = 0; i < 6; ++i) {
        tagLabels_[i] = InfoLabel(TagLabels[i].Name, TagLabels[i].Initial, tagGroup);
        tagLayout->addWidget(tagLabels_[i]);
    }

    auto* mpegGroup = new QGroupBox("MPEG info", row);
    mpegGroup->setObjectName("MpegGroup");
    auto* mpegLayout = new QVBoxLayout(mpegGroup);
    mpegLayout->setContentsMargins(8, 2, 6, 6);
    mpegLayout->setSpacing(1);
    label8_ = InfoLabel("Label8", "Time: ", mpegGroup);
    label9_ = InfoLabel("Label9", "Filesize: ", mpegGroup);
    label23_ = InfoLabel("Label23", "Version:", mpegGroup);
    label10_ = InfoLabel("Label10", "BitRate:  ", mpegGroup);
    label11_ = InfoLabel("Label11", "SampleRate:  ", mpegGroup);
    framesLabel_ = InfoLabel("FramesLabel", "", mpegGroup);
    chaptersLabel_ = InfoLabel("ChaptersLabel", "", mpegGroup);
    for (QLabel* label :
         {label8_, label9_, label23_, label10_, label11_, framesLabel_, chaptersLabel_}) {
        mpegLayout->addWidget(label);
    }
    mpegLayout->addStretch();

    layout->addWidget(tagGroup, 44);
    layout->addWidget(mpegGroup, 56);
    return row;
}

QWidget* TForm1::BuildPositionRow() {
    auto* row = new QWidget(this);
    auto* grid = new QGridLayout(row);
    grid->setContentsMargins(2, 2, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);

    auto* positionCaption = new QLabel("Position:", row);
    positionCaption->setObjectName("PositionCaption");
    label14_ = new QLabel(ZeroTime, row);
    label14_->setObjectName("Label14");
    auto* selectionCaption = new QLabel("Duration of selection:", row);
    selectionCaption->setObjectName("SelectionCaption");
    label13_ = new QLabel(ZeroTime, row);
    label13_->setObjectName("Label13");

    const auto field = [row](const char* name, const char* captionText, const char* hint,
                             QLineEdit*& edit, UpDownButtons*& upDown, const char* upDownName) {
        auto* caption = new QLabel(captionText, row);
        caption->setObjectName(QString(name) + "Label");
        edit = new QLineEdit(ZeroTime, row);
        edit->setObjectName(name);
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::ClickFocus);
        edit->setToolTip(hint);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance("00:00:00.0") + 10);
        upDown = new UpDownButtons(row);
        upDown->setObjectName(upDownName);
        upDown->setToolTip(hint);
        upDown->setFixedHeight(edit->sizeHint().height());
        auto* box = new QHBoxLayout;
        box->setSpacing(0);
        box->addWidget(edit);
        box->addWidget(upDown);
        return std::pair{caption, box};
    };
    auto [startCaption, startBox] = field("LabeledEdit1", "Start position", "Select start position",
                                          labeledEdit1_, upDown1_, "UpDown1");
    auto [endCaption, endBox] = field("LabeledEdit2", "End position", "Select end position",
                                      labeledEdit2_, upDown2_, "UpDown2");
    connect(upDown1_, &UpDownButtons::Clicked, this, &TForm1::UpDown1Click);
    connect(upDown2_, &UpDownButtons::Clicked, this, &TForm1::UpDown2Click);

    // The start and end fields stand right of the position line, their
    // captions above them; the selection length has the full width below.
    auto* position = new QHBoxLayout;
    position->setSpacing(6);
    position->addWidget(positionCaption);
    position->addWidget(label14_, 1);
    auto* selection = new QHBoxLayout;
    selection->setSpacing(6);
    selection->addWidget(selectionCaption);
    selection->addWidget(label13_, 1);

    grid->addWidget(startCaption, 0, 1, Qt::AlignBottom);
    grid->addWidget(endCaption, 0, 2, Qt::AlignBottom);
    grid->addLayout(position, 1, 0);
    grid->addLayout(startBox, 1, 1);
    grid->addLayout(endBox, 1, 2);
    grid->addLayout(selection, 2, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    return row;
}

QWidget* TForm1::BuildButtonRow() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);

    mediaPlayer1_ = new PlayerControl(row);
    connect(mediaPlayer1_, &PlayerControl::Clicked, this, &TForm1::MediaPlayer1Click);
    layout->addWidget(mediaPlayer1_);
    layout->addSpacing(8);

    bitBtn8_ = IconButton("BitBtn8", SelectionStartIcon(), "Select start position", row);
    bitBtn9_ = IconButton("BitBtn9", SelectionEndIcon(), "Select end position", row);
    bitBtn7_ = IconButton("BitBtn7", PlaySelectionIcon(), "Play selected part", row);
    connect(bitBtn8_, &QPushButton::clicked, this, &TForm1::BitBtn8Click);
    connect(bitBtn9_, &QPushButton::clicked, this, &TForm1::BitBtn9Click);
    connect(bitBtn7_, &QPushButton::clicked, this, &TForm1::BitBtn7Click);
    for (QPushButton* button : {bitBtn8_, bitBtn9_, bitBtn7_}) {
        button->setEnabled(false);
        layout->addWidget(button);
    }
    layout->addStretch();

    bitBtn6_ = Button("BitBtn6", "&Add to List", "Add selected part to splitlist", row);
    bitBtn11_ = Button("BitBtn11", "Split by &parts", "Split by equal-sized parts", row);
    connect(bitBtn6_, &QPushButton::clicked, this, &TForm1::BitBtn6Click);
    connect(bitBtn11_, &QPushButton::clicked, this, &TForm1::BitBtn11Click);
    for (QPushButton* button : {bitBtn6_, bitBtn11_}) {
        button->setEnabled(false);
        button->setFixedHeight(26);
        layout->addWidget(button);
    }
    return row;
}

QWidget* TForm1::BuildBottomRow() {
    auto* row = bottomRow_ = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* help = Button("Button1", "&Help", "Help", row);
    auto* about = Button("Button2", "A&bout", "About", row);
    auto* options = Button("Button3", "Op&tions", "Options", row);
    connect(help, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(about, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(options, &QPushButton::clicked, this, &TForm1::Button3Click);
    bitBtn5_ = Button("BitBtn5", "&Split", "Split file", row);
    QFont bold = bitBtn5_->font();
    bold.setBold(true);
    bitBtn5_->setFont(bold);
    bitBtn5_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    bitBtn5_->setMinimumWidth(90);
    connect(bitBtn5_, &QPushButton::clicked, this, &TForm1::BitBtn5Click);
    layout->addWidget(help);
    layout->addWidget(about);
    layout->addWidget(options);
    layout->addStretch();
    layout->addWidget(bitBtn5_);
    return row;
}

// ---------------------------------------------------------------- start-up

void TForm1::ReadSettings() {
    const SettingsStore::ReadOutcome outcome = services_.Settings.ReadAtStartUp();
    context_.PreloadOption = outcome.Settings.Preload;
    context_.SaveFrameOption = outcome.Settings.SaveFrame;
    context_.Id3v2Option = outcome.Settings.Id3v2;
    context_.RebuildInfoFrameOption = outcome.Settings.RebuildInfoFrame;
    context_.ExactCutsOption = outcome.Settings.ExactCuts;
    context_.Id3v24Option = outcome.Settings.Id3v24;
    audible_->SetExactCuts(context_.ExactCutsOption);
    if (outcome.Error) {
        services_.Messages.Error(this, *outcome.Error);
    }
}

void TForm1::FormShow() {
    mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::None);
    ResetTexts();
    SetSplitButtonEnabled(false);
}

// Open is the window's default button: Enter that no control takes presses it.
void TForm1::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // A button with the focus is pressed itself, as buttons are on the desktop.
        auto* focused = qobject_cast<QAbstractButton*>(focusWidget());
        (focused != nullptr && focused->isEnabled() ? focused : bitBtn3_)->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!MayDiscardList()) {
        event->ignore();
        return;
    }
    services_.Settings.WriteWindowSize(isMaximized() ? normalGeometry().size() : size());
    QWidget::closeEvent(event);
}

bool TForm1::MayDiscardList() {
    const std::int32_t unkept = context_.List.UnkeptCount();
    const std::int32_t removed = context_.List.RemovedCount();
    return (unkept == 0 && removed == 0) ||
           services_.Messages.AskYesNo(this,
                                       QString::fromStdString(DiscardQuestion(unkept, removed)));
}

// An .mp3 file dropped on the window opens as one chosen with Open.
void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedSource(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* event) {
    const QString path = DroppedSource(event->mimeData());
    if (!path.isEmpty()) {
        event->acceptProposedAction();
        // Once the drop has ended: opening may show the loading window or a message.
        QTimer::singleShot(0, this, [this, path] { OpenFile(path); });
    }
}

void TForm1::ResetTexts() {
    label13_->setText(ZeroTime);
    label14_->setText(ZeroTime);
    labeledEdit1_->setText(ZeroTime);
    labeledEdit2_->setText(ZeroTime);
}

void TForm1::SetSplitButtonEnabled(bool enabled) {
    bitBtn5_->setEnabled(enabled);
}

// ---------------------------------------------------------------- commands

template <typename Command> void TForm1::Guard(Command command) {
    try {
        command();
    } catch (const std::exception& error) {
        ShowError(error);
    }
}

void TForm1::ShowError(const std::exception& error) {
    services_.Messages.Error(this, QString::fromLocal8Bit(error.what()));
}

void TForm1::Button1Click() {
    ShowHelp(context_, this);
}

void TForm1::JoinFilesClick() {
    JoinDialog dialog(context_, this);
    dialog.exec();
}

void TForm1::Button2Click() {
    TAboutBox about(services_.Shell, this);
    about.exec();
}

void TForm1::Button3Click() {
    const SettingsStore::Values current{context_.PreloadOption, context_.SaveFrameOption,
                                        context_.Id3v2Option, context_.RebuildInfoFrameOption,
                                        context_.ExactCutsOption};
    if (options_->ShowWith(current) != QDialog::Accepted) {
        return;
    }
    // Without the key nothing is stored and the settings in effect stay.
    if (!services_.Settings.KeyExists()) {
        return;
    }
    const SettingsStore::Values chosen = options_->Chosen();
    if (const auto error = services_.Settings.Write(chosen)) {
        services_.Messages.Error(this, *error);
        return;
    }
    context_.PreloadOption = chosen.Preload;
    context_.SaveFrameOption = chosen.SaveFrame;
    context_.Id3v2Option = chosen.Id3v2;
    context_.RebuildInfoFrameOption = chosen.RebuildInfoFrame;
    context_.ExactCutsOption = chosen.ExactCuts;
    context_.Id3v24Option = chosen.Id3v24;
    audible_->SetExactCuts(context_.ExactCutsOption);
}

// ---------------------------------------------------------------- open

void TForm1::BitBtn3Click() {
    const std::optional<QString> chosen = services_.Choosers.ChooseSourceFile(this);
    if (!chosen) {
        return;
    }
    Guard([&] { OpenChosen(*chosen); });
}

void TForm1::OpenFile(const QString& path) {
    Guard([&] { OpenChosen(path); });
}

void TForm1::OpenChosen(const QString& chosen, bool askAboutList) {
    const std::string path = QFile::encodeName(chosen).toStdString();
    SplitSession& session = context_.Session;
    const auto mayReplace = [&] { return !askAboutList || MayDiscardList(); };
    if (const Result<void> opened = session.Open(path, {}, mayReplace); !opened) {
        if (opened.Failure().Category != ErrorCategory::Stopped)
            ShowRefusal(opened.Failure());
        return;
    }
    timer1_->stop();
    OpenPlayer(session.Source());
    ShowSoundNotice();
    mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Stopped);
    if (context_.PreloadOption) {
        WalkUnderLoadingWindow();
    }
    SessionState& state = session.State();
    player_->MatchLength(state.DurationMsExact);
    ApplyPlayerLength(state, player_->Length());
    SetUpPositions();
    overview_->SetSource(session.Source().Walk, state.DurationMs);
    EnableSourceButtons();
    emit SourceOpened();
    ResetTexts();
    // After the walk, so that the path and both groups change at once.
    edit2_->setText(QFile::decodeName(QByteArray::fromStdString(path)));
    ShowSourceInfo();
    recentFiles_->Remember(chosen);
}

// A file that cannot be opened shows the system's reason; any other refusal
// beeps and shows the engine's message (for a file without frames, naming it).
// The text alone: an analysis that fails has the window's own sentence for it,
// "Failed to load the information from the MP3 file!", and the other texts name the file.
void TForm1::ShowRefusal(const Error& error) {
    if (error.Category != ErrorCategory::Open) {
        services_.Messages.ErrorBeep();
    }
    services_.Messages.Error(this, QString::fromLocal8Bit(PrintableText(error.Text).c_str()));
}

// A player that refuses the file has its say; the silent player then takes
// over, so the window never mixes the new file with the old one's state.
void TForm1::OpenPlayer(const SourceSession& session) {
    if (player_ != audible_.get()) {
        player_->Close();
        player_ = audible_.get();
    }
    try {
        audible_->Open(session);
        return;
    } catch (const MediaPlayerError& error) {
        ShowError(error);
    }
    if (!silent_) {
        silent_ = services_.SilentPlayer();
    }
    silent_->Open(session);
    player_ = silent_.get();
}

void TForm1::ShowSoundNotice() {
    soundNotice_->setVisible(!player_->MakesSound());
}

// A scan that fails leaves the analysis's length in effect and no frame
// count, so a later split counts the frames in its walk.
void TForm1::WalkUnderLoadingWindow() {
    TForm11 loading(this);
    loading.show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    context_.Session.Walk([&loading](std::int64_t position, std::int64_t maximum) {
        loading.Progress(position, maximum);
    });
    loading.close();
    if (const auto& problem = context_.Session.ScanProblem()) {
        services_.Messages.Error(this, QString::fromLocal8Bit(ErrorMessage(*problem).c_str()));
    }
}

void TForm1::SetUpPositions() {
    const std::int32_t maximum = SliderMaximumOf(context_.State);
    trackBar1_->setRange(0, maximum);
    trackBar1_->setValue(0);
    trackBar1_->SetSelection(0, 0);
    for (UpDownButtons* upDown : {upDown1_, upDown2_}) {
        upDown->SetMaximum(maximum);
        upDown->SetPosition(0);
    }
}

void TForm1::EnableSourceButtons() {
    for (QPushButton* button : {bitBtn6_, bitBtn8_, bitBtn9_, bitBtn7_, bitBtn11_}) {
        button->setEnabled(true);
    }
    SetSplitButtonEnabled(false);
}

void TForm1::ShowSourceInfo() {
    const SourceInfoLines lines = DescribeSource(context_.AudioInfo, context_.State);
    for (std::size_t i = 0; i < lines.Tag.size(); ++i) {
        ShowLine(tagLabels_[i], lines.Tag[i]);
    }
    QLabel* mpegLabels[] = {label8_, label9_, label23_, label10_, label11_, framesLabel_};
    for (std::size_t i = 0; i < lines.Mpeg.size(); ++i) {
        ShowLine(mpegLabels[i], lines.Mpeg[i]);
    }
    const std::size_t chapters = context_.Session.Chapters().Chapters.size();
    ShowLine(chaptersLabel_, chapters > 0 ? "Chapters: " + std::to_string(chapters) : "");
}

// ---------------------------------------------------------------- positions

QString TForm1::TimeText(std::int32_t ms) const {
    return QString::fromStdString(FormatTime(ms));
}

long double TForm1::PositionToPlayerReal(std::int32_t position) const {
    return static_cast<long double>(PositionToMs(position, context_.State.PositionStep)) *
           context_.State.Koef;
}

char TForm1::DecimalSeparator() const {
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80) {
        return static_cast<char>(point.at(0).unicode());
    }
    return '.';
}

void TForm1::ShowPositionText() {
    label14_->setText(TimeText(PositionToMs(trackBar1_->value(), context_.State.PositionStep)) +
                      " of " + TimeText(static_cast<std::int32_t>(context_.State.DurationMs)));
}

void TForm1::ShowSelectionLength() {
    const std::int32_t start = trackBar1_->SelStart();
    const std::int32_t end = trackBar1_->SelEnd();
    UpdateSelectionSize(context_.State, start, end, context_.AudioInfo.Header.FrameBytes);
    const std::int32_t step = context_.State.PositionStep;
    overview_->SetSelection(PositionToMs(start, step), SectionEndMs(end, context_.State));
    label13_->setText(QString::fromStdString(
        SelectionLengthText(context_.State, start, end, DecimalSeparator())));
}

void TForm1::ShowSelectionField(QLineEdit* field, std::int32_t ms) {
    field->setText(TimeText(ms));
    ShowSelectionLength();
}

// ---------------------------------------------------------------- selection and playback

void TForm1::TrackBar1Change() {
    ShowPositionText();
    overview_->SetPlayMs(PositionToMs(trackBar1_->value(), context_.State.PositionStep));
    ReseekPlaying(ReseekDistance);
}

void TForm1::SeekPlayerToSlider() {
    ReseekPlaying(1); // within a unit it is there already
}

void TForm1::MovePlayPosition(std::int64_t q) {
    Guard([this, q] {
        const bool playing = player_->CurrentMode() == MediaPlayer::Mode::Playing;
        player_->Stop();
        player_->Seek(q);
        if (playing)
            player_->Play();
        const SessionState& state = context_.State;
        // Not through TrackBar1Change: it would take the player back to the position's start.
        const QSignalBlocker still(trackBar1_);
        trackBar1_->setValue(
            PlayerToPosition(static_cast<double>(q), state.PositionStep, state.Koef));
        ShowPositionText();
        overview_->SetPlayMs(static_cast<std::int64_t>(static_cast<long double>(q) / state.Koef));
    });
}

// A playing player more than minDistance units from the slider is moved to it.
void TForm1::ReseekPlaying(long double minDistance) {
    Guard([this, minDistance] {
        if (player_ == nullptr || player_->CurrentMode() != MediaPlayer::Mode::Playing) {
            return;
        }
        const long double target = PositionToPlayerReal(trackBar1_->value());
        const long double q = static_cast<long double>(player_->Position());
        if (target - q > minDistance || q - target > minDistance) {
            player_->Stop();
            player_->Seek(static_cast<std::int64_t>(target));
            player_->Play();
        }
    });
}

void TForm1::Timer1Timer() {
    if (context_.AudioInfo.PlayTimeMs == 0) {
        return;
    }
    // A player whose sound output died plays on silently: say so.
    ShowSoundNotice();
    try {
        const SessionState& state = context_.State;
        if (state.Koef > 0 && state.PositionStep > 0) {
            trackBar1_->setValue(PlayerToPosition(static_cast<double>(player_->Position()),
                                                  state.PositionStep, state.Koef));
        }
        if (state.Koef > 0)
            overview_->SetPlayMs(static_cast<std::int64_t>(player_->Position() / state.Koef));
        if (player_->Position() == player_->Length()) {
            StopAndRewind();
            return;
        }
        // A play that reached its own end position has stopped by itself.
        if (player_->CurrentMode() != MediaPlayer::Mode::Playing) {
            timer1_->stop();
            mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Stopped);
            return;
        }
        const std::int32_t selectionEnd = trackBar1_->SelEnd();
        if (selectionEnd != 0) {
            const long double d =
                static_cast<long double>(player_->Position()) - PositionToPlayerReal(selectionEnd);
            if (d >= 0 && d < PauseWindow) {
                timer1_->stop();
                player_->Pause();
                mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Stopped);
            }
        }
    } catch (const std::exception& error) {
        timer1_->stop();
        ShowError(error);
    }
}

void TForm1::StopAndRewind() {
    timer1_->stop();
    player_->Stop();
    player_->Seek(0);
    trackBar1_->setValue(0);
    mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Stopped);
}

void TForm1::MediaPlayer1Click(PlayerControl::Button button) {
    using B = PlayerControl::Button;
    Guard([this, button] {
        switch (button) {
        case B::Play: {
            const SessionState& state = context_.State;
            std::int64_t start =
                PositionToPlayer(trackBar1_->value(), state.PositionStep, state.Koef);
            // A player paused within the slider's step goes on from its own place.
            const std::int64_t place = player_->Position();
            if (PlayerToPosition(static_cast<double>(place), state.PositionStep, state.Koef) ==
                trackBar1_->value()) {
                start = place;
            }
            const std::int32_t selectionEnd = trackBar1_->SelEnd();
            if (selectionEnd != 0 && static_cast<long double>(player_->Position()) -
                                             PositionToPlayerReal(selectionEnd) >=
                                         0) {
                const long double x = PositionToPlayerReal(trackBar1_->value()) + ContinueOffset;
                if (x < static_cast<long double>(player_->Length())) {
                    start = static_cast<std::int64_t>(x);
                }
            }
            timer1_->start();
            player_->SetStartPos(start);
            player_->Play();
            ShowSoundNotice(); // the player tries its sound output again on Play
            mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Playing);
            break;
        }
        case B::Pause:
            timer1_->stop();
            player_->Stop();
            mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Stopped);
            break;
        case B::Stop:
        case B::Prev:
            StopAndRewind();
            break;
        case B::Next:
            timer1_->stop();
            player_->Stop();
            player_->SeekToEnd();
            trackBar1_->setValue(trackBar1_->maximum());
            mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Stopped);
            break;
        }
    });
}

void TForm1::PlaySection(std::int32_t startMs, std::int32_t endMs) {
    player_->SetStartPos(MsToPlayer(startMs, context_.State.Koef));
    player_->SetEndPos(MsToPlayer(endMs, context_.State.Koef));
    mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Playing);
    player_->Play();
    timer1_->start();
}

void TForm1::BitBtn7Click() {
    const std::int32_t start = trackBar1_->SelStart();
    const std::int32_t end = trackBar1_->SelEnd();
    if (context_.State.SourceFileName.empty() || start >= end) {
        return;
    }
    Guard([&] {
        PlaySection(PositionToMs(start, context_.State.PositionStep),
                    SectionEndMs(end, context_.State));
    });
}

void TForm1::BitBtn8Click() {
    upDown1_->SetPosition(trackBar1_->value());
    trackBar1_->SetSelStart(trackBar1_->value());
    ShowSelectionField(labeledEdit1_,
                       PositionToMs(trackBar1_->SelStart(), context_.State.PositionStep));
}

void TForm1::BitBtn9Click() {
    upDown2_->SetPosition(trackBar1_->value());
    trackBar1_->SetSelEnd(trackBar1_->value());
    ShowSelectionField(labeledEdit2_, SectionEndMs(trackBar1_->SelEnd(), context_.State));
}

void TForm1::UpDown1Click() {
    trackBar1_->SetSelStart(upDown1_->Position());
    ShowSelectionField(labeledEdit1_,
                       PositionToMs(upDown1_->Position(), context_.State.PositionStep));
}

void TForm1::UpDown2Click() {
    trackBar1_->SetSelEnd(upDown2_->Position());
    ShowSelectionField(labeledEdit2_, SectionEndMs(upDown2_->Position(), context_.State));
}

void TForm1::BitBtn5Click() {
    Guard([this] {
        if (player_->CurrentMode() == MediaPlayer::Mode::Playing) {
            timer1_->stop();
            player_->Stop();
            mediaPlayer1_->SetEnabledButtons(PlayerControl::ButtonSet::Stopped);
        }
        ShowSaveDialog();
    });
}

void TForm1::ShowSaveDialog() {
    if (showSaveDialog_) {
        showSaveDialog_();
    }
}

void TForm1::BitBtn6Click() {
    emit AddToListRequested();
}

void TForm1::BitBtn11Click() {
    emit SplitByPartsRequested();
}
