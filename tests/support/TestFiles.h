#pragma once
// File helpers for the recording tests: a private temporary folder, whole-file
// reads and writes, and a file size limit that makes writes fail the way a
// full disk does (also for root, whom folder permissions do not stop).

#include "recorder/RecordingStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace testfiles {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "sonoret-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string File(const std::string &name) const { return (path_ / name).string(); }
    const std::filesystem::path &Path() const { return path_; }

    // Names of everything in the folder, to see that no temporary is left.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string &fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + fileName);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteText(const std::string &fileName, const std::string &content)
{
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + fileName);
}

inline void WriteBytes(const std::string &fileName, const std::vector<std::uint8_t> &bytes)
{
    WriteText(fileName, std::string(bytes.begin(), bytes.end()));
}

// A recording of `size` bytes, written for real: every record a Control
// Change at tick 0, so that it passes the open command's check.
inline void WriteLargeRecording(const std::string &fileName, std::size_t size)
{
    std::string block;
    for (std::size_t i = 0; i < (std::size_t{1} << 20) / 7; ++i)
        block.append("\0\0\0\0\xB0\x07\x64", 7);
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    for (std::size_t written = 0; written < size; written += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - written)));
    if (!out)
        throw std::runtime_error("cannot write " + fileName);
}

// The native bytes of `events`, record after record.
inline std::vector<std::uint8_t> Records(std::initializer_list<recorder::RecordedEvent> events)
{
    std::vector<std::uint8_t> bytes;
    for (const recorder::RecordedEvent &event : events) {
        const auto record = event.ToBytes();
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

// Writes beyond `bytes` fail with EFBIG while this lives (SIGXFSZ ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

} // namespace testfiles
