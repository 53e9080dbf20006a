#include "split/unnamed_file_maker.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Files made ahead: one for the next part and one more.
constexpr std::size_t kAhead = 2;

} // namespace

UnnamedFileMaker::UnnamedFileMaker(int folderFd)
    : folderFd_(folderFd), thread_([this] { Run(); }) {}

UnnamedFileMaker::~UnnamedFileMaker() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
    for (const int fd : ready_)
        ::close(fd);
}

int UnnamedFileMaker::Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || error_ != 0; });
    if (ready_.empty()) {
        errno = error_;
        return -1;
    }
    const int fd = ready_.front();
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
    return fd;
}

void UnnamedFileMaker::Run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || ready_.size() < kAhead; });
            if (stopping_)
                return;
        }
        const int fd = ::openat(folderFd_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        const int error = errno;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (fd >= 0)
                ready_.push_back(fd);
            else
                error_ = error;
        }
        changed_.notify_all();
        if (fd < 0)
            return;
    }
}
