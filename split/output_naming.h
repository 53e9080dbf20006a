#pragma once

#include "core/engine_error.h"
#include "split/split_list.h"

#include <cstddef>
#include <cstdint>
#include <string>

// "001".."999": the three-digit form of a sequence number.
std::string ThreeDigit(std::int32_t n);

// The longest file name a part may have, in bytes, ".mp3" included.
constexpr std::size_t kMaxPartNameBytes = 255;

// Expands "$F", "$T", "$A", "$N" (either case) in the template for row index.
// Clears appendSequenceNumber when a "$N" is replaced. A tag brought in by
// the text of its own kind (a title holding "$T") is left as it stands, and
// the search goes on after every pair left unchanged, so it always ends.
// Characters a name cannot hold that a tag or the source's name brings in
// become "_", as does a dot they bring to the start of the name (it would
// hide the file); the template's own are left for the check to refuse. An
// expansion that grows past kMaxPartNameBytes stops there and is refused.
Result<std::string> ExpandNameTemplate(const std::string& nameTemplate, std::int32_t index,
                                       const SplitListItem& entry,
                                       const std::string& sourceFileName,
                                       bool& appendSequenceNumber);

// The part file of one row, as Save builds it.
struct PartFile {
    std::string FileName; // expanded name, appended number, ".mp3"
    std::string Path;     // target folder, separator, FileName
};

// The part file of row index: expansion, the three-digit number appended when
// the list has more than one row and no "$N" was used (or standing alone when
// the name would be empty), ".mp3", the folder. A
// name that cannot be used is refused with RefusedNameMessage's line.
Result<PartFile> BuildPartFile(const std::string& nameTemplate, std::int32_t index,
                               const SplitList& list, const std::string& sourceFileName,
                               const std::string& targetFolder, bool& appendSequenceNumber);

// Why no file can have this name (with ".mp3", WITHOUT the folder): it holds
// one of / \ : * ? " < > |, NUL or another control character, or is longer
// than kMaxPartNameBytes. Empty when it can.
std::string NameProblem(const std::string& fileName);

// True when path names the source file itself, however it is spelled.
bool IsSourceFile(const std::string& path, const std::string& sourceFileName);

// "Can't create file " + path + ": " + why: the line for a part that cannot be created.
std::string RefusedNameMessage(const std::string& path, const std::string& why);
