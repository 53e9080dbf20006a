#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Makes unnamed files (O_TMPFILE) in one folder ahead of need, on a thread of
// its own: choosing a new file's inode is most of what a part costs the file
// system beyond its bytes, and so it overlaps the writing of the part before.
// Files never taken are closed unnamed, and so vanish.
class UnnamedFileMaker {
public:
    // folderFd stays open, in the caller's hands, while the maker lives.
    explicit UnnamedFileMaker(int folderFd);
    ~UnnamedFileMaker();
    UnnamedFileMaker(const UnnamedFileMaker&) = delete;
    UnnamedFileMaker& operator=(const UnnamedFileMaker&) = delete;

    // A new unnamed file open for writing, or -1 with errno saying why the
    // folder takes none.
    int Take();

private:
    void Run();

    int folderFd_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<int> ready_;
    int error_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};
