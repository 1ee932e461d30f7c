#pragma once
// Writes a file so that saving never destroys data: the bytes go to a new
// file beside the target, which replaces the target only when every byte has
// been written and flushed. Until Commit() succeeds an existing file of that
// name stays exactly as it was, and the destructor removes the unfinished one.
//
// Writing keeps meaning what users expect of it:
// - a file that may not be written as it stands (read-only, say) is refused,
//   as an ordinary open for writing would refuse it;
// - a symbolic link is written through to the file it leads to, also when
//   that file does not exist yet; a loop of links is refused;
// - a file with more than one name (hard links), and a writable file in a
//   folder that takes no new files, are written in place: the data is kept
//   in memory and written over the file only at Commit();
// - a target that is neither a regular file nor a folder (a device, a pipe)
//   cannot be replaced and is written directly.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace common {

class AtomicFileWriter {
public:
    // Raises EFCreateError (with fileName) when the file cannot be created
    // or may not be written.
    explicit AtomicFileWriter(const std::string &fileName);
    ~AtomicFileWriter();

    AtomicFileWriter(const AtomicFileWriter &) = delete;
    AtomicFileWriter &operator=(const AtomicFileWriter &) = delete;

    // Writes at the current position; raises EWriteError on failure.
    void Write(const void *data, std::size_t count);

    // Moves the write position to an absolute offset; raises EWriteError.
    void SeekTo(std::uint64_t offset);

    // Bytes in the file so far (the largest end of any write).
    std::uint64_t Size() const { return size_; }

    // Flushes and syncs the data, then puts the file in place of the target.
    // Raises EWriteError when the data cannot be flushed, EFCreateError when
    // the file cannot take the target's name.
    void Commit();

    // Removes the unfinished files of every writer still at work, with
    // async-signal-safe calls only: for handlers of signals that end the
    // process, which skip the destructors.
    static void RemoveUnfinishedFiles() noexcept;

    // Handlers for SIGINT, SIGTERM and SIGHUP that remove the unfinished
    // files and then end the process by the same signal. A signal the
    // process was started with ignored stays ignored.
    static void RemoveUnfinishedFilesOnStopSignals();

private:
    enum class Mode {
        Replace, // a new file beside the target, renamed over it
        InPlace, // kept in memory, written over the target at Commit()
        Direct,  // written straight into a device or pipe
    };

    void Flush();
    void WriteAll(const std::uint8_t *data, std::size_t count);
    void CommitInPlace();
    void Discard() noexcept;

    Mode mode_ = Mode::Replace;
    std::string target_;    // the name given, for messages
    std::string finalPath_; // where the file ends up (symbolic links followed)
    std::string tempPath_;  // the unfinished file while replacing
    int pendingSlot_ = -1;  // its entry for RemoveUnfinishedFiles()
    int fd_ = -1;
    std::vector<std::uint8_t> buffer_; // in place: the whole content
    std::uint64_t position_ = 0;       // file offset of buffer_[0]; in place: the write position
    std::uint64_t size_ = 0;
    bool committed_ = false;
};

} // namespace common
