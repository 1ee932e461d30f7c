#include "common/AtomicFileWriter.h"

#include "common/FileErrors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a symbolic link finally names, so that saving through a link
// updates the linked file instead of replacing the link.
std::string resolveLink(const std::string &path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr)
        return resolved;
    return path;
}

int openTempBeside(const std::string &finalPath, std::string &tempPath)
{
    static std::atomic<unsigned> counter{0};
    const std::string stem = folderOf(finalPath) + "/." + baseNameOf(finalPath) + ".tmp-"
                             + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = stem + std::to_string(counter++);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const std::string &fileName)
    : target_(fileName), finalPath_(fileName)
{
    buffer_.reserve(kBufferSize);

    struct stat existing {};
    const bool exists = ::stat(fileName.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        throw EFCreateError(fileName);

    if (exists && !S_ISREG(existing.st_mode)) {
        fd_ = ::open(fileName.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0)
            throw EFCreateError(fileName);
        return;
    }

    struct stat link {};
    if (exists && ::lstat(fileName.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        finalPath_ = resolveLink(fileName);

    fd_ = openTempBeside(finalPath_, tempPath_);
    if (fd_ < 0) {
        tempPath_.clear();
        throw EFCreateError(fileName);
    }
    // The new file keeps the permissions of the one it replaces.
    if (exists && ::fchmod(fd_, existing.st_mode & 07777) != 0) {
        Discard();
        throw EFCreateError(fileName);
    }
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (!committed_)
        Discard();
}

void AtomicFileWriter::Discard() noexcept
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

void AtomicFileWriter::Write(const void *data, std::size_t count)
{
    if (fd_ < 0)
        throw EWriteError();
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    if (buffer_.size() + count > kBufferSize) {
        Flush();
        if (count >= kBufferSize) {
            WriteAll(bytes, count);
            position_ += count;
            size_ = std::max(size_, position_);
            return;
        }
    }
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    size_ = std::max<std::uint64_t>(size_, position_ + buffer_.size());
}

void AtomicFileWriter::SeekTo(std::uint64_t offset)
{
    if (fd_ < 0)
        throw EWriteError();
    Flush();
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
        throw EWriteError();
    position_ = offset;
}

void AtomicFileWriter::Flush()
{
    if (buffer_.empty())
        return;
    WriteAll(buffer_.data(), buffer_.size());
    position_ += buffer_.size();
    buffer_.clear();
}

void AtomicFileWriter::WriteAll(const std::uint8_t *data, std::size_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd_, data, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw EWriteError();
        }
        if (written == 0)
            throw EWriteError();
        data += written;
        count -= static_cast<std::size_t>(written);
    }
}

void AtomicFileWriter::Commit()
{
    if (fd_ < 0 || committed_)
        throw EWriteError();
    Flush();
    if (!tempPath_.empty() && ::fsync(fd_) != 0)
        throw EWriteError();
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        throw EWriteError();
    if (!tempPath_.empty()) {
        if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0)
            throw EFCreateError(target_);
        tempPath_.clear();
    }
    committed_ = true;
}

} // namespace common
