#include "media/preview_feed.h"

#include "media/part_decoder.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>

PreviewFeed::PreviewFeed(std::shared_ptr<SourceWalk> walk, int bytesPerSecond,
                         std::function<void()> onSound)
    : capacity_(static_cast<std::size_t>(std::max(bytesPerSecond, 1)) * AheadMs / 1000),
      onSound_(std::move(onSound)), walk_(std::move(walk)),
      partDecoder_(std::make_unique<PartDecoder>()) {
    // Opened here, so that a source that cannot be read is known at once.
    opened_ = partDecoder_->Open(walk_->Source());
    if (!opened_)
        return;
    gapless_ = GaplessSource::For(walk_->Source().Format);
    decoder_ = std::thread([this] { Decode(); });
}

PreviewFeed::~PreviewFeed() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
        ++run_;
    }
    quitting_ = true;
    changed_.notify_all();
    if (decoder_.joinable())
        decoder_.join();
}

void PreviewFeed::Start(std::int32_t startMs, std::optional<std::int32_t> endMs) {
    {
        const std::lock_guard lock(mutex_);
        ++run_;
        request_ = Request{startMs, endMs, exactCuts_ && gapless_};
        pending_.clear();
        readFrom_ = 0;
        decoded_ = false;
        handed_ = 0;
        firstFrameMs_.reset();
    }
    changed_.notify_all();
}

void PreviewFeed::Halt() {
    {
        const std::lock_guard lock(mutex_);
        ++run_;
        request_.reset();
        pending_.clear();
        readFrom_ = 0;
        decoded_ = true;
    }
    changed_.notify_all();
}

std::optional<double> PreviewFeed::FirstFrameMs() const {
    const std::lock_guard lock(mutex_);
    return firstFrameMs_;
}

bool PreviewFeed::Drained() const {
    const std::lock_guard lock(mutex_);
    return decoded_ && readFrom_ == pending_.size();
}

std::int64_t PreviewFeed::HandedBytes() const {
    const std::lock_guard lock(mutex_);
    return handed_;
}

std::int64_t PreviewFeed::Take(char* data, std::int64_t maxSize) {
    std::size_t count = 0;
    {
        const std::lock_guard lock(mutex_);
        count = std::min(pending_.size() - readFrom_,
                         static_cast<std::size_t>(std::max<std::int64_t>(maxSize, 0)));
        if (count > 0)
            std::memcpy(data, pending_.data() + readFrom_, count);
        readFrom_ += count;
        handed_ += static_cast<std::int64_t>(count);
    }
    changed_.notify_all();
    return static_cast<std::int64_t>(count);
}

void PreviewFeed::Decode() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || request_; });
        if (quit_)
            return;
        const std::uint64_t run = run_;
        const Request request = *request_;
        request_.reset();
        lock.unlock();
        RunOnce(run, request);
        lock.lock();
    }
}

void PreviewFeed::RunOnce(std::uint64_t run, const Request& request) {
    if (request.Exact)
        return RunExact(run, request);
    PartDecoder& decoder = *partDecoder_;
    const WalkPoint checkpoint = Checkpoints().Before(request.StartMs, Quitting());
    if (quitting_)
        return;
    decoder.Begin(checkpoint, request.StartMs, request.EndMs);
    while (const std::optional<DecodedFrame> frame = decoder.Next()) {
        if (!Begun(run, decoder.FirstFrameMs()) ||
            !Push(run, frame->Samples.data(), frame->Samples.size()))
            return;
    }
    const std::lock_guard lock(mutex_);
    if (run == run_)
        decoded_ = true;
}

// The samples an exact part holds, cut out of the frames that carry them; the
// part's time is its start's. The source's padding may reach back over the
// last frames: their sound waits until the frames after them are decoded, or
// the source ends, which places the end of its audio.
void PreviewFeed::RunExact(std::uint64_t run, const Request& request) {
    const ExactSpan span(*gapless_, request.StartMs,
                         request.EndMs.value_or(std::numeric_limits<std::int32_t>::max()));
    const std::int64_t frameSamples = gapless_->FrameSamples;
    const std::int64_t first = span.Start() / frameSamples;
    const std::int64_t held = (gapless_->EndPadding + frameSamples - 1) / frameSamples + 1;
    const std::int64_t last = std::max(span.End() - 1, span.Start()) / frameSamples;
    PartDecoder& decoder = *partDecoder_;
    // The frames mpg123 decodes before the first: the source's from its
    // start, or a bridge that holds the reservoir of the lead frames after
    // it, so that none is passed over, and those.
    const auto lead = static_cast<int>(span.RoundingLeadFrames(PartDecoder::kLeadFrames + 1));
    const int leadFrames = lead >= first ? lead : lead - 1;
    const WalkPoint checkpoint =
        Checkpoints().BeforeFrame(first - leadFrames - gapless_->ReservoirFrames, Quitting());
    if (quitting_)
        return;
    decoder.BeginFrames(checkpoint, first, last + held, leadFrames);
    std::deque<HeldFrame> waiting;
    std::int64_t lastDecoded = -1;
    while (const std::optional<DecodedFrame> frame = decoder.Next()) {
        lastDecoded = decoder.SourceIndex(*frame);
        waiting.push_back({lastDecoded, {frame->Samples.begin(), frame->Samples.end()}});
        if (static_cast<std::int64_t>(waiting.size()) > held) {
            if (!PushExact(run, request.StartMs, {span.Start(), span.End()}, waiting.front()))
                return;
            waiting.pop_front();
        }
    }
    const std::int64_t end = lastDecoded < last + held
                                 ? std::min(span.End(), gapless_->AudioEnd(lastDecoded))
                                 : span.End();
    for (const HeldFrame& frame : waiting)
        if (!PushExact(run, request.StartMs, {span.Start(), end}, frame))
            return;
    const std::lock_guard lock(mutex_);
    if (run == run_)
        decoded_ = true;
}

// The samples [samples.first, samples.second) that one frame of the source holds.
bool PreviewFeed::PushExact(std::uint64_t run, std::int32_t startMs,
                            std::pair<std::int64_t, std::int64_t> samples, const HeldFrame& frame) {
    const std::int64_t frameSamples = gapless_->FrameSamples;
    const std::int64_t begin = frame.Index * frameSamples;
    const std::size_t channels = frame.Samples.size() / static_cast<std::size_t>(frameSamples);
    const auto within = [&](std::int64_t sample) {
        return static_cast<std::size_t>(std::clamp<std::int64_t>(sample - begin, 0, frameSamples)) *
               channels;
    };
    const std::size_t from = within(samples.first);
    const std::size_t to = within(samples.second);
    if (to <= from)
        return true;
    return Begun(run, startMs) && Push(run, frame.Samples.data() + from, to - from);
}

// Notes the run's time as its first sound comes in; false when the run has been replaced.
bool PreviewFeed::Begun(std::uint64_t run, std::optional<double> firstFrameMs) {
    const std::lock_guard lock(mutex_);
    if (run != run_)
        return false;
    if (!firstFrameMs_)
        firstFrameMs_ = firstFrameMs;
    return true;
}

// Waits while enough sound lies ahead; false when the run has been replaced.
bool PreviewFeed::Push(std::uint64_t run, const std::int16_t* samples, std::size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return run != run_ || pending_.size() - readFrom_ < capacity_; });
    if (run != run_)
        return false;
    const bool wasEmpty = pending_.size() == readFrom_;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(readFrom_));
    readFrom_ = 0;
    const auto* bytes = reinterpret_cast<const char*>(samples);
    pending_.insert(pending_.end(), bytes, bytes + count * sizeof(std::int16_t));
    lock.unlock();
    if (wasEmpty && onSound_)
        onSound_();
    return true;
}
