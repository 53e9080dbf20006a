#include "ui/list_file_commands.h"

#include "media/cue_reader.h"
#include "split/cue_sections.h"
#include "split/cue_writer.h"
#include "ui/app_context.h"
#include "ui/main_window.h"
#include "ui/pause_split_dialog.h"
#include "ui/platform_services.h"
#include "ui/split_list_panel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QSaveFile>
#include <QToolButton>
#include <algorithm>

namespace {

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString ShownPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// The one .cue file among the dropped URLs, or an empty text.
QString DroppedCueSheet(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QString path = data->urls().front().toLocalFile();
    return path.endsWith(".cue", Qt::CaseInsensitive) ? path : QString();
}

} // namespace

ListFileCommands::ListFileCommands(TForm1& window, SplitListPanel& panel, QObject* parent)
    : QObject(parent), window_(window), panel_(panel) {
    setObjectName("ListFileCommands");
    menu_ = new QMenu(&panel);
    menu_->setObjectName("ListMenu");
    importCue_ = menu_->addAction("Import cue…", this, &ListFileCommands::ImportCue);
    exportCue_ = menu_->addAction("Export cue…", this, &ListFileCommands::ExportCue);
    menu_->addSeparator();
    saveList_ = menu_->addAction("Save list…", this, &ListFileCommands::SaveList);
    loadList_ = menu_->addAction("Load list…", this, &ListFileCommands::LoadList);
    menu_->addSeparator();
    splitAtPauses_ = menu_->addAction("Split at pauses…", this, &ListFileCommands::SplitAtPauses);
    connect(menu_, &QMenu::aboutToShow, this, &ListFileCommands::EnableActions);

    button_ = new QToolButton(&panel);
    button_->setObjectName("ListButton");
    button_->setText("L&ist");
    button_->setToolTip("Cue sheets, saved lists, split at pauses");
    button_->setPopupMode(QToolButton::InstantPopup);
    button_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button_->setMenu(menu_);
    panel.AddButton(button_);

    window.setAcceptDrops(true);
    window.installEventFilter(this);
}

void ListFileCommands::EnableActions() {
    const AppContext& context = window_.Context();
    const bool open = !context.State.SourceFileName.empty();
    const auto& entries = context.List.Entries();
    importCue_->setEnabled(open);
    splitAtPauses_->setEnabled(open);
    saveList_->setEnabled(open && !entries.empty());
    exportCue_->setEnabled(std::any_of(entries.begin(), entries.end(),
                                       [](const SplitListItem& e) { return e.Checked; }));
}

bool ListFileCommands::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::DragEnter) {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        if (!DroppedCueSheet(drag->mimeData()).isEmpty() &&
            !window_.Context().State.SourceFileName.empty()) {
            drag->acceptProposedAction();
            return true;
        }
    } else if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString sheet = DroppedCueSheet(drop->mimeData());
        if (!sheet.isEmpty()) {
            drop->acceptProposedAction();
            ImportCueFile(sheet);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void ListFileCommands::ImportCue() {
    if (const auto path = window_.Context().Choosers->ChooseCueToOpen(&window_, "Import cue"))
        ImportCueFile(*path);
}

void ListFileCommands::ImportCueFile(const QString& path) {
    AppContext& context = window_.Context();
    if (context.State.SourceFileName.empty())
        return;
    const CueReadResult read = ReadCueFile(LocalPath(path));
    const CueSections sections =
        read.Error
            ? CueSections{{}, read.Error, {}}
            : SectionsFromCue(read.Sheet, static_cast<std::int32_t>(context.State.DurationMs),
                              context.AudioInfo.Tag, context.State.SourceFileName);
    if (sections.Error) {
        context.Messages->Error(
            &window_, QString::fromStdString(CueErrorMessage(LocalPath(path), *sections.Error)));
        return;
    }
    if (!sections.Warnings.empty()) {
        std::string lines;
        for (const CueError& warning : sections.Warnings)
            lines += (lines.empty() ? "" : "\n") + CueWarningMessage(LocalPath(path), warning);
        context.Messages->Warning(&window_, QString::fromStdString(lines));
    }
    AppendAndShow(sections.Entries);
}

void ListFileCommands::AppendAndShow(const std::vector<SplitListItem>& entries) {
    AppContext& context = window_.Context();
    const std::int32_t first = context.List.SplitCount();
    if (!AppendAllEntries(context.List, entries)) {
        context.Messages->Information(&window_, QString::fromStdString(LimitMessage()));
        return;
    }
    panel_.AppendRows(first, static_cast<std::int32_t>(entries.size()));
    panel_.SetListButtonsEnabled(context.List.SplitCount() > 0);
}

QString ListFileCommands::SuggestedCueName() const {
    const QFileInfo source(ShownPath(window_.Context().State.SourceFileName));
    return source.absolutePath() + "/" + source.completeBaseName() + ".cue";
}

bool ListFileCommands::WriteText(const QString& path, const std::string& text) {
    // Written whole or not at all: an existing sheet is replaced only by a complete one.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) ==
            static_cast<qint64>(text.size()) &&
        file.commit())
        return true;
    window_.Context().Messages->Error(&window_, path + ": " + file.errorString());
    return false;
}

void ListFileCommands::ExportCue() {
    const AppContext& context = window_.Context();
    const auto path = context.Choosers->ChooseCueToSave(&window_, "Export cue", SuggestedCueName());
    if (!path)
        return;
    std::string error;
    const CueExport sheet = ExportCueSheet(
        context.List.Entries(), ScanSource::From(context.State.SourceFileName, context.AudioInfo),
        static_cast<std::int32_t>(context.State.DurationMs), error);
    if (!error.empty()) {
        context.Messages->Error(&window_, ShownPath(context.State.SourceFileName) + ": " +
                                              QString::fromStdString(error));
        return;
    }
    if (!WriteText(*path, sheet.Text) || sheet.Warnings.empty())
        return;
    std::string lines;
    for (const std::string& warning : sheet.Warnings)
        lines += (lines.empty() ? "" : "\n") + warning;
    context.Messages->Warning(&window_, QString::fromStdString(lines));
}

void ListFileCommands::SaveList() {
    AppContext& context = window_.Context();
    const auto path = context.Choosers->ChooseCueToSave(&window_, "Save list", SuggestedCueName());
    if (path &&
        WriteText(*path, WriteSavedList(context.List.Entries(), context.State.SourceFileName)))
        context.List.MarkAllKept();
}

void ListFileCommands::LoadList() {
    if (const auto path = window_.Context().Choosers->ChooseCueToOpen(&window_, "Load list"))
        LoadListFile(*path);
}

void ListFileCommands::LoadListFile(const QString& path) {
    AppContext& context = window_.Context();
    const CueReadResult read = ReadCueFile(LocalPath(path));
    const SavedList list =
        read.Error ? SavedList{{}, {}, read.Error} : ListFromSavedSheet(read.Sheet);
    if (list.Error) {
        context.Messages->Error(
            &window_, QString::fromStdString(CueErrorMessage(LocalPath(path), *list.Error)));
        return;
    }
    if (!window_.MayDiscardList())
        return;
    if (list.SourcePath != context.State.SourceFileName) {
        window_.OpenSourceFile(ShownPath(list.SourcePath));
        if (list.SourcePath != context.State.SourceFileName)
            return; // the open has said why
    }
    panel_.SourceOpened(); // a loaded list replaces the one shown
    AppendAndShow(list.Entries);
    context.List.MarkAllKept();
}

void ListFileCommands::SplitAtPauses() {
    AppContext& context = window_.Context();
    if (context.State.SourceFileName.empty())
        return;
    PauseSplitDialog dialog(context, panel_, pauseSettings_, &window_);
    dialog.StartMeasuring();
    dialog.exec();
    pauseSettings_ = dialog.Settings();
    panel_.SetListButtonsEnabled(context.List.SplitCount() > 0);
}
