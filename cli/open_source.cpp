#include "cli/open_source.h"

#include "core/text_encoding.h"

bool OpenOrReport(SplitSession& session, const std::string& path, bool preload, std::ostream& err) {
    OpenOptions options;
    options.Preload = preload;
    if (const Result<void> opened = session.Open(path, options); !opened) {
        err << PrintableText(ErrorMessage(opened.Failure())) << "\n";
        return false;
    }
    if (const auto& problem = session.ScanProblem()) {
        err << PrintableText(ErrorMessage(*problem)) << "\n";
        return false;
    }
    return true;
}
