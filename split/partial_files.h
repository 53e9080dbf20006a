#pragma once

#include <atomic>
#include <string>

// Named temporaries of parts being written, removed by a signal that ends the
// program, so that no partial file is left where the part was to appear.
// Only needed where the file system cannot make an unnamed file.

// Installs the TERM, HUP and INT handlers, each only where the signal still
// has its default action (a front end's own handler stays in charge).
void InstallPartialFileCleanup();

// Registers the file name inside the folder open as folderFd; returns the
// slot to release, or -1 when every slot is taken (the file is then not
// removed by a signal).
int RegisterPartialFile(int folderFd, const std::string& name);
void ReleasePartialFile(int slot);

// Removes every registered file, restores the signal's default action and
// raises it again: a handler for a signal that is to end the program.
extern "C" void RemovePartialFilesAndExit(int signal);

// Ctrl-C in a terminal: the first SIGINT only sets stopRequested, so that a split
// stops after the part being written; a second one ends the program as SIGINT
// does, after removing the temporaries. Returns the handler it replaced.
using SignalHandler = void (*)(int);
SignalHandler StopAtFirstInterrupt(std::atomic<bool>& stopRequested);
