// The takes that ended programs left: each one found is asked about, and
// restored, saved or discarded by the answer, without a window.

#include "app/LeftTakeRecovery.h"

#include "common/SerialWorker.h"
#include "recorder/TakeJournal.h"
#include "support/TestFiles.h"
#include "support/HangBound.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace {

using app::LeftTakeAnswer;
using Bytes = std::vector<std::uint8_t>;

const Bytes kLeft = testfiles::Records({{0, 0xC0, 5, 0}, {3, 0x90, 60, 100}, {41, 0x80, 60, 0}});
const Bytes kCurrent = testfiles::Records({{0, 0xC0, 9, 0}});

struct Case {
    const char *name;
    LeftTakeAnswer answer;
    bool mayReplace, saveFails;
    std::optional<std::string> chosen;
    bool restored, journalKept;
    int refused; // told a refusal of the file's format
};

// The window and its file commands, answering as the case says; a save's end
// is told at once.
struct Window : app::LeftTakeHost {
    Window(const Case &c, const testfiles::TempDir &folder)
        : c(c), chosen(c.chosen ? std::optional(folder.File(*c.chosen)) : std::nullopt)
    {
    }
    LeftTakeAnswer AskAboutLeft(const QString &) override { return c.answer; }
    void TellWarning(const QString &text) override { told << text; }
    std::optional<std::string> ChooseFileForLeft() override { return chosen; }
    void SaveLeft(std::string name, Bytes bytes, std::function<void(std::exception_ptr)> done) override
    {
        saved = {name, bytes};
        try {
            done(c.saveFails ? std::make_exception_ptr(std::runtime_error("disk full")) : nullptr);
        } catch (const std::runtime_error &) {
            ++raised; // to the guard
        }
    }
    // Asked before the take is replaced.
    bool MayReplaceTake() override { return c.mayReplace && stream.Bytes() == kCurrent; }
    void TakeRestored(recorder::LeftTake &&take) override { restored = take.path; }
    // Runs what the worker handed back, as the window's thread does.
    void Deliver(common::SerialWorker &worker)
    {
        ASSERT_TRUE(worker.Flush(testing_support::kHangBound));
        std::vector<std::function<void()>> calls;
        {
            const std::lock_guard lock(mutex);
            calls.swap(posted);
        }
        for (const auto &call : calls)
            call();
    }

    const Case &c;
    int raised = 0;
    std::optional<std::string> chosen, restored;
    std::pair<std::string, Bytes> saved;
    QStringList told;
    recorder::RecordingStream stream = app::LeftTakeRecovery::StreamOf(kCurrent);
    std::mutex mutex;
    std::vector<std::function<void()>> posted;
};


TEST(LeftTakeRecovery, EachAnswerRestoresSavesDiscardsOrKeepsTheTake)
{
    const Case cases[] = {
        {"restored", LeftTakeAnswer::Restore, true, false, {}, true, true, 0},
        {"restore refused", LeftTakeAnswer::Restore, false, false, {}, false, true, 0},
        {"discarded", LeftTakeAnswer::Discard, true, false, {}, false, false, 0},
        {"later", LeftTakeAnswer::Later, true, false, {}, false, true, 0},
        {"save cancelled", LeftTakeAnswer::SaveAs, true, false, {}, false, true, 0},
        {"saved", LeftTakeAnswer::SaveAs, true, false, "kept.vsq", false, false, 0},
        {"save failed", LeftTakeAnswer::SaveAs, true, true, "kept.vsq", false, true, 0},
        {"unknown format", LeftTakeAnswer::SaveAs, true, false, "kept.xyz", false, true, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::TempDir folder;
        const std::string journal = folder.File("take-1-1-1.vsq");
        testfiles::WriteBytes(journal, kLeft);
        testfiles::WriteBytes(folder.File("take-2-1-1.vsq"), {1, 2, 3, 4, 5, 6, 7}); // no recording
        Window window(c, folder);
        common::SerialWorker worker;
        app::LeftTakeRecovery recovery(
            worker, [&](auto call) { const std::lock_guard lock(window.mutex); window.posted.push_back(call); },
            window.stream, window);
        recovery.OfferLeftTakes(folder.Path().string());
        window.Deliver(worker);
        window.Deliver(worker); // a removal's fault
        EXPECT_EQ(window.stream.Bytes(), c.restored ? kLeft : kCurrent);
        EXPECT_EQ(window.restored, c.restored ? std::optional(journal) : std::nullopt);
        EXPECT_EQ(std::filesystem::exists(journal), c.journalKept);
        EXPECT_EQ(window.raised, c.saveFails ? 1 : 0);
        if (c.chosen && c.refused == 0) {
            EXPECT_EQ(window.saved, std::pair(*window.chosen, kLeft));
        }
        // The journal that was no recording is told first, by the name it was kept under.
        ASSERT_EQ(window.told.size(), 1 + c.refused) << window.told.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(window.told.front().contains(QString::fromStdString(folder.File("take-2-1-1.vsq.damaged"))));
    }
}

} // namespace
