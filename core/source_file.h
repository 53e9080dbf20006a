#pragma once

#include <string>

// Opens a source for reading, once, and checks what was opened through the
// descriptor itself: a pipe or a device put in a file's place can then
// neither block the open (it is made without waiting) nor a later read.
// Returns the descriptor (close-on-exec, blocking reads), or -1 with the
// reason in error.
int OpenSourceFile(const std::string& path, std::string& error);
