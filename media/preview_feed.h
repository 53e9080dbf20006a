#pragma once

#include "core/source_walk.h"
#include "split/exact_cut.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// The sound of one run of the preview (a part from a start to an end), decoded
// ahead on a thread of its own and taken by the audio sink. A run starts from
// the checkpoint of the source's one walk nearest before it; a run that starts
// beyond what that walk has passed waits for it there, never on the user
// interface's thread.
class PartDecoder;

class PreviewFeed {
public:
    // About this much sound is decoded ahead of the sink.
    static constexpr int AheadMs = 500;

    // onSound is called, on the decoding thread, when sound comes in for a run
    // that has none yet.
    PreviewFeed(std::shared_ptr<SourceWalk> walk, int bytesPerSecond,
                std::function<void()> onSound);
    ~PreviewFeed();
    PreviewFeed(const PreviewFeed&) = delete;
    PreviewFeed& operator=(const PreviewFeed&) = delete;

    // False with the reason when the source cannot be read or decoded.
    Result<void> Ready() const { return opened_; }

    // A new run: what the last one decoded and not yet handed out is dropped.
    void Start(std::int32_t startMs, std::optional<std::int32_t> endMs);
    // Runs started from now on play what an exact part holds: the source's
    // samples from the start's to the end's (Layer III sources only).
    void SetExactCuts(bool on) { exactCuts_ = on; }
    void Halt();

    // The elapsed time at which the run's first frame begins, once known.
    std::optional<double> FirstFrameMs() const;
    // The run has handed out its last byte.
    bool Drained() const;
    std::int64_t HandedBytes() const;

    // Up to maxSize bytes of the run's sound, as many as there are.
    std::int64_t Take(char* data, std::int64_t maxSize);

private:
    struct Request {
        std::int32_t StartMs = 0;
        std::optional<std::int32_t> EndMs;
        bool Exact = false;
    };

    const FrameCheckpoints& Checkpoints() { return walk_->Checkpoints(); }
    // Ends a wait on the walk when the feed goes.
    FrameCheckpoints::Stop Quitting() const {
        return [this] { return quitting_.load(); };
    }
    void Decode();
    void RunOnce(std::uint64_t run, const Request& request);
    // A decoded frame of the source, by its index among the audio frames.
    struct HeldFrame {
        std::int64_t Index = 0;
        std::vector<std::int16_t> Samples;
    };
    void RunExact(std::uint64_t run, const Request& request);
    bool PushExact(std::uint64_t run, std::int32_t startMs,
                   std::pair<std::int64_t, std::int64_t> samples, const HeldFrame& frame);
    bool Begun(std::uint64_t run, std::optional<double> firstFrameMs);
    bool Push(std::uint64_t run, const std::int16_t* samples, std::size_t count);

    std::size_t capacity_;
    std::function<void()> onSound_;
    std::shared_ptr<SourceWalk> walk_;
    std::unique_ptr<PartDecoder> partDecoder_; // used by the decoding thread only
    Result<void> opened_;
    std::optional<GaplessSource> gapless_;
    std::atomic<bool> exactCuts_{false};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t run_ = 0; // a new number for every Start and Halt
    std::optional<Request> request_;
    bool quit_ = false;
    std::atomic<bool> quitting_{false}; // quit_, for waits on the walk
    std::vector<char> pending_;
    std::size_t readFrom_ = 0;
    bool decoded_ = true; // the run's last frame is in pending_
    std::int64_t handed_ = 0;
    std::optional<double> firstFrameMs_;

    std::thread decoder_;
};
