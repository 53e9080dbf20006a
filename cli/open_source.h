#pragma once

#include "session/split_session.h"

#include <ostream>
#include <string>

// Opens the source in the session, walking it when preload is set. A refused
// file or a failed walk gets one line on err naming the file and the reason,
// and false.
bool OpenOrReport(SplitSession& session, const std::string& path, bool preload, std::ostream& err);
