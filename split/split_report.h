#pragma once

#include "split/split_worker.h"

#include <cstdint>
#include <string>
#include <vector>

// The words both front ends use to tell how a split goes and how it ended.
// Every text is printable: a control character in a name shows as "?".

// "Part n of N".
std::string PartOfLine(std::int32_t n, std::int32_t total);

// The file names of the parts the job writes, in the order it writes them.
std::vector<std::string> PartNamesToWrite(const SplitJob& job);

// "Stopped after n of N parts": a split ended by the user after n parts begun.
std::string StoppedLine(std::int32_t begun, std::int32_t total);

// "Part n of N not written: " and the worker's line (the part's path and the
// reason); the line alone when no part was begun.
std::string FailedPartLine(std::int32_t n, std::int32_t total, const std::string& failure);

// "2 parts written, 1 not written": the last word on a split that did not write everything.
std::string WrittenLine(std::int32_t written, std::int32_t notWritten);

// What the user is told of a split that did not write every part: the part
// that failed and why (failure is the worker's line, empty when none failed),
// else the problems of a run that ended, else where the user stopped it.
std::string UnfinishedSplitMessage(std::int32_t begun, std::int32_t total,
                                   const std::string& failure,
                                   const std::vector<std::string>& problems);
