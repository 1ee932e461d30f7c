// Saves are written on a thread of their own: the window goes on working
// while a disk takes its time, the take counts as saved only once the file
// is there, and a close waits for the save without freezing the window.

#include "support/WindowFixture.h"
#include "support/AnsweredFileDialogs.h"

#include "app/RecordingSaves.h"
#include "support/TestFiles.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <condition_variable>
#include <filesystem>
#include <mutex>

using app::UnsavedTakeAnswer;

namespace {

using testing_support::kHangBound;

// A disk that does not answer until released: every save stops before its
// file is written (for no longer than a hang's bound, so that a save on the
// window's thread fails the test instead of freezing it).
class HeldWrites {
public:
    HeldWrites()
    {
        app::RecordingSaves::SetWriteHook([this](const std::string &) {
            std::unique_lock lock(mutex_);
            ++entered_;
            changed_.notify_all();
            changed_.wait_for(lock, kHangBound, [this] { return released_; });
        });
    }
    ~HeldWrites() { app::RecordingSaves::SetWriteHook({}); }
    bool WaitUntilHolding()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kHangBound, [this] { return entered_ > 0; });
    }
    void Release()
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int entered_ = 0;
    bool released_ = false;
};

class SaveInBackground : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        Create();
        Control<QToolButton>("SpeedButton1")->click();
        Probe(*form).Notes().SendNote(0x90, 60, 100);
        Control<QToolButton>("SpeedButton3")->click();
        form->show();
        dialogs.answer = files.File("take.vsq");
    }
    void TearDown() override
    {
        writes.Release();
        if (form)
            SettleSaves();
        WindowFixture::TearDown();
    }
    void StartSave() { form->findChild<QAction *>(QStringLiteral("Speichern1"))->trigger(); }
    std::vector<std::uint8_t> Take() const { return Probe(*form).RecordingStream().Bytes(); }

    testfiles::TempDir files;
    testing_support::AnsweredFileDialogs dialogs;
    HeldWrites writes; // released before the window goes
};

TEST_F(SaveInBackground, TheWindowPlaysOnWhileTheDiskHoldsTheSaveAndTheTakeIsSavedOnceWritten)
{
    const auto take = Take();
    StartSave();
    ASSERT_TRUE(writes.WaitUntilHolding());
    backend->ClearCalls();
    QTest::mousePress(Control<QWidget>("Key20"), Qt::LeftButton);
    QTest::mouseRelease(Control<QWidget>("Key20"), Qt::LeftButton);
    EXPECT_EQ(Sent().size(), 2u) << "the key sounded and ended while the file was being written";
    EXPECT_TRUE(Probe(*form).Take().IsUnsaved());
    EXPECT_FALSE(std::filesystem::exists(*dialogs.answer));

    writes.Release();
    SettleSaves();
    EXPECT_FALSE(Probe(*form).Take().IsUnsaved());
    EXPECT_EQ(testfiles::ReadBytes(*dialogs.answer), take);
    EXPECT_TRUE(messages.empty());
}

TEST_F(SaveInBackground, TwoSavesInARowLandInOrderWithTheLastContent)
{
    StartSave();
    ASSERT_TRUE(writes.WaitUntilHolding());
    // The take as opening another file would leave it; the first save
    // keeps the bytes it was started with.
    Probe(*form).RecordingStream().WriteEvent({9, 0x80, 60, 0});
    StartSave();
    writes.Release();
    SettleSaves();
    EXPECT_EQ(testfiles::ReadBytes(*dialogs.answer), Take());
}

TEST_F(SaveInBackground, AFailedSaveShowsItsMessageOnceAndAClosingWaitingForItKeepsTheWindow)
{
    writes.Release();
    dialogs.answer = files.File("missing/take.vsq");
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "closing with Speichern..." : "Speichern...");
        messages.clear();
        takeAnswer = UnsavedTakeAnswer::Save;
        if (closing)
            EXPECT_FALSE(form->close());
        else
            StartSave();
        SettleSaves();
        QCoreApplication::processEvents();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text.toStdString(), "Datei " + *dialogs.answer + " kann nicht erstellt werden.");
        EXPECT_TRUE(Probe(*form).Take().IsUnsaved());
        EXPECT_TRUE(form->isVisible());
    }
}

TEST_F(SaveInBackground, AufnahmeWaitsForTheSaveWithTheEventLoopRunningAndAsksNothingOnceSaved)
{
    StartSave();
    ASSERT_TRUE(writes.WaitUntilHolding());
    // Runs only if the event loop runs while Aufnahme waits.
    QTimer::singleShot(0, form.get(), [this] { writes.Release(); });
    Control<QToolButton>("SpeedButton1")->click();
    EXPECT_EQ(Probe(*form).Saves().UnderWay(), 0);
    EXPECT_EQ(takeQuestions, 0);
    EXPECT_TRUE(Probe(*form).IsRecording());
}

TEST_F(SaveInBackground, AClosingWaitsForTheSaveAndASecondOneAsks)
{
    StartSave();
    ASSERT_TRUE(writes.WaitUntilHolding());
    takeAnswer = UnsavedTakeAnswer::Cancel;
    EXPECT_FALSE(form->close());
    EXPECT_EQ(takeQuestions, 0) << "the first close waits";
    EXPECT_FALSE(form->close());
    EXPECT_EQ(takeQuestions, 1) << "the second asks; Abbrechen keeps the window";

    EXPECT_FALSE(form->close());
    writes.Release();
    SettleSaves();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->isVisible()) << "closed once the take was saved";
    EXPECT_EQ(takeQuestions, 1);
}

TEST_F(SaveInBackground, ASecondClosingAnsweredVerwerfenDoesNotWaitForTheDisk)
{
    StartSave();
    ASSERT_TRUE(writes.WaitUntilHolding());
    EXPECT_FALSE(form->close());
    takeAnswer = UnsavedTakeAnswer::Discard;
    EXPECT_TRUE(form->close());
}

TEST(UnsavedTakeVersions, ASaveOfAnOlderTakeLeavesANewerOneUnsaved)
{
    app::UnsavedTake take;
    take.MarkChanged();
    const auto saved = take.Version();
    take.MarkChanged();
    take.MarkSaved(saved);
    EXPECT_TRUE(take.IsUnsaved());
    take.MarkSaved(take.Version());
    EXPECT_FALSE(take.IsUnsaved());
}

} // namespace
