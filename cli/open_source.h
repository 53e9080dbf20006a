#pragma once

#include "state/open_source.h"

#include <optional>
#include <ostream>
#include <string>

// Opens the source through the engine, walking it when preload is set. A
// refused file or a failed walk gets one line on err naming the file and the
// reason, and nothing.
std::optional<SourceSession> OpenSourceOrReport(const std::string& path, bool preload,
                                                std::ostream& err);
