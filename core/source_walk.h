#pragma once

#include "core/frame_checkpoints.h"
#include "core/preload_scan.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// The one walk over an open source: the frame and error counts, the exact
// length and the checkpoints, from one pass. It runs once, on the caller's
// thread when the open preloads, else on a thread of its own when the first
// reader (the overview, the preview) asks for it. Shared by all of them.
class SourceWalk {
public:
    explicit SourceWalk(ScanSource source) : source_(std::move(source)) {}
    // Stops a walk still running on its own thread.
    ~SourceWalk();
    SourceWalk(const SourceWalk&) = delete;
    SourceWalk& operator=(const SourceWalk&) = delete;

    const ScanSource& Source() const { return source_; }
    // Walks on this thread with progress; when the walk has run or runs
    // already, waits for its result instead.
    Result<ScanResult> Run(const ScanProgress& progress = {});
    // The walk's result, waiting while it runs (begun on its own thread if it
    // has not begun); stop, asked now and then, ends the wait with a Stopped error.
    Result<ScanResult> Await(const std::function<bool()>& stop = {});
    // The checkpoints as the walk (begun on its own thread if need be) keeps them.
    const FrameCheckpoints& Checkpoints();

private:
    enum class Phase { Idle, Walking, Done };

    void Begin();
    Result<ScanResult> Walk(const ScanProgress& progress);

    ScanSource source_;
    FrameCheckpoints checkpoints_;
    std::mutex mutex_;
    std::condition_variable ended_;
    Phase phase_ = Phase::Idle;
    std::optional<Result<ScanResult>> result_;
    std::atomic<bool> quit_{false};
    std::jthread thread_; // last: joined before the rest goes
};
