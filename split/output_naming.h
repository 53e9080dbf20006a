#pragma once

#include "split/split_list.h"

#include <cstdint>
#include <string>

// "001".."999": the three-digit form of a sequence number.
std::string ThreeDigit(std::int32_t n);

// Expands "$F", "$T", "$A", "$N" (either case) in the template for row index.
// Clears appendSequenceNumber when a "$N" is replaced. A tag brought in by
// the text of its own kind (a title holding "$T") is left as it stands, and
// the search goes on after every pair left unchanged, so it always ends.
std::string ExpandNameTemplate(const std::string& nameTemplate, std::int32_t index,
                               const SplitListItem& entry, const std::string& sourceFileName,
                               bool& appendSequenceNumber);

// The part file of one row, as Save builds it.
struct PartFile {
    std::string FileName;  // expanded name, appended number, ".mp3"
    std::string Path;      // target folder, separator, FileName
    bool Accepted = false; // the name passes CheckPartFileName and is not the source
};

// The part file of row index: expansion, the three-digit number appended when
// the list has more than one row and no "$N" was used, ".mp3", the folder.
PartFile BuildPartFile(const std::string& nameTemplate, std::int32_t index, const SplitList& list,
                       const std::string& sourceFileName, const std::string& targetFolder,
                       bool& appendSequenceNumber);

// BuildPartFile's path alone.
std::string PartFilePath(const std::string& nameTemplate, std::int32_t index, const SplitList& list,
                         const std::string& sourceFileName, const std::string& targetFolder,
                         bool& appendSequenceNumber);

// False when the file name (with ".mp3", WITHOUT the folder) holds one of
// / \ : * ? " < > | or is longer than 255 characters.
bool CheckPartFileName(const std::string& fileName);

// True when path names the source file itself, however it is spelled.
bool IsSourceFile(const std::string& path, const std::string& sourceFileName);

// "Can't create file " + path: the warning for a refused name.
std::string RefusedNameMessage(const std::string& path);
