#pragma once
// Writes a file so that saving never destroys data: the bytes go to a new
// file beside the target, which replaces the target only when every byte has
// been written and flushed. Until Commit() succeeds an existing file of that
// name stays exactly as it was, and the destructor removes the unfinished one.
//
// A target that exists and is neither a regular file nor a folder (a device,
// a pipe) cannot be replaced and is written directly.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace common {

class AtomicFileWriter {
public:
    // Raises EFCreateError (with fileName) when the file cannot be created.
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

private:
    void Flush();
    void WriteAll(const std::uint8_t *data, std::size_t count);
    void Discard() noexcept;

    std::string target_;  // the name given, for messages
    std::string finalPath_; // where the file ends up (symbolic links followed)
    std::string tempPath_; // empty when writing directly
    int fd_ = -1;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t position_ = 0; // file offset of buffer_[0]
    std::uint64_t size_ = 0;
    bool committed_ = false;
};

} // namespace common
