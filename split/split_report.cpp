#include "split/split_report.h"

#include "core/text_encoding.h"

namespace {

std::string Parts(std::int32_t count) {
    return std::to_string(count) + (count == 1 ? " part" : " parts");
}

} // namespace

std::string PartOfLine(std::int32_t n, std::int32_t total) {
    return "Part " + std::to_string(n) + " of " + std::to_string(total);
}

std::vector<std::string> PartNamesToWrite(const SplitJob& job) {
    std::vector<std::string> names;
    for (const SplitJobRow& row : job.Rows) {
        if (!row.ToWrite())
            continue;
        const std::size_t slash = row.OutPath.find_last_of('/');
        names.push_back(PrintableText(slash == std::string::npos ? row.OutPath
                                                                 : row.OutPath.substr(slash + 1)));
    }
    return names;
}

std::string StoppedLine(std::int32_t begun, std::int32_t total) {
    return "Stopped after " + std::to_string(begun) + " of " + Parts(total);
}

std::string FailedPartLine(std::int32_t n, std::int32_t total, const std::string& failure) {
    // A run that fails before its first part (the source cannot be read) has no part to name.
    if (n == 0)
        return PrintableText(failure);
    return PartOfLine(n, total) + " not written: " + PrintableText(failure);
}

std::string WrittenLine(std::int32_t written, std::int32_t notWritten) {
    return Parts(written) + " written, " + std::to_string(notWritten) + " not written";
}

std::string UnfinishedSplitMessage(std::int32_t begun, std::int32_t total,
                                   const std::string& failure,
                                   const std::vector<std::string>& problems) {
    if (!failure.empty())
        return FailedPartLine(begun, total, failure);
    if (problems.empty())
        return StoppedLine(begun, total);
    std::string message;
    for (const std::string& line : problems) {
        if (!message.empty())
            message += '\n';
        message += PrintableText(line);
    }
    return message;
}
