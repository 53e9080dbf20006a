#include "state/open_source.h"

#include <cmath>

namespace {

std::optional<Error> Analyse(const std::string& path, TAudioInfo& info) {
    const Result<AnalysisResult> analysed = info.AnalyseFile(path);
    if (!analysed)
        return analysed.Failure();
    const AnalysisResult result = analysed.Value();
    if (result == AnalysisResult::NoFrameFound)
        return Error{ErrorCategory::NoFrame, -1, path + ": no MPEG audio frame found"};
    if (result != AnalysisResult::Ok || info.PlayTimeMs == 0)
        return info.Problem;
    // Free format or a length that rounds to nothing: no position could be cut.
    if (info.Header.FrameBytes <= 0 || DurationMsFromAnalysis(info) <= 0)
        return Error{ErrorCategory::Format, info.FirstFrameOffset, TAudioInfo::FailureMessage};
    return std::nullopt;
}

void SettleDurations(SourceSession& session) {
    SessionState& state = session.State;
    state.DurationMs = static_cast<std::int64_t>(std::trunc(state.DurationMsExact));
    state.PositionStep = ChoosePositionStep(state.DurationMs);
    state.MsPerFrame = MsPerFrameOf(state.DurationMs, session.Info);
}

} // namespace

Result<SourceSession> OpenSource(const std::string& path, const OpenOptions& options) {
    SourceSession session;
    if (std::optional<Error> refused = Analyse(path, session.Info)) {
        // An open error's text and a file without frames already name the file.
        if (refused->Category != ErrorCategory::Open && refused->Category != ErrorCategory::NoFrame)
            refused->Path = path;
        return *std::move(refused);
    }
    session.State.SourceFileName = path;
    session.Format = SourceFormat::Of(session.Info);
    session.Walk = std::make_shared<SourceWalk>(ScanSource{path, session.Format});
    BeginSourceDurations(session.State, session.Info);
    SettleDurations(session);
    if (options.Preload)
        WalkSource(session, options.Progress);
    return session;
}

// A walk that finds no length leaves the analysis's one in effect.
void WalkSource(SourceSession& session, const ScanProgress& progress) {
    session.ScanProblem.reset();
    const Result<ScanResult> result = session.Walk->Run(progress);
    if (!result)
        session.ScanProblem = result.Failure();
    else if (result.Value().DurationMsExact > 0)
        ApplyScanResult(session.State, result.Value());
    SettleDurations(session);
}
