#include "core/source_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenSourceFile(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = std::strerror(errno);
    } else if (S_ISDIR(status.st_mode)) {
        error = std::strerror(EISDIR);
    } else if (!S_ISREG(status.st_mode)) {
        error = "not a regular file";
    } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        error = std::strerror(errno);
    } else {
        return fd;
    }
    ::close(fd);
    return -1;
}
