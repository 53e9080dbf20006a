#pragma once

#include "core/engine_error.h"
#include "core/source_format.h"
#include "session/edit_history.h"
#include "session/pause_search.h"
#include "session/save_options.h"
#include "split/chapter_file.h"
#include "split/chapter_sections.h"
#include "split/cue_writer.h"
#include "split/part_plan.h"
#include "split/split_list.h"
#include "split/split_worker.h"
#include "state/open_source.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a change that adds rows did.
struct ListChange {
    std::int32_t FirstRow = 0; // the first row added
    std::int32_t RowsAdded = 0;
    // Added all the same, a message each: a sheet naming another file, a
    // stretch the pause search could not decode.
    std::vector<std::string> Warnings;
    std::string Limit;     // not all the rows fitted (LimitMessage or its equal-parts form)
    SectionTimes LeftOut;  // with Limit: the sections that did not fit
    std::string CountText; // equal parts: the count taken ("2" for an empty field)
    // Left out, a message each: chapters past the end of the audio.
    std::vector<std::string> Refusals;
};

// A list as Save list wrote it: the source it was made for and its rows.
struct SavedListFile {
    std::string SourcePath;
    std::vector<SplitListItem> Entries;
};

// The use cases both front ends call, over one open source, its split list
// with the list's undo history, and the save options. Every change to the
// list is one step of the history; opening another source clears it.
class SplitSession {
public:
    // ---- the source
    // Analyses the file (and walks it with options.Preload). A refusal leaves
    // the previous source, list and history in place; so does mayReplace,
    // asked once the file is known to open, answering false (a Stopped error).
    Result<void> Open(const std::string& path, const OpenOptions& options = {},
                      const std::function<bool()>& mayReplace = {});
    // Walks the open source for its exact length; a failed walk is kept in ScanProblem().
    void Walk(const ScanProgress& progress = {});
    bool HasSource() const { return !source_.State.SourceFileName.empty(); }
    const std::string& SourcePath() const { return source_.State.SourceFileName; }
    const SourceFormat& Format() const { return source_.Format; }
    const std::optional<Error>& ScanProblem() const { return source_.ScanProblem; }
    const SourceSession& Source() const { return source_; }
    // The chapters of the source's ID3v2 tag, read when it was opened.
    const SourceChapters& Chapters() const { return chapters_; }
    // The window keeps the player's units and the selection in the state.
    TAudioInfo& Info() { return source_.Info; }
    const TAudioInfo& Info() const { return source_.Info; }
    SessionState& State() { return source_.State; }
    const SessionState& State() const { return source_.State; }

    SaveOptions& Options() { return options_; }
    const SaveOptions& Options() const { return options_; }

    // ---- the list; each change below is one step of the history
    const SplitList& List() const { return list_; }
    // The list without the history, for setting one up in a test.
    SplitList& UnrecordedList() { return list_; }

    Result<ListChange> AddSection(std::int32_t startMs, std::int32_t endMs);
    // The row's times, texts and volume; its tick, tag id and genre stay.
    void Edit(std::int32_t row, const SplitListItem& entry);
    void Remove(std::int32_t row);
    void RemoveAll();
    void Tick(std::int32_t row, bool checked);
    // countText as typed (empty means 2); the overlap in slider positions of positionStep ms.
    Result<ListChange> EqualParts(const std::string& countText, std::int32_t overlapPositions,
                                  std::int32_t positionStep);
    Result<ListChange> ImportCue(const std::string& sheetPath);
    // A row per chapter of the source, with a line for each overlap and gap.
    Result<ListChange> ImportChapters();
    PauseSearch Pauses() const;
    // The sections a measured search gives, as many as the list has room for.
    PauseParts PausePartsFor(const PauseSearch& search, const PauseSettings& settings) const;
    // The sections of a measured search, added as one step.
    Result<ListChange> AddPauses(const PauseSearch& search, const PauseSettings& settings);
    // Measures and adds in one go.
    Result<ListChange> FindPauses(const PauseSettings& settings,
                                  const PauseSearch::Progress& progress);
    static Result<SavedListFile> ReadList(const std::string& path);
    // Replaces the list with the saved one, which must be for the open source.
    Result<ListChange> LoadList(const SavedListFile& saved);
    std::string SavedListText() const;
    // The list's rows are in a file now: leaving them asks nothing until they change.
    void MarkListSaved() { list_.MarkAllKept(); }
    // The ticked rows as a cue sheet for other programs, and what a sheet
    // cannot hold of them (gaps, overlaps).
    Result<CueExport> ExportCue() const;

    bool CanUndo() const { return history_.CanUndo(); }
    bool CanRedo() const { return history_.CanRedo(); }
    std::string UndoName() const { return history_.UndoName(); }
    std::string RedoName() const { return history_.RedoName(); }
    bool Undo() { return history_.Undo(list_); }
    bool Redo() { return history_.Redo(list_); }

    // ---- the split
    // Names every ticked row and decides its fate; request.SourcePath is the open source.
    PartPlan Plan(PlanRequest request) const;
    // The paths the plan writes.
    static std::vector<std::string> PathsToWrite(const PartPlan& plan);
    // The job for the rows the plan writes, with the save options applied,
    // and a line for each of the source's tag frames left out of the parts.
    struct PreparedJob {
        SplitJob Job;
        std::vector<std::string> Warnings;
    };
    PreparedJob Job(const PartPlan& plan) const;
    // The job's gains settled as the volume options ask (normalize measures
    // each part), and a line for each part whose gain would clip.
    Result<std::vector<std::string>> SettleVolume(SplitJob& job) const;
    // The rows the plan wrote are in files now: leaving them asks nothing until they change.
    void MarkWritten(const PartPlan& plan) { MarkWrittenKept(list_, plan); }
    // Writes the job's parts; may run on a thread of its own, as the job is a copy.
    static SplitOutcome Run(const SplitJob& job, const SplitCallbacks& callbacks);

    // ---- the list as the chapters of one file
    // The source's audio with a chapter for each ticked row, by start time, into outPath.
    Result<ChapterFileRequest> ChapterFile(const std::string& outPath, bool overwrite) const;
    // Writes it; may run on a thread of its own, as the request is a copy.
    static Result<ChapterFileReport> WriteChapters(const ChapterFileRequest& request,
                                                   const ChapterFileCallbacks& callbacks = {});
    // Whether the file was refused because its target exists and may not be replaced.
    static bool ChapterTargetExists(const Error& error);

private:
    // The one way the list changes: edit returns whether it changed the list,
    // and a change is recorded as the step name.
    template <typename Change> void Record(const std::string& name, Change&& edit);
    ListChange AppendAll(const std::string& step, const std::vector<SplitListItem>& entries);

    SourceSession source_;
    SourceChapters chapters_;
    SplitList list_;
    EditHistory history_;
    SaveOptions options_;
};
