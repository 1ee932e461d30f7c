#include "app/ByteNamedFiles.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {

bool QtCanName(const QByteArray &name) { return QFile::encodeName(QFile::decodeName(name)) == name; }

} // namespace

ByteNamedFiles::~ByteNamedFiles() { Close(); }

ByteNamedFiles::ByteNamedFiles(ByteNamedFiles &&other) noexcept
    : folder_(std::move(other.folder_)), files_(std::exchange(other.files_, {}))
{
}

ByteNamedFiles &ByteNamedFiles::operator=(ByteNamedFiles &&other) noexcept
{
    if (this != &other) {
        Close();
        folder_ = std::move(other.folder_);
        files_ = std::exchange(other.files_, {});
    }
    return *this;
}

void ByteNamedFiles::Close() noexcept
{
    for (const ByteNamedFile &file : files_)
        ::close(file.descriptor);
    files_.clear();
}

ByteNamedFiles ByteNamedFiles::Scan(const QByteArray &folder)
{
    ByteNamedFiles found;
    found.folder_ = folder;
    DIR *stream = ::opendir(folder.constData());
    if (stream == nullptr)
        return found;
    QSet<QByteArray> names;
    while (const dirent *entry = ::readdir(stream)) {
        const QByteArray name(entry->d_name);
        names.insert(name);
        if (QtCanName(name))
            continue;
        // Opened before it is looked at, so that what is looked at is what
        // will be opened; a link counts as what it leads to, as in Qt's list.
        const int descriptor = ::openat(::dirfd(stream), name.constData(), O_PATH | O_CLOEXEC);
        if (descriptor < 0)
            continue;
        struct stat status {};
        if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(descriptor);
            continue;
        }
        found.files_.push_back({name, {}, QStringLiteral("/proc/self/fd/%1").arg(descriptor), descriptor});
    }
    ::closedir(stream);
    // Read as Latin-1, unless a name of valid UTF-8 already reads so: then
    // as UTF-8 with the undecodable bytes marked, so no two entries look alike.
    for (ByteNamedFile &file : found.files_) {
        const QString latin1 = QString::fromLatin1(file.name);
        file.shown = names.contains(latin1.toUtf8()) ? QString::fromUtf8(file.name) : latin1;
    }
    return found;
}

std::vector<const ByteNamedFile *> ByteNamedFiles::Matching(const QStringList &patterns, bool hidden) const
{
    std::vector<const ByteNamedFile *> matching;
    for (const ByteNamedFile &file : files_) {
        if (!hidden && file.shown.startsWith(QLatin1Char('.')))
            continue;
        if (patterns.isEmpty() || QDir::match(patterns, file.shown))
            matching.push_back(&file);
    }
    return matching;
}

const ByteNamedFile *ByteNamedFiles::Find(const QString &path) const
{
    for (const ByteNamedFile &file : files_) {
        if (file.handle == path)
            return &file;
    }
    return nullptr;
}

QByteArray ByteNamedFiles::Encode(const QString &path) const
{
    const ByteNamedFile *file = Find(path);
    if (file == nullptr)
        return QFile::encodeName(path);
    return folder_.endsWith('/') ? folder_ + file->name : folder_ + '/' + file->name;
}

} // namespace app
