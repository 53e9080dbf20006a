#include "cli/open_source.h"

#include "core/text_encoding.h"

std::optional<SourceSession> OpenSourceOrReport(const std::string& path, bool preload,
                                                std::ostream& err) {
    OpenOptions options;
    options.Preload = preload;
    Result<SourceSession> opened = OpenSource(path, options);
    if (!opened) {
        const Error& error = opened.Failure();
        // An open error's text and a file without frames already name the file.
        const bool named =
            error.Category == ErrorCategory::Open || error.Category == ErrorCategory::NoFrame;
        err << PrintableText((named ? "" : path + ": ") + error.Text) << "\n";
        return std::nullopt;
    }
    if (const auto& problem = opened.Value().ScanProblem) {
        err << PrintableText(problem->Text) << "\n";
        return std::nullopt;
    }
    return std::move(opened.Value());
}
