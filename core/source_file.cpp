#include "core/source_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Why the descriptor cannot serve as a source, or nullptr when it can.
const char* Unusable(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return std::strerror(errno);
    if (S_ISDIR(status.st_mode))
        return std::strerror(EISDIR);
    if (!S_ISREG(status.st_mode))
        return "not a regular file";
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        return std::strerror(errno);
    return nullptr;
}

} // namespace

Result<int> OpenSourceFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Error{ErrorCategory::Open, -1, std::strerror(errno)};
    if (const char* reason = Unusable(fd)) {
        const Error error{ErrorCategory::Open, -1, reason};
        ::close(fd);
        return error;
    }
    return fd;
}
