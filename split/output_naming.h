#pragma once

#include <cstdint>
#include <string>

#include "split/split_list.h"

// "001".."999": the three-digit form of a sequence number.
std::string ThreeDigit(std::int32_t n);

// Expands "$F", "$T", "$A", "$N" (either case) in the template for row index.
// Clears appendSequenceNumber when a "$N" is replaced.
std::string ExpandNameTemplate(const std::string& nameTemplate, std::int32_t index,
                               const SplitListItem& entry, const std::string& sourceFileName,
                               bool& appendSequenceNumber);

// The part file path of row index: expansion, appended number when the list has
// more than one row and no "$N" was used, folder, separator and ".mp3".
std::string PartFilePath(const std::string& nameTemplate, std::int32_t index,
                         const SplitList& list, const std::string& sourceFileName,
                         const std::string& targetFolder, bool& appendSequenceNumber);

// False when the file name of path (with ".mp3", without the folder) holds one
// of / \ : * ? " < > | or is longer than 255 characters.
bool CheckPartFileName(const std::string& path);

// "Can't create file " + path: the warning for a refused name.
std::string RefusedNameMessage(const std::string& path);
