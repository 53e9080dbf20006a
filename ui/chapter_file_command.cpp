#include "ui/chapter_file_command.h"

#include "ui/app_context.h"
#include "ui/main_window.h"
#include "ui/platform_services.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <atomic>
#include <thread>

namespace {

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString ShownPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Writes the file on a thread of its own; the progress dialog shows once the
// copy takes a while, and its Cancel stops the copy with nothing left behind.
Result<ChapterFileReport> WriteWithProgress(const ChapterFileRequest& request, QWidget* parent) {
    QProgressDialog progress("Writing " + ShownPath(request.OutPath) + "…", "Cancel", 0, 1000,
                             parent);
    progress.setObjectName("ChapterProgress");
    progress.setWindowTitle("Save as chapters");
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    std::atomic<bool> stop{false};
    QObject::connect(&progress, &QProgressDialog::canceled, [&stop] { stop = true; });
    QEventLoop loop;
    Result<ChapterFileReport> written = Error{ErrorCategory::Internal};
    std::thread worker([&] {
        ChapterFileCallbacks callbacks;
        callbacks.Progress = [&progress](std::int64_t done, std::int64_t total) {
            const int value = total > 0 ? static_cast<int>(done * 1000 / total) : 1000;
            QMetaObject::invokeMethod(
                &progress, [&progress, value] { progress.setValue(value); }, Qt::QueuedConnection);
        };
        callbacks.StopRequested = [&stop] { return stop.load(); };
        written = SplitSession::WriteChapters(request, callbacks);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return written;
}

} // namespace

ChapterFileCommand::ChapterFileCommand(TForm1& window, QObject* parent)
    : QObject(parent), window_(window) {
    setObjectName("ChapterFileCommand");
}

QString ChapterFileCommand::SuggestedName() const {
    const QFileInfo source(ShownPath(window_.Context().State.SourceFileName));
    return source.absolutePath() + "/" + source.completeBaseName() + " (chapters).mp3";
}

void ChapterFileCommand::SaveAsChapters() {
    AppContext& context = window_.Context();
    const std::optional<QString> path =
        context.Choosers->ChooseChapterFile(&window_, SuggestedName());
    if (!path)
        return;
    const bool exists = QFileInfo::exists(*path);
    if (exists && !context.Messages->AskYesNo(&window_, *path + " exists. Replace it?"))
        return;
    const Result<ChapterFileRequest> request =
        context.Session.ChapterFile(LocalPath(*path), exists);
    if (!request) {
        context.Messages->Error(&window_, QString::fromStdString(ErrorMessage(request.Failure())));
        return;
    }
    const Result<ChapterFileReport> written = WriteWithProgress(request.Value(), &window_);
    if (!written) {
        if (written.Failure().Category == ErrorCategory::Stopped)
            context.Messages->Information(&window_, "Stopped: nothing was written");
        else
            context.Messages->Error(&window_, ShownPath(ErrorMessage(written.Failure())));
        return;
    }
    const std::int32_t count = written.Value().Chapters;
    context.Messages->Information(&window_, QString("Wrote %1 %2 to %3")
                                                .arg(count)
                                                .arg(count == 1 ? "chapter" : "chapters")
                                                .arg(*path));
}
