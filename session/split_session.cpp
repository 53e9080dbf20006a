#include "session/split_session.h"

#include "media/cue_reader.h"
#include "media/id3v2_chapters.h"
#include "media/id3v2_part_tags.h"
#include "session/volume_plan.h"
#include "split/cue_sections.h"
#include "split/cue_writer.h"
#include "split/equal_parts.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// "sheet:line: warning: text", worded as the sheet's errors are.
std::string SheetWarning(const std::string& sheetPath, Error warning) {
    warning.Path = sheetPath;
    warning.Text = "warning: " + warning.Text;
    return ErrorMessage(warning);
}

// A fault of a sheet read from sheetPath, naming the sheet.
Error AtSheet(const std::string& sheetPath, Error error) {
    error.Path = sheetPath;
    return error;
}

} // namespace

Result<void> SplitSession::Open(const std::string& path, const OpenOptions& options,
                                const std::function<bool()>& mayReplace) {
    Result<SourceSession> opened = OpenSource(path, options);
    if (!opened)
        return opened.Failure();
    if (mayReplace && !mayReplace())
        return Error{ErrorCategory::Stopped, -1, "the open was called off", path};
    source_ = std::move(opened.Value());
    chapters_ = ReadChapters(path);
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
    if (change.RowsAdded == 0 && !entries.empty()) {
        change.Limit = LimitMessage();
        for (const SplitListItem& entry : entries)
            change.LeftOut.push_back({entry.StartMs, entry.EndMs});
    }
    return change;
}

Result<ListChange> SplitSession::AddSection(std::int32_t startMs, std::int32_t endMs) {
    if (endMs <= startMs)
        return Error{ErrorCategory::Input, -1, "the end must come after the start"};
    ListChange change;
    change.FirstRow = list_.SplitCount();
    if (list_.IsFull()) {
        change.Limit = LimitMessage();
        change.LeftOut.push_back({startMs, endMs});
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
        list.RemoveAllEntries();
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
    std::optional<Result<EqualPartsResult>> result;
    Record("Split by Parts", [&](SplitList& list) {
        result = SplitByEqualParts(list, input, source_.Info.Tag);
        return *result && result->Value().PartsAdded > 0;
    });
    if (!*result)
        return result->Failure();
    const EqualPartsResult& parts = result->Value();
    ListChange change;
    change.FirstRow = parts.FirstNewIndex;
    change.RowsAdded = parts.PartsAdded;
    change.CountText = parts.CountText;
    if (!parts.LeftOut.empty()) {
        change.Limit = LimitMessage();
        change.LeftOut = parts.LeftOut;
    }
    return change;
}

Result<ListChange> SplitSession::ImportCue(const std::string& sheetPath) {
    const Result<CueSheet> read = ReadCueFile(sheetPath);
    if (!read)
        return read.Failure();
    const Result<CueSections> sections =
        SectionsFromCue(read.Value(), static_cast<std::int32_t>(source_.State.DurationMs),
                        source_.Info.Tag, source_.State.SourceFileName);
    if (!sections)
        return AtSheet(sheetPath, sections.Failure());
    ListChange change = AppendAll("Import Cue", sections.Value().Entries);
    for (const Error& warning : sections.Value().Warnings)
        change.Warnings.push_back(SheetWarning(sheetPath, warning));
    return change;
}

Result<ListChange> SplitSession::ImportChapters() {
    if (chapters_.Chapters.empty())
        return Error{ErrorCategory::Input, -1, "has no chapters", SourcePath()};
    const ChapterSections sections = SectionsFromChapters(
        chapters_, static_cast<std::int32_t>(source_.State.DurationMs), source_.Info.Tag);
    ListChange change = AppendAll("Import Chapters", sections.Entries);
    for (const std::string& note : sections.Notes)
        change.Warnings.push_back(SourcePath() + ": " + note);
    for (const std::string& refusal : sections.Refusals)
        change.Refusals.push_back(SourcePath() + ": " + refusal);
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
    const Result<CueSheet> read = ReadCueFile(path);
    if (!read)
        return read.Failure();
    Result<SavedList> saved = ListFromSavedSheet(read.Value());
    if (!saved)
        return AtSheet(path, saved.Failure());
    return SavedListFile{std::move(saved.Value().SourcePath), std::move(saved.Value().Entries)};
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
        prepared.Warnings = AddId3v2Tags(prepared.Job, list_, options_.Id3v24);
    return prepared;
}

Result<std::vector<std::string>> SplitSession::SettleVolume(SplitJob& job) const {
    return ::SettleVolume(job, options_, ScanSource::From(SourcePath(), Info()));
}

SplitOutcome SplitSession::Run(const SplitJob& job, const SplitCallbacks& callbacks) {
    return WriteAllParts(job, callbacks);
}

Result<ChapterFileRequest> SplitSession::ChapterFile(const std::string& outPath,
                                                     bool overwrite) const {
    std::vector<SourceChapter> chapters;
    for (const SplitListItem& entry : list_.Entries())
        if (entry.Checked)
            chapters.push_back({entry.StartMs, entry.EndMs, entry.Title});
    if (chapters.empty())
        return Error{ErrorCategory::Input, -1, "no ticked rows to write as chapters"};
    // Players step through chapters in the order of the table of contents.
    std::stable_sort(
        chapters.begin(), chapters.end(),
        [](const SourceChapter& a, const SourceChapter& b) { return a.StartMs < b.StartMs; });
    ChapterFileRequest request;
    request.SourcePath = SourcePath();
    request.AudioOffset = source_.Info.FirstFrameOffset;
    request.Tag = ChapterTag(SourcePath(), chapters);
    request.Chapters = static_cast<std::int32_t>(chapters.size());
    request.OutPath = outPath;
    request.Overwrite = overwrite;
    return request;
}

Result<ChapterFileReport> SplitSession::WriteChapters(const ChapterFileRequest& request,
                                                      const ChapterFileCallbacks& callbacks) {
    return WriteChapterFile(request, callbacks);
}

bool SplitSession::ChapterTargetExists(const Error& error) {
    return error.Category == ErrorCategory::Name && error.Text == kChapterTargetExists;
}
