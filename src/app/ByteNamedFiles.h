#pragma once
// The files of a folder whose names are not valid UTF-8 (Latin-1 names from
// older disks): Qt's own listings leave them out, and a QString cannot carry
// their bytes back. Each is held open (O_PATH) and stands in Qt's paths as
// "/proc/self/fd/N", which Qt can look at and open like any file, while the
// name to open or write is still the file's own bytes.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace app {

struct ByteNamedFile {
    QByteArray name; // as on the disk, without the folder
    QString shown;   // as the user reads it
    QString handle;  // the path Qt is given for it
    int descriptor = -1;
};

class ByteNamedFiles {
public:
    ByteNamedFiles() = default;
    ~ByteNamedFiles();
    ByteNamedFiles(ByteNamedFiles &&other) noexcept;
    ByteNamedFiles &operator=(ByteNamedFiles &&other) noexcept;
    ByteNamedFiles(const ByteNamedFiles &) = delete;
    ByteNamedFiles &operator=(const ByteNamedFiles &) = delete;

    // The regular files of `folder` (its bytes) whose names are not valid
    // UTF-8, in the order the folder gives them. Waits on the disk: not for
    // the window's thread. A folder that cannot be read has none to add to
    // what the dialog shows of it.
    static ByteNamedFiles Scan(const QByteArray &folder);

    const QByteArray &Folder() const { return folder_; }
    const std::vector<ByteNamedFile> &Files() const { return files_; }

    // Those a dialog with these name patterns shows; names starting with a
    // dot only when hidden files are shown.
    std::vector<const ByteNamedFile *> Matching(const QStringList &patterns, bool hidden) const;

    // The file that `path`, as the dialog returned it, stands for; none.
    const ByteNamedFile *Find(const QString &path) const;

    // The bytes that name the file `path` stands for: the file's own name
    // for one of these, the locale's coding of any other path.
    QByteArray Encode(const QString &path) const;

private:
    void Close() noexcept;

    QByteArray folder_;
    std::vector<ByteNamedFile> files_;
};

} // namespace app
