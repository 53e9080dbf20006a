#include "core/source_walk.h"

#include <chrono>
#include <exception>

namespace {

// A waiter with a stop request looks at it this often.
constexpr std::chrono::milliseconds kStopPoll{10};

} // namespace

SourceWalk::~SourceWalk() {
    quit_ = true;
}

Result<ScanResult> SourceWalk::Run(const ScanProgress& progress) {
    std::unique_lock lock(mutex_);
    if (phase_ == Phase::Idle) {
        phase_ = Phase::Walking;
        lock.unlock();
        Result<ScanResult> walked = Walk(progress);
        lock.lock();
        result_ = std::move(walked);
        phase_ = Phase::Done;
        ended_.notify_all();
    }
    ended_.wait(lock, [this] { return phase_ == Phase::Done; });
    return *result_;
}

Result<ScanResult> SourceWalk::Await(const std::function<bool()>& stop) {
    Begin();
    std::unique_lock lock(mutex_);
    const auto done = [this] { return phase_ == Phase::Done; };
    while (!ended_.wait_for(lock, kStopPoll, done)) {
        if (stop && stop())
            return Error{ErrorCategory::Stopped, -1, source_.Path + ": the walk was called off"};
    }
    return *result_;
}

const FrameCheckpoints& SourceWalk::Checkpoints() {
    Begin();
    return checkpoints_;
}

void SourceWalk::Begin() {
    const std::lock_guard lock(mutex_);
    if (phase_ != Phase::Idle)
        return;
    phase_ = Phase::Walking;
    thread_ = std::jthread([this] {
        Result<ScanResult> walked = Walk({});
        const std::lock_guard done(mutex_);
        result_ = std::move(walked);
        phase_ = Phase::Done;
        ended_.notify_all();
    });
}

// Whatever ends the walk ends the checkpoints' waits too.
Result<ScanResult> SourceWalk::Walk(const ScanProgress& progress) {
    Result<ScanResult> walked = Error{ErrorCategory::Internal, -1, source_.Path};
    try {
        walked = PreloadScan(source_, progress, checkpoints_, [this] { return quit_.load(); });
    } catch (const std::exception& error) {
        walked = Error{ErrorCategory::Internal, -1, source_.Path + ": " + error.what()};
    }
    checkpoints_.Finish();
    return walked;
}
