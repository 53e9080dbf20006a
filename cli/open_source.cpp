#include "cli/open_source.h"

#include "core/preload_scan.h"

bool AnalyseSource(const std::string& path, OpenSource& source, std::ostream& err) {
    AnalysisResult result;
    try {
        result = source.Info.AnalyseFile(path);
    } catch (const FileOpenError& e) {
        err << e.what() << "\n";
        return false;
    }
    if (result == AnalysisResult::NoFrameFound) {
        err << path << ": no MPEG audio frame found\n";
        return false;
    }
    if (result != AnalysisResult::Ok || source.Info.PlayTimeMs == 0) {
        err << path << ": " << TAudioInfo::FailureMessage << "\n";
        return false;
    }
    source.State.SourceFileName = path;
    BeginSourceDurations(source.State, source.Info);
    return true;
}

bool ScanWholeSource(OpenSource& source, std::ostream& err) {
    try {
        ApplyScanResult(source.State,
                        PreloadScan(ScanSource::From(source.State.SourceFileName, source.Info)));
        return true;
    } catch (const ScanError& e) {
        err << e.what() << "\n";
        return false;
    }
}
