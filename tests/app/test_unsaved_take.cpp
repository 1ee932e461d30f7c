// A take is never discarded without asking: "Aufnahme", "Öffnen..." and
// closing the window put the question while the recording is unsaved.

#include "support/WindowFixture.h"
#include "support/AnsweredFileDialogs.h"

#include "recorder/TakeJournal.h"
#include "support/TestFiles.h"
#include "support/HangBound.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QToolButton>

#include <filesystem>

using app::UnsavedTakeAnswer;
using Bytes = std::vector<std::uint8_t>;

namespace {

class UnsavedTakeWindow : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        RecordATake();
    }
    // A fresh window holding an unsaved take.
    void RecordATake()
    {
        Create();
        Button("SpeedButton1")->click();
        Probe(*form).Notes().SendNote(0x90, 60, 100);
        Button("SpeedButton3")->click();
        take = Probe(*form).RecordingStream().Bytes();
    }
    QToolButton *Button(const char *name) { return Control<QToolButton>(name); }
    void Trigger(const char *item) { form->findChild<QAction *>(QString::fromLatin1(item))->trigger(); }

    testfiles::TempDir files;
    testing_support::AnsweredFileDialogs dialogs;
    Bytes take;
};

TEST_F(UnsavedTakeWindow, AufnahmeGoesOnAfterSavingOrDiscardingAndNotAfterCancelling)
{
    const struct {
        const char *name;
        UnsavedTakeAnswer answer;
        bool fileChosen; // "Speichern..." confirms its dialog
        bool goesOn;
    } cases[] = {
        {"Speichern... saved", UnsavedTakeAnswer::Save, true, true},
        {"Speichern... cancelled", UnsavedTakeAnswer::Save, false, false},
        {"Verwerfen", UnsavedTakeAnswer::Discard, false, true},
        {"Abbrechen", UnsavedTakeAnswer::Cancel, false, false},
    };
    int row = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RecordATake();
        const std::string file = files.File("take" + std::to_string(++row) + ".vsq");
        dialogs.answer.reset();
        if (c.fileChosen)
            dialogs.answer = file;
        takeAnswer = c.answer;
        takeQuestions = 0;
        ASSERT_TRUE(Probe(*form).Journal().Settle(testing_support::kHangBound));
        const std::string journal = Probe(*form).Journal().Path();
        ASSERT_EQ(testfiles::ReadBytes(journal), take) << "a stopped take keeps its journal";

        Button("SpeedButton1")->click();
        EXPECT_EQ(takeQuestions, 1);
        EXPECT_EQ(Probe(*form).IsRecording(), c.goesOn);
        EXPECT_EQ(Button("SpeedButton3")->isChecked(), !c.goesOn);
        EXPECT_EQ(Probe(*form).RecordingStream().Bytes() == take, !c.goesOn);
        EXPECT_EQ(std::filesystem::exists(file), c.fileChosen);
        if (c.fileChosen) {
            EXPECT_EQ(testfiles::ReadBytes(file), take);
        }
        // Saved or given up, the take's journal goes; kept, it stays.
        ASSERT_TRUE(Probe(*form).Journal().Settle(testing_support::kHangBound));
        EXPECT_EQ(std::filesystem::exists(journal), !c.goesOn);
    }
}

TEST_F(UnsavedTakeWindow, OpenAndCloseAskFirstAndNothingIsAskedOnceSaved)
{
    form->show();
    takeAnswer = UnsavedTakeAnswer::Cancel;
    dialogs.answer = files.File("take.vsq");
    Trigger("ffnen1");
    EXPECT_EQ(dialogs.shown, nullptr) << "the open dialog comes only after the question";
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(takeQuestions, 2);

    Trigger("Speichern1");
    Trigger("ffnen1");
    Button("SpeedButton3")->click();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(takeQuestions, 2) << "saved, then opened: nothing to lose";
}

} // namespace
