#include "split/partial_files.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

constexpr int kSlots = 16;
constexpr std::size_t kNameBytes = 256;

// Only what a signal handler may touch: flags, descriptors and fixed buffers.
struct Slot {
    std::atomic<bool> Used{false};
    int FolderFd = -1;
    char Name[kNameBytes] = {};
};

Slot gSlots[kSlots];
std::mutex gClaimLock;
std::atomic<std::atomic<bool>*> gStopAtInterrupt{nullptr};

extern "C" void StopThenEndAtInterrupt(int) {
    if (std::atomic<bool>* stop = gStopAtInterrupt.load())
        stop->store(true);
    std::signal(SIGINT, RemovePartialFilesAndExit);
}

void InstallIfDefault(int signal) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
        return;
    struct sigaction action {};
    action.sa_handler = RemovePartialFilesAndExit;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

} // namespace

void InstallPartialFileCleanup() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : {SIGTERM, SIGHUP, SIGINT})
            InstallIfDefault(signal);
    });
}

int RegisterPartialFile(int folderFd, const std::string& name) {
    if (name.size() >= kNameBytes)
        return -1;
    const std::lock_guard<std::mutex> lock(gClaimLock);
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = gSlots[i];
        if (slot.Used.load())
            continue;
        slot.FolderFd = folderFd;
        std::memcpy(slot.Name, name.c_str(), name.size() + 1);
        slot.Used.store(true);
        return i;
    }
    return -1;
}

void ReleasePartialFile(int slot) {
    if (slot >= 0 && slot < kSlots)
        gSlots[slot].Used.store(false);
}

extern "C" void RemovePartialFilesAndExit(int signal) {
    for (Slot& slot : gSlots) {
        if (slot.Used.load())
            ::unlinkat(slot.FolderFd, slot.Name, 0);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

SignalHandler StopAtFirstInterrupt(std::atomic<bool>& stopRequested) {
    gStopAtInterrupt = &stopRequested;
    return std::signal(SIGINT, StopThenEndAtInterrupt);
}
