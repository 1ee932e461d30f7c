#pragma once
// A disk whose every sync takes `delay`: what the window's thread must not
// wait for when settings or recordings are written.

#include "common/AtomicFileWriter.h"

#include <chrono>
#include <thread>

namespace bench_support {

template <int DelayMs>
class SlowFsync {
public:
    SlowFsync()
    {
        common::AtomicFileWriter::SetStepHook([](common::AtomicFileWriter::Step step) {
            if (step == common::AtomicFileWriter::Step::Synced)
                std::this_thread::sleep_for(std::chrono::milliseconds(DelayMs));
        });
    }
    ~SlowFsync() { common::AtomicFileWriter::SetStepHook(nullptr); }
    SlowFsync(const SlowFsync &) = delete;
    SlowFsync &operator=(const SlowFsync &) = delete;
};

} // namespace bench_support
