#include "common/Guard.h"

#include <cstdio>
#include <exception>

namespace common {

namespace {
// Handlers run on the user-interface thread only; no lock needed.
ErrorSink errorSink = nullptr;
unsigned long handledErrors = 0;

void PrintCurrentException() noexcept
{
    try {
        throw;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "Fehler: %s\n", error.what());
    } catch (...) {
        std::fputs("Fehler: unbekannter Fehler\n", stderr);
    }
}
} // namespace

void SetErrorSink(ErrorSink sink) noexcept { errorSink = sink; }

void ReportCurrentException() noexcept
{
    ++handledErrors;
    if (errorSink) {
        try {
            errorSink();
            return;
        } catch (...) {
            // The sink itself failed (no memory for the box): say so on the
            // one channel left rather than lose the error.
            PrintCurrentException();
            return;
        }
    }
    PrintCurrentException();
}

unsigned long HandledErrorCount() noexcept { return handledErrors; }

} // namespace common
