#pragma once
// Shared by the fuzz targets: slicing the fuzzer's bytes into the values a
// target needs, a scratch folder for the files a target writes, and checks
// that end the run when a property of the code under test does not hold.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Reads values off the front of the input; past its end every value is 0
// or empty, so any input is a valid script.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return position_ >= size_; }
    std::size_t Remaining() const { return Empty() ? 0 : size_ - position_; }

    std::uint8_t Byte() { return Empty() ? 0 : data_[position_++]; }

    std::uint32_t Uint32()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | Byte();
        return value;
    }

    // A string whose length (0..maxLength) is the next byte.
    std::string String(std::size_t maxLength = 255)
    {
        const std::size_t length = std::min<std::size_t>(Byte(), maxLength);
        return Bytes(length);
    }

    std::string Bytes(std::size_t count)
    {
        count = std::min(count, Remaining());
        std::string text(reinterpret_cast<const char *>(data_ + position_), count);
        position_ += count;
        return text;
    }

    std::string Rest() { return Bytes(Remaining()); }

    // One of `choices`, picked by the next byte.
    template <typename T, std::size_t N>
    const T &Pick(const T (&choices)[N])
    {
        return choices[Byte() % N];
    }

private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// A folder of this process, removed with its files when the process ends.
const std::string &ScratchFolder();

// Writes `bytes` to `name` in the scratch folder and returns the full path.
std::string WriteScratchFile(const std::string &name, std::string_view bytes);

std::vector<std::uint8_t> ReadFile(const std::string &path);

[[noreturn]] void Fail(const char *condition, const char *file, int line);

} // namespace fuzz

// A property of the code under test; a violation counts as a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzz::Fail(#condition, __FILE__, __LINE__);                                          \
    } while (false)
