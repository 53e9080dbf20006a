#include "cli/open_source.h"

std::optional<SourceSession> OpenSourceOrReport(const std::string& path, bool preload,
                                                std::ostream& err) {
    OpenOptions options;
    options.Preload = preload;
    Result<SourceSession> opened = OpenSource(path, options);
    if (!opened) {
        const Error& error = opened.Failure();
        // An open error's text already names the file.
        if (error.Category != ErrorCategory::Open)
            err << path << ": ";
        err << error.Text << "\n";
        return std::nullopt;
    }
    if (const auto& problem = opened.Value().ScanProblem) {
        err << problem->Text << "\n";
        return std::nullopt;
    }
    return std::move(opened.Value());
}
