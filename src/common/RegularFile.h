#pragma once
// Reading a file whole, as the program's files are read: only a regular file
// (a pipe or a device has no end to read to, and a pipe without a writer
// would hang the open), into a buffer of the caller's, in large steps so that
// a big file takes a moment rather than seconds. What the file gains while
// it is read is read on.

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {

enum class FileRead {
    Read,
    Missing,   // no such file (or a folder on the way that is none)
    NotOpened, // there, but not to be opened, or not a regular file
    Failed,    // opened, but reading failed
};

// On anything but Read, `content` is left empty.
template <typename Buffer>
FileRead ReadRegularFile(const std::string &path, Buffer &content)
{
    content.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? FileRead::Missing : FileRead::NotOpened;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return FileRead::NotOpened;
    }
    constexpr std::size_t step = std::size_t{1} << 22;
    content.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    for (;;) {
        if (filled == content.size())
            content.resize(filled + (std::size_t{1} << 16)); // grown since the look
        const std::size_t room = std::min(content.size() - filled, step);
        const ssize_t got = ::read(fd, content.data() + filled, room);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            content.clear();
            return FileRead::Failed;
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    content.resize(filled);
    return FileRead::Read;
}

} // namespace common
