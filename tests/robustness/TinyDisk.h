#pragma once
// A small tmpfs of its own for full-disk tests: mounted on a fresh folder,
// filled up to the last byte on request, unmounted again by the destructor.
// Mounting needs root (as in CI); elsewhere Mounted() is false and the test
// skips itself.

#include <QDir>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace testing_support {

// A file's whole content; empty when it cannot be read.
inline std::string Contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TinyDisk {
public:
    explicit TinyDisk(std::size_t kibibytes = 64)
    {
        if (!folder_.isValid() || ::geteuid() != 0)
            return;
        const std::string options = "size=" + std::to_string(kibibytes) + "k,mode=0755";
        mounted_ = ::mount("tmpfs", Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                           options.c_str())
                   == 0;
    }
    ~TinyDisk()
    {
        if (mounted_)
            ::umount2(Path().c_str(), MNT_DETACH);
    }
    TinyDisk(const TinyDisk &) = delete;
    TinyDisk &operator=(const TinyDisk &) = delete;

    bool Mounted() const { return mounted_; }
    std::string Path() const { return folder_.path().toStdString(); }
    std::string File(const std::string &name) const { return Path() + "/" + name; }

    // Takes every free byte with one file named "filler".
    void Fill()
    {
        const int fd = ::open(File("filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return;
        const std::vector<char> block(4096, 'x');
        for (std::size_t size = block.size(); size > 0;) {
            if (::write(fd, block.data(), size) < 0)
                size /= 2; // the last pages fill a smaller write at a time
        }
        ::close(fd);
    }

    // The names in the folder, sorted.
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto &name : QDir(folder_.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name))
            names.push_back(name.toStdString());
        return names;
    }

private:
    QTemporaryDir folder_;
    bool mounted_ = false;
};

} // namespace testing_support
