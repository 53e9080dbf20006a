#include "session/split_session.h"

#include "media/cue_reader.h"
#include "media/id3v2_part_tags.h"
#include "session/volume_plan.h"
#include "split/cue_sections.h"
#include "split/cue_writer.h"
#include "split/equal_parts.h"

#include <utility>

namespace {

// A sheet's error at its line, naming the sheet.
Error SheetError(const std::string& sheetPath, const CueError& error) {
    return Error{ErrorCategory::Format, -1, error.Text, sheetPath, error.Line};
}

} // namespace

Result<void> SplitSession::Open(const std::string& path, const OpenOptions& options,
                                const std::function<bool()>& mayReplace) {
    Result<SourceSession> opened = OpenSource(path, options);
    if (!opened) {
        Error error = opened.Failure();
        // An open error's text and a file without frames already name the file.
        if (error.Category != ErrorCategory::Open && error.Category != ErrorCategory::NoFrame)
            error.Path = path;
        return error;
    }
    if (mayReplace && !mayReplace())
        return Error{ErrorCategory::Stopped, -1, "the open was called off", path};
    source_ = std::move(opened.Value());
    list_.ClearEntries();
    history_.Clear();
    return {};
}

void SplitSession::Walk(const ScanProgress& progress) {
    WalkSource(source_, progress);
}

template <typename Change> void SplitSession::Record(const std::string& name, Change&& edit) {
    SplitList before = list_;
    if (edit(list_))
        history_.Record(name, std::move(before));
}

ListChange SplitSession::AppendAll(const std::string& step,
                                   const std::vector<SplitListItem>& entries) {
    ListChange change;
    change.FirstRow = list_.SplitCount();
    Record(step,
           [&](SplitList& list) { return AppendAllEntries(list, entries) && !entries.empty(); });
    change.RowsAdded = list_.SplitCount() - change.FirstRow;
    if (change.RowsAdded == 0 && !entries.empty())
        change.Limit = LimitMessage();
    return change;
}

Result<ListChange> SplitSession::AddSection(std::int32_t startMs, std::int32_t endMs) {
    if (endMs <= startMs)
        return Error{ErrorCategory::Input, -1, "the end must come after the start"};
    ListChange change;
    change.FirstRow = list_.SplitCount();
    if (list_.IsFull()) {
        change.Limit = LimitMessage();
        return change;
    }
    Record("Add Section", [&](SplitList& list) {
        list.AddEntry(startMs, endMs, source_.Info.Tag);
        return true;
    });
    change.RowsAdded = 1;
    return change;
}

void SplitSession::Edit(std::int32_t row, const SplitListItem& entry) {
    Record("Edit Section", [&](SplitList& list) {
        SplitListItem edited = list[row];
        edited.StartMs = entry.StartMs;
        edited.EndMs = entry.EndMs;
        edited.Title = entry.Title;
        edited.Artist = entry.Artist;
        edited.Album = entry.Album;
        edited.Year = entry.Year;
        edited.Comment = entry.Comment;
        edited.Volume = entry.Volume;
        if (edited == list[row])
            return false; // OK without a change is no step
        list[row] = std::move(edited);
        return true;
    });
}

void SplitSession::Remove(std::int32_t row) {
    Record("Remove", [&](SplitList& list) {
        list.RemoveEntry(row);
        return true;
    });
}

void SplitSession::RemoveAll() {
    Record("Remove All", [](SplitList& list) {
        const bool had = list.SplitCount() > 0;
        list.ClearEntries();
        return had;
    });
}

void SplitSession::Tick(std::int32_t row, bool checked) {
    Record(checked ? "Tick" : "Untick", [&](SplitList& list) {
        const bool changed = list[row].Checked != checked;
        list[row].Checked = checked;
        return changed;
    });
}

Result<ListChange> SplitSession::EqualParts(const std::string& countText,
                                            std::int32_t overlapPositions,
                                            std::int32_t positionStep) {
    EqualPartsInput input;
    input.CountText = countText;
    input.OverlapPositions = overlapPositions;
    input.PositionStep = positionStep;
    input.TotalMs = source_.State.DurationMsExact;
    EqualPartsResult result;
    Record("Split by Parts", [&](SplitList& list) {
        result = SplitByEqualParts(list, input, source_.Info.Tag);
        return result.PartsAdded > 0;
    });
    if (result.Outcome == EqualPartsOutcome::InvalidCount)
        return Error{ErrorCategory::Input, -1, result.ErrorMessage};
    ListChange change;
    change.FirstRow = result.FirstNewIndex;
    change.RowsAdded = result.PartsAdded;
    change.CountText = result.CountText;
    if (result.Outcome == EqualPartsOutcome::LimitReached)
        change.Limit = result.ErrorMessage;
    return change;
}

Result<ListChange> SplitSession::ImportCue(const std::string& sheetPath) {
    const CueReadResult read = ReadCueFile(sheetPath);
    if (read.Error)
        return SheetError(sheetPath, *read.Error);
    const CueSections sections =
        SectionsFromCue(read.Sheet, static_cast<std::int32_t>(source_.State.DurationMs),
                        source_.Info.Tag, source_.State.SourceFileName);
    if (sections.Error)
        return SheetError(sheetPath, *sections.Error);
    ListChange change = AppendAll("Import Cue", sections.Entries);
    for (const CueError& warning : sections.Warnings)
        change.Warnings.push_back(CueWarningMessage(sheetPath, warning));
    return change;
}

PauseSearch SplitSession::Pauses() const {
    return PauseSearch({source_.State.SourceFileName, source_.Info.FirstFrameOffset,
                        static_cast<std::int32_t>(source_.State.DurationMs), source_.Info.Tag});
}

PauseParts SplitSession::PausePartsFor(const PauseSearch& search,
                                       const PauseSettings& settings) const {
    // With more pauses than the list has room for, the longest are cut at.
    return search.Parts(settings,
                        static_cast<std::size_t>(SplitList::MaxParts - list_.SplitCount()));
}

Result<ListChange> SplitSession::AddPauses(const PauseSearch& search,
                                           const PauseSettings& settings) {
    const PauseParts parts = PausePartsFor(search, settings);
    ListChange change = AppendAll("Split at Pauses", parts.Sections);
    change.Warnings = search.Warnings();
    if (change.RowsAdded > 0 && !parts.LimitNote().empty())
        change.Warnings.push_back(parts.LimitNote());
    return change;
}

Result<ListChange> SplitSession::FindPauses(const PauseSettings& settings,
                                            const PauseSearch::Progress& progress) {
    PauseSearch search = Pauses();
    if (Result<void> measured = search.Measure(settings, progress); !measured)
        return measured.Failure();
    return AddPauses(search, settings);
}

Result<SavedListFile> SplitSession::ReadList(const std::string& path) {
    const CueReadResult read = ReadCueFile(path);
    if (read.Error)
        return SheetError(path, *read.Error);
    SavedList saved = ListFromSavedSheet(read.Sheet);
    if (saved.Error)
        return SheetError(path, *saved.Error);
    return SavedListFile{std::move(saved.SourcePath), std::move(saved.Entries)};
}

Result<ListChange> SplitSession::LoadList(const SavedListFile& saved) {
    if (saved.SourcePath != source_.State.SourceFileName)
        return Error{ErrorCategory::Open, -1, "the list is for another source", saved.SourcePath};
    ListChange change;
    Record("Load List", [&](SplitList& list) {
        SplitList loaded;
        if (!AppendAllEntries(loaded, saved.Entries)) {
            change.Limit = LimitMessage();
            return false;
        }
        list = std::move(loaded);
        list.MarkAllKept(); // as the file holds it
        return true;
    });
    change.RowsAdded = change.Limit.empty() ? list_.SplitCount() : 0;
    return change;
}

std::string SplitSession::SavedListText() const {
    return WriteSavedList(list_.Entries(), source_.State.SourceFileName);
}

Result<CueExport> SplitSession::ExportCue() const {
    Result<CueExport> sheet =
        ExportCueSheet(list_.Entries(), ScanSource{SourcePath(), source_.Format},
                       static_cast<std::int32_t>(source_.State.DurationMs));
    if (!sheet)
        return Error{ErrorCategory::Read, -1, sheet.Failure().Text, SourcePath()};
    return sheet;
}

PartPlan SplitSession::Plan(PlanRequest request) const {
    request.SourcePath = source_.State.SourceFileName;
    return PlanParts(list_, request);
}

std::vector<std::string> SplitSession::PathsToWrite(const PartPlan& plan) {
    std::vector<std::string> paths;
    for (const PlannedPart& part : plan)
        if (part.Decision == PartDecision::Write)
            paths.push_back(part.Path);
    return paths;
}

SplitSession::PreparedJob SplitSession::Job(const PartPlan& plan) const {
    PreparedJob prepared{BuildSplitJob(source_, options_.SaveInfoFrame, list_, plan), {}};
    prepared.Job.RebuildInfoFrame = options_.RebuildInfoFrame;
    prepared.Job.ExactCuts = options_.ExactCuts;
    for (std::size_t row = 0; row < prepared.Job.Rows.size(); ++row) {
        const PartVolume& own = list_[static_cast<std::int32_t>(row)].Volume;
        prepared.Job.Rows[row].Volume = own.Changes() ? own : options_.Volume;
    }
    if (options_.Id3v2)
        prepared.Warnings = AddId3v2Tags(prepared.Job, list_);
    return prepared;
}

Result<std::vector<std::string>> SplitSession::SettleVolume(SplitJob& job) const {
    return ::SettleVolume(job, options_, ScanSource::From(SourcePath(), Info()));
}

SplitOutcome SplitSession::Run(const SplitJob& job, const SplitCallbacks& callbacks) {
    return WriteAllParts(job, callbacks);
}
