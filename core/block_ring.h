#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

// A fixed set of blocks passed from one thread to another and back: the
// producer fills a free block and publishes it, the consumer takes the blocks
// in the order published and releases each when done with it. The fixed count
// keeps memory flat and holds back a producer that runs ahead. Either side may
// cancel; every wait then ends at once.
template <typename Block> class BlockRing {
public:
    explicit BlockRing(std::size_t count) : blocks_(count), published_(count) {
        for (Block& block : blocks_)
            free_.push_back(&block);
    }
    BlockRing(const BlockRing&) = delete;
    BlockRing& operator=(const BlockRing&) = delete;

    // Every block, for setting them up before either side starts.
    std::vector<Block>& Blocks() { return blocks_; }

    // A free block, waiting for one; null once cancelled.
    Block* Acquire() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return cancelled_ || !free_.empty(); });
        if (cancelled_)
            return nullptr;
        Block* block = free_.back();
        free_.pop_back();
        return block;
    }

    void Publish(Block* block) {
        {
            std::lock_guard lock(mutex_);
            published_[(first_ + count_++) % published_.size()] = block;
        }
        changed_.notify_all();
    }

    // Nothing more will be published.
    void Finish() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
    }

    // The next published block, waiting for it; null after the last one or once cancelled.
    Block* Next() {
        std::unique_lock lock(mutex_);
        // A consumer that keeps pace with its producer would otherwise sleep and be
        // woken for nearly every block; a short wait off the lock spares both sides that.
        for (int i = 0; i < kPatience && !cancelled_ && !finished_ && count_ == 0; ++i) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
        changed_.wait(lock, [this] { return cancelled_ || finished_ || count_ > 0; });
        if (cancelled_ || count_ == 0)
            return nullptr;
        Block* block = published_[first_];
        first_ = (first_ + 1) % published_.size();
        --count_;
        return block;
    }

    void Release(Block* block) {
        {
            std::lock_guard lock(mutex_);
            free_.push_back(block);
        }
        changed_.notify_all();
    }

    void Cancel() {
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
        }
        changed_.notify_all();
    }

private:
    static constexpr int kPatience = 256;

    std::vector<Block> blocks_;
    std::mutex mutex_;
    std::condition_variable changed_;
    // Neither list grows beyond the count, so handing a block on never allocates.
    std::vector<Block*> free_;
    std::vector<Block*> published_; // a circle: count_ blocks from first_
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    bool finished_ = false;
    bool cancelled_ = false;
};
