#pragma once

#include "core/engine_error.h"

#include <string>

// Opens a source for reading, once, and checks what was opened through the
// descriptor itself: a pipe or a device put in a file's place can then
// neither block the open (it is made without waiting) nor a later read.
// Returns the descriptor (close-on-exec, blocking reads), or an Open error
// whose text is the reason.
Result<int> OpenSourceFile(const std::string& path);
