#pragma once
// Writes a file so that saving never destroys data: the bytes go to a new
// file of their own, which takes the target's place only when every byte has
// been written and synced. Until Commit() succeeds an existing file of that
// name stays exactly as it was, and the destructor removes the unfinished one.
//
// Writing keeps meaning what users expect of it:
// - a file that may not be written as it stands (read-only, say) is refused,
//   as an ordinary open for writing would refuse it;
// - a symbolic link is written through to the file it leads to, also when
//   that file does not exist yet; a loop of links is refused;
// - a file that cannot be replaced by a rename keeps its identity and is
//   written over: one with more than one name (hard links), a writable file
//   in a folder that takes no new files, a file mounted onto its name. The
//   complete new content is first kept in a copy (beside it, else in the
//   user's cache folder) that stays, and is reported, if the write over the
//   file is cut short;
// - a pipe, a socket, a folder or a block device is refused at once, never
//   waited on; a character device (/dev/null) is written directly;
// - the unfinished files of saves that were killed are removed by the next
//   save into the same folder.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <sys/types.h>

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

    // Flushes and syncs the data, then puts it in place of the target.
    // Raises EWriteError when the data cannot be written, EFCreateError when
    // it cannot take the target's name.
    void Commit();

    // Removes the unfinished files of every writer still at work, with
    // async-signal-safe calls only: for handlers of signals that end the
    // process, which skip the destructors.
    static void RemoveUnfinishedFiles() noexcept;

    // Handlers for SIGINT, SIGTERM and SIGHUP that remove the unfinished
    // files and then end the process by the same signal. A signal the
    // process was started with ignored stays ignored.
    static void RemoveUnfinishedFilesOnStopSignals();

    // Receives, once each, the texts about copies that saves cut short left
    // behind. Without one they go to the standard error output.
    using NoticeHandler = std::function<void(const std::string &text)>;
    static void SetNoticeHandler(NoticeHandler handler);

    // The points of a commit at which a test may end the process.
    enum class Step {
        Synced,            // the new content is complete in its own file
        CopyKept,          // written over the target next; the copy stays until done
        TargetHalfWritten, // half of it written over the target
    };
    using StepHook = void (*)(Step step);
    static void SetStepHook(StepHook hook);

private:
    // A folder kept open, so that names in it are short whatever the path.
    struct Folder {
        int fd = -1;
        std::string path;
    };

    void OpenDevice(const std::string &fileName);
    bool CreateBeside(const Folder &folder, mode_t mode);
    void Flush();
    void WriteAll(const std::uint8_t *data, std::size_t count);
    void WriteOverTarget();
    void Discard() noexcept;

    std::string target_;    // the name given, for messages
    std::string finalPath_; // where the file ends up (symbolic links followed)
    std::string finalName_; // its name within folder_
    Folder folder_;         // the target's folder
    Folder spare_;          // where the new content goes when folder_ takes none
    const Folder *tempFolder_ = nullptr;
    std::string tempName_;  // the new content's own file, within *tempFolder_
    int pendingSlot_ = -1;  // its entry for RemoveUnfinishedFiles()
    int fd_ = -1;           // the new content's file, or the device
    int targetFd_ = -1;     // the existing target, for writing over it
    bool direct_ = false;   // a character device, written as it comes
    bool overTarget_ = false;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t position_ = 0; // file offset of buffer_[0]
    std::uint64_t size_ = 0;
    bool committed_ = false;
};

// Writes `bytes` as the whole file through an AtomicFileWriter, with its
// failures.
void WriteWholeFile(const std::string &fileName, std::span<const std::uint8_t> bytes);

} // namespace common
