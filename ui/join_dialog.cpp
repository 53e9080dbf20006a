#include "ui/join_dialog.h"

#include "state/format_time.h"
#include "ui/app_context.h"
#include "ui/platform_services.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace {

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString ShownPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString Time(std::int64_t ms) {
    return QString::fromStdString(FormatTime(static_cast<std::int32_t>(
        std::min<std::int64_t>(ms, std::numeric_limits<std::int32_t>::max()))));
}

QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    return paths;
}

} // namespace

JoinDialog::JoinDialog(AppContext& context, QWidget* parent) : QDialog(parent), context_(context) {
    setObjectName("JoinDialog");
    setWindowTitle("Join files");
    setAcceptDrops(true);
    BuildControls();
    ShowFiles();
}

JoinDialog::~JoinDialog() {
    StopJoining();
}

void JoinDialog::BuildControls() {
    list_ = new QTreeWidget(this);
    list_->setObjectName("JoinList");
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({"File", "Length", "Note"});
    list_->header()->setStretchLastSection(true);
    list_->setToolTip("The files in the order they are joined; drop files here to add them");
    auto* add = new QPushButton("&Add…", this);
    add->setObjectName("JoinAdd");
    auto* remove = new QPushButton("&Remove", this);
    remove->setObjectName("JoinRemove");
    auto* up = new QPushButton("Move &up", this);
    up->setObjectName("JoinUp");
    auto* down = new QPushButton("Move &down", this);
    down->setObjectName("JoinDown");
    connect(add, &QPushButton::clicked, this, &JoinDialog::AddClick);
    connect(remove, &QPushButton::clicked, this, &JoinDialog::RemoveClick);
    connect(up, &QPushButton::clicked, this, [this] { MoveClick(-1); });
    connect(down, &QPushButton::clicked, this, [this] { MoveClick(1); });
    auto* side = new QVBoxLayout;
    for (QPushButton* button : {add, remove, up, down})
        side->addWidget(button);
    side->addStretch();

    total_ = new QLabel(this);
    total_->setObjectName("JoinTotal");
    target_ = new QLineEdit(this);
    target_->setObjectName("JoinTarget");
    target_->setReadOnly(true);
    target_->setFocusPolicy(Qt::ClickFocus);
    target_->setPlaceholderText("Choose the file to join into");
    auto* choose = new QPushButton("&Save as…", this);
    choose->setObjectName("JoinChooseTarget");
    connect(choose, &QPushButton::clicked, this, &JoinDialog::ChooseTargetClick);
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(new QLabel("Into:", this));
    targetRow->addWidget(target_, 1);
    targetRow->addWidget(choose);

    progress_ = new QProgressBar(this);
    progress_->setObjectName("JoinProgress");
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    status_ = new QLabel(this);
    status_->setObjectName("JoinStatus");
    status_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    join_ = buttons->addButton("&Join", QDialogButtonBox::AcceptRole);
    join_->setObjectName("JoinButton");
    join_->setDefault(true);
    cancel_ = buttons->addButton("&Cancel", QDialogButtonBox::RejectRole);
    cancel_->setObjectName("JoinCancel");
    connect(join_, &QPushButton::clicked, this, &JoinDialog::JoinClick);
    connect(cancel_, &QPushButton::clicked, this, &JoinDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(total_);
    layout->addLayout(targetRow);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    editing_ = {list_, add, remove, up, down, choose, join_};
    resize(720, 340);
}

void JoinDialog::AddFiles(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    ClearOutcome();
    for (const QString& path : paths)
        files_.Add(LocalPath(path));
    if (target_->text().isEmpty() && files_.Count() > 0) {
        const QFileInfo first(ShownPath(files_.Path(0)));
        target_->setText(first.dir().filePath(first.completeBaseName() + "_joined.mp3"));
    }
    ShowFiles();
}

QStringList JoinDialog::Files() const {
    QStringList paths;
    for (std::size_t i = 0; i < files_.Count(); ++i)
        paths.append(ShownPath(files_.Path(i)));
    return paths;
}

// What the last join did stands until the files or the target change.
void JoinDialog::ClearOutcome() {
    progress_->setValue(0);
    status_->clear();
    cancel_->setText("&Cancel");
}

// Each file with its length; one that cannot join the first says why.
void JoinDialog::ShowFiles() {
    const int current = list_->indexOfTopLevelItem(list_->currentItem());
    list_->clear();
    for (std::size_t i = 0; i < files_.Count(); ++i) {
        const QString path = ShownPath(files_.Path(i));
        const std::string problem = files_.Problem(i);
        auto* item =
            new QTreeWidgetItem(list_, {QFileInfo(path).fileName(), Time(files_.DurationMs(i))});
        item->setToolTip(0, path);
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        if (!problem.empty()) {
            item->setText(2, "cannot join: " + ShownPath(problem));
            item->setToolTip(2, item->text(2));
            item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        }
    }
    list_->resizeColumnToContents(0);
    list_->resizeColumnToContents(1);
    list_->setCurrentItem(list_->topLevelItem(std::min(current, list_->topLevelItemCount() - 1)));
    total_->setText(
        files_.Count() == 0
            ? QString("Add the files to join, or drop them here")
            : QString("Total: %1 in %2 files").arg(Time(files_.TotalMs())).arg(files_.Count()));
    join_->setEnabled(files_.Joinable() && !Joining());
}

void JoinDialog::AddClick() {
    AddFiles(context_.Choosers->ChooseFilesToJoin(this));
}

void JoinDialog::RemoveClick() {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row < 0)
        return;
    files_.Remove(static_cast<std::size_t>(row));
    ClearOutcome();
    ShowFiles();
}

void JoinDialog::MoveClick(int step) {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row < 0 || !files_.Move(static_cast<std::size_t>(row), step))
        return;
    ClearOutcome();
    ShowFiles();
    list_->setCurrentItem(list_->topLevelItem(row + step));
}

void JoinDialog::ChooseTargetClick() {
    if (const std::optional<QString> chosen =
            context_.Choosers->ChooseJoinTarget(this, target_->text())) {
        target_->setText(*chosen);
        ClearOutcome();
    }
}

void JoinDialog::JoinClick() {
    if (target_->text().isEmpty())
        ChooseTargetClick();
    if (target_->text().isEmpty() || Joining())
        return;
    if (const std::optional<Error> refusal = files_.TargetRefusal(LocalPath(target_->text()))) {
        ShowFailure(*refusal);
        return;
    }
    const bool exists = QFileInfo::exists(target_->text());
    if (exists && !context_.Messages->AskYesNo(this, target_->text() + " exists. Replace it?"))
        return;
    const JoinRequest request = files_.Request(LocalPath(target_->text()), exists);
    for (QWidget* control : editing_)
        control->setEnabled(false);
    status_->setText("Joining…");
    progress_->setValue(0);
    stop_ = false;
    worker_ = std::thread([this, request] {
        JoinCallbacks callbacks;
        callbacks.Progress = [this](std::int64_t done, std::int64_t total) {
            QMetaObject::invokeMethod(
                this, [this, done, total] { ShowProgress(done, total); }, Qt::QueuedConnection);
        };
        callbacks.StopRequested = [this] { return stop_.load(); };
        const Result<JoinReport> joined = JoinSession::Run(request, callbacks);
        QMetaObject::invokeMethod(
            this, [this, joined] { JoinFinished(joined); }, Qt::QueuedConnection);
    });
}

void JoinDialog::ShowProgress(std::int64_t done, std::int64_t total) {
    progress_->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
}

void JoinDialog::JoinFinished(const Result<JoinReport>& joined) {
    if (worker_.joinable())
        worker_.join();
    for (QWidget* control : editing_)
        control->setEnabled(true);
    ShowFiles();
    if (joined) {
        progress_->setValue(progress_->maximum());
        status_->setText(
            QString("Joined %1 files into %2").arg(files_.Count()).arg(target_->text()));
        cancel_->setText("&Close");
    } else if (joined.Failure().Category == ErrorCategory::Stopped) {
        progress_->setValue(0);
        status_->setText("Stopped: nothing was written");
    } else {
        ShowFailure(joined.Failure());
    }
    emit JoinEnded();
}

void JoinDialog::ShowFailure(const Error& error) {
    progress_->setValue(0);
    const QString message = ShownPath(ErrorMessage(error));
    status_->setText(message);
    context_.Messages->Error(this, message);
}

void JoinDialog::reject() {
    if (Joining()) {
        stop_ = true;
        return;
    }
    QDialog::reject();
}

void JoinDialog::StopJoining() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

void JoinDialog::dragEnterEvent(QDragEnterEvent* event) {
    if (!Joining() && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void JoinDialog::dropEvent(QDropEvent* event) {
    AddFiles(LocalFiles(event->mimeData()));
    event->acceptProposedAction();
}
