#include "ui/list_file_commands.h"

#include "ui/app_context.h"
#include "ui/chapter_file_command.h"
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
    importChapters_ = menu_->addAction("Import chapters", this, &ListFileCommands::ImportChapters);
    importChapters_->setObjectName("ImportChaptersAction");
    exportCue_ = menu_->addAction("Export cue…", this, &ListFileCommands::ExportCue);
    menu_->addSeparator();
    saveList_ = menu_->addAction("Save list…", this, &ListFileCommands::SaveList);
    auto* chapters = new ChapterFileCommand(window, this);
    saveChapters_ =
        menu_->addAction("Save as chapters…", chapters, &ChapterFileCommand::SaveAsChapters);
    saveChapters_->setObjectName("SaveChaptersAction");
    loadList_ = menu_->addAction("Load list…", this, &ListFileCommands::LoadList);
    menu_->addSeparator();
    splitAtPauses_ = menu_->addAction("Split at pauses…", this, &ListFileCommands::SplitAtPauses);
    menu_->addSeparator();
    // The window's keys carry these out outside text fields; the menu shows them.
    undo_ = menu_->addAction("Undo", this, &ListFileCommands::Undo);
    undo_->setObjectName("UndoAction");
    undo_->setShortcut(QKeySequence::Undo);
    undo_->setShortcutContext(Qt::WidgetShortcut);
    redo_ = menu_->addAction("Redo", this, &ListFileCommands::Redo);
    redo_->setObjectName("RedoAction");
    redo_->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    redo_->setShortcutContext(Qt::WidgetShortcut);
    connect(menu_, &QMenu::aboutToShow, this, &ListFileCommands::EnableActions);

    button_ = new QToolButton(&panel);
    button_->setObjectName("ListButton");
    button_->setText("L&ist");
    button_->setToolTip("Cue sheets, chapters, saved lists, split at pauses");
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
    importChapters_->setEnabled(open && !context.Session.Chapters().Chapters.empty());
    splitAtPauses_->setEnabled(open);
    saveList_->setEnabled(open && !entries.empty());
    const bool ticked = std::any_of(entries.begin(), entries.end(),
                                    [](const SplitListItem& e) { return e.Checked; });
    exportCue_->setEnabled(ticked);
    saveChapters_->setEnabled(ticked);
    const SplitSession& session = context.Session;
    undo_->setEnabled(session.CanUndo());
    undo_->setText(QString::fromStdString("Undo " + session.UndoName()).trimmed());
    redo_->setEnabled(session.CanRedo());
    redo_->setText(QString::fromStdString("Redo " + session.RedoName()).trimmed());
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
    ShowChange(context.Session.ImportCue(LocalPath(path)), false);
}

void ListFileCommands::ImportChapters() {
    AppContext& context = window_.Context();
    if (context.State.SourceFileName.empty())
        return;
    ShowChange(context.Session.ImportChapters(), false);
}

// What a sheet cannot hold, or what came in all the same, in one box.
void ListFileCommands::ShowWarnings(const std::vector<std::string>& warnings) {
    std::string lines;
    for (const std::string& warning : warnings)
        lines += (lines.empty() ? "" : "\n") + warning;
    if (!lines.empty())
        window_.Context().Messages->Warning(&window_, QString::fromStdString(lines));
}

// A sheet's rows added (or the list replaced): its error or the limit said, else the rows shown.
void ListFileCommands::ShowChange(const Result<ListChange>& change, bool replaced) {
    AppContext& context = window_.Context();
    if (!change) {
        context.Messages->Error(&window_, QString::fromStdString(ErrorMessage(change.Failure())));
        return;
    }
    std::vector<std::string> warnings = change.Value().Warnings;
    warnings.insert(warnings.end(), change.Value().Refusals.begin(), change.Value().Refusals.end());
    ShowWarnings(warnings);
    if (!change.Value().Limit.empty()) {
        context.Messages->Information(&window_, QString::fromStdString(change.Value().Limit));
        return;
    }
    if (replaced) {
        panel_.ShowList();
        return;
    }
    panel_.AppendRows(change.Value().FirstRow, change.Value().RowsAdded);
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
    const Result<CueExport> sheet = context.Session.ExportCue();
    if (!sheet) {
        context.Messages->Error(&window_, QString::fromStdString(ErrorMessage(sheet.Failure())));
        return;
    }
    if (WriteText(*path, sheet.Value().Text))
        ShowWarnings(sheet.Value().Warnings);
}

void ListFileCommands::SaveList() {
    AppContext& context = window_.Context();
    const auto path = context.Choosers->ChooseCueToSave(&window_, "Save list", SuggestedCueName());
    if (path && WriteText(*path, context.Session.SavedListText()))
        context.Session.MarkListSaved();
}

void ListFileCommands::LoadList() {
    if (const auto path = window_.Context().Choosers->ChooseCueToOpen(&window_, "Load list"))
        LoadListFile(*path);
}

void ListFileCommands::LoadListFile(const QString& path) {
    AppContext& context = window_.Context();
    const Result<SavedListFile> saved = SplitSession::ReadList(LocalPath(path));
    if (!saved) {
        context.Messages->Error(&window_, QString::fromStdString(ErrorMessage(saved.Failure())));
        return;
    }
    if (!window_.MayDiscardList())
        return;
    const std::string& source = saved.Value().SourcePath;
    if (source != context.State.SourceFileName) {
        window_.OpenSourceFile(ShownPath(source));
        if (source != context.State.SourceFileName)
            return; // the open has said why
    }
    ShowChange(context.Session.LoadList(saved.Value()), true);
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

void ListFileCommands::Undo() {
    if (window_.Context().Session.Undo())
        panel_.ShowList();
}

void ListFileCommands::Redo() {
    if (window_.Context().Session.Redo())
        panel_.ShowList();
}
