#include "split/part_plan.h"

#include "core/audio_info.h"
#include "split/output_naming.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <set>

namespace {

PartDecision ForExisting(OverwritePolicy policy) {
    switch (policy) {
    case OverwritePolicy::Ask:
        return PartDecision::Ask;
    case OverwritePolicy::Overwrite:
        return PartDecision::Write;
    case OverwritePolicy::Keep:
        break;
    }
    return PartDecision::Skip;
}

// The fate of a part whose name can be used. Every question to the file
// system can fail (a loop of links, a path too long, a folder that may not be
// searched): a name that cannot be checked is refused with the system's reason.
void Decide(PlannedPart& part, const PlanRequest& request, std::set<std::string>& taken) {
    if (IsSourceFile(part.Path, request.SourcePath)) {
        part.Decision = PartDecision::Refuse;
        part.Reason = RefusedNameMessage(part.Path, "it is the source file itself");
        return;
    }
    if (std::any_of(request.OtherSources.begin(), request.OtherSources.end(),
                    [&part](const std::string& other) { return IsSourceFile(part.Path, other); })) {
        part.Decision = PartDecision::Refuse;
        part.Reason = RefusedNameMessage(part.Path, "it is another of the files being split");
        return;
    }
    if (!taken.insert(part.Path).second || request.EarlierParts.count(part.Path) != 0) {
        // A second part of this run would overwrite the first.
        part.Decision = PartDecision::Refuse;
        part.Reason = part.Path + ": an earlier part has the same name; not written";
        return;
    }
    std::error_code error;
    part.Exists = std::filesystem::exists(part.Path, error);
    if (error) {
        part.Exists = false;
        part.Decision = PartDecision::Refuse;
        part.Reason = RefusedNameMessage(part.Path, error.message());
    } else if (part.Exists) {
        part.Decision = ForExisting(request.Overwrite);
        if (part.Decision == PartDecision::Skip)
            part.Reason = part.Path + ": the file exists; not overwritten";
    } else {
        part.Decision = PartDecision::Write;
    }
}

} // namespace

PartPlan PlanParts(const SplitList& list, const PlanRequest& request) {
    PartPlan plan(static_cast<std::size_t>(list.SplitCount()));
    bool appendSequenceNumber = true;
    std::set<std::string> taken;
    for (std::int32_t i = 0; i < list.SplitCount(); ++i) {
        PlannedPart& part = plan[static_cast<std::size_t>(i)];
        if (!list[i].Checked) {
            part.Reason = "not checked";
            continue;
        }
        Result<PartFile> file = BuildPartFile(request.NameTemplate, i, list, request.SourcePath,
                                              request.TargetFolder, appendSequenceNumber);
        if (!file) {
            part.Decision = PartDecision::Refuse;
            part.Reason = file.Failure().Text;
            continue;
        }
        part.Path = file.Value().Path;
        Decide(part, request, taken);
    }
    return plan;
}

std::int32_t PartsToWrite(const PartPlan& plan) {
    return static_cast<std::int32_t>(std::count_if(plan.begin(), plan.end(), [](const auto& part) {
        return part.Decision == PartDecision::Write;
    }));
}

void MarkWrittenKept(SplitList& list, const PartPlan& plan) {
    for (std::size_t i = 0; i < plan.size(); ++i)
        if (plan[i].Decision == PartDecision::Write)
            list.MarkKept(static_cast<std::int32_t>(i));
}

SplitJob BuildSplitJob(const SourceSession& source, bool saveFrameOption, const SplitList& list,
                       const PartPlan& plan) {
    // The slider's last position and the last equal part end here.
    const std::int64_t lengthMs =
        std::min<std::int64_t>(source.State.DurationMs, std::numeric_limits<std::int32_t>::max());
    SplitJob job;
    job.SourcePath = source.State.SourceFileName;
    job.Format = source.Format;
    job.FrameCount = source.State.FrameCount;
    job.SaveFrameOption = saveFrameOption;
    for (std::int32_t i = 0; i < list.SplitCount(); ++i) {
        const SplitListItem& entry = list[i];
        const PlannedPart* part = static_cast<std::size_t>(i) < plan.size()
                                      ? &plan[static_cast<std::size_t>(i)]
                                      : nullptr;
        SplitJobRow row;
        row.Checked = entry.Checked;
        row.DoWrite = part != nullptr && part->Decision == PartDecision::Write;
        row.OutPath = part != nullptr ? part->Path : std::string();
        // Only a file the user agreed to replace is replaced; one that
        // appears meanwhile is not.
        row.MayReplace = part != nullptr && part->Exists;
        row.StartMs = entry.StartMs;
        // The analysed length is an estimate (a VBR length in whole seconds, a
        // CBR one from the byte count): a section that ends at it runs to the
        // end of the audio, where the copy stops by the frame count. Any other
        // end is a time, also past an estimate too short for the file.
        row.EndMs = lengthMs > 0 && entry.EndMs == lengthMs
                        ? std::numeric_limits<std::int32_t>::max()
                        : entry.EndMs;
        row.Tag = EncodeEntryTag(entry);
        job.Rows.push_back(std::move(row));
    }
    return job;
}
