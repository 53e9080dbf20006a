#pragma once

#include "core/engine_error.h"
#include "split/chapter_sections.h"

#include <cstdint>
#include <string>
#include <vector>

// Chapters in and out of ID3v2 tags: the CHAP frames of a source, and a tag
// that marks a file's chapters for players.

// The chapters of the file's ID3v2 tag; none when it has no tag or no CHAP
// frames. The top-level table of contents (CTOC) gives their order, a nested
// one its chapters in its place; without one, or one naming none of the
// chapters, they come by start time.
SourceChapters ReadChapters(const std::string& path);

// The source's ID3v2 tag (or an empty one) as ID3v2.4, its chapters and tables
// of contents replaced by one CHAP frame per chapter, with its title as TIT2
// ("Chapter n" for one without a title), under one ordered, top-level CTOC in
// the order given.
std::vector<std::uint8_t> ChapterTag(const std::string& sourcePath,
                                     const std::vector<SourceChapter>& chapters);
