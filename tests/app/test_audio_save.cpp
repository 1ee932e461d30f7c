// "Speichern..." as sound: the take is rendered on the saves' thread while
// the window plays on, a progress dialog gives the save up, and a failure is
// told once; neither leaves anything behind or touches the old file.

#include "support/AnsweredFileDialogs.h"
#include "support/EnvGuard.h"
#include "support/TestFiles.h"
#include "support/TestSoundFont.h"
#include "support/WindowFixture.h"
#include "support/WindowProbe.h"

#include "app/AudioSaveProgress.h"
#include "files/AudioExport.h"
#include "app/RecordingSaves.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <sndfile.h>

#include <condition_variable>
#include <mutex>

namespace {

using testing_support::kHangBound;

class AudioSave : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        Create();
        Control<QToolButton>("SpeedButton1")->click();
        Probe(*form).Notes().SendNote(0x90, 60, 100);
        Probe(*form).RecordingStream().WriteEvent({6, 0x80, 60, 0});
        Control<QToolButton>("SpeedButton3")->click();
        form->show();
        testfiles::WriteText(files.File("take.ogg"), "old");
        dialogs.answer = files.File("take.ogg");
    }
    void TearDown() override
    {
        Release();
        app::RecordingSaves::SetWriteHook({});
        if (form)
            SettleSaves();
        WindowFixture::TearDown();
    }

    void Save() { form->findChild<QAction *>(QStringLiteral("Speichern1"))->trigger(); }

    // Every save waits before its file is made until released.
    void HoldSaves()
    {
        app::RecordingSaves::SetWriteHook([this](const std::string &) {
            std::unique_lock lock(mutex_);
            held_ = true;
            changed_.notify_all();
            changed_.wait_for(lock, kHangBound, [this] { return released_; });
        });
    }
    bool WaitUntilHeld()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kHangBound, [this] { return held_; });
    }
    void Release()
    {
        const std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    void ExpectOnlyTheOldFile()
    {
        EXPECT_EQ(testfiles::ReadBytes(files.File("take.ogg")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(files.Entries(), std::vector<std::string>{"take.ogg"});
    }

    testing_support::EnvGuard soundFont{"MIDI_SONORET_SOUNDFONT", testing_support::kTestSoundFont};
    testfiles::TempDir files;
    testing_support::AnsweredFileDialogs dialogs;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool held_ = false;
    bool released_ = false;
};

TEST_F(AudioSave, TheTakeSoundsInTheFileAndStaysUnsaved)
{
    Save();
    SettleSaves();
    EXPECT_TRUE(messages.empty());
    SF_INFO info{};
    SNDFILE *file = sf_open(files.File("take.ogg").c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    sf_close(file);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
    EXPECT_GE(info.frames, 6 * 2400) << "the take's 300 ms at least";
    EXPECT_TRUE(Probe(*form).Take().IsUnsaved()) << "a sound file does not open as the take again";
    EXPECT_EQ(form->findChild<app::AudioSaveProgress *>(), nullptr) << "the progress went with the save";
}

TEST_F(AudioSave, GivenUpWhileTheWindowPlaysOnLeavesTheOldFile)
{
    HoldSaves();
    Save();
    ASSERT_TRUE(WaitUntilHeld());
    backend->ClearCalls();
    QTest::mousePress(Control<QWidget>("Key20"), Qt::LeftButton);
    QTest::mouseRelease(Control<QWidget>("Key20"), Qt::LeftButton);
    EXPECT_EQ(Sent().size(), 2u) << "the key sounded and ended during the render";

    auto *progress = form->findChild<app::AudioSaveProgress *>();
    ASSERT_NE(progress, nullptr);
    EXPECT_FALSE(progress->isModal());
    EXPECT_FALSE(progress->accessibleName().isEmpty());
    auto *cancel = progress->findChild<QPushButton *>();
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), QStringLiteral("Abbrechen"));
    cancel->click();
    Release();
    SettleSaves();
    EXPECT_TRUE(messages.empty()) << "a save given up is not told";
    ExpectOnlyTheOldFile();
}

TEST_F(AudioSave, NoSoundFontIsToldOnceAndLeavesTheOldFile)
{
    const testing_support::EnvGuard missing{"MIDI_SONORET_SOUNDFONT", files.File("missing.sf2")};
    Save();
    SettleSaves();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages.front().text, QStringLiteral("Für den eingebauten Synthesizer ist keine SoundFont installiert."));
    ExpectOnlyTheOldFile();
}

// A take that brings no instrument of its own (an imported file) sounds with
// the stored one, as playback plays it.
TEST_F(AudioSave, ATakeWithoutItsInstrumentSoundsWithTheStoredOne)
{
    const auto frames = [](const std::string &name) {
        SF_INFO info{};
        SNDFILE *file = sf_open(name.c_str(), SFM_READ, &info);
        std::vector<short> samples(static_cast<std::size_t>(info.frames * info.channels));
        if (file != nullptr) {
            sf_read_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
            sf_close(file);
        }
        return samples;
    };
    form->InstrumentClick(40);
    auto &take = Probe(*form).RecordingStream();
    take.Clear();
    take.WriteEvent({0, 0x90, 67, 100});
    take.WriteEvent({4, 0x80, 67, 0});
    dialogs.answer = files.File("take.wav");
    Save();
    SettleSaves();
    ASSERT_TRUE(messages.empty());
    const std::vector<std::uint8_t> violin{0, 0, 0, 0, 0xC0, 40, 0, 0, 0, 0, 0, 0x90, 67, 100, 4, 0, 0, 0, 0x80, 67, 0};
    files::AudioRendering rendering;
    rendering.soundFont = testing_support::kTestSoundFont;
    files::ExportAudioFile(files.File("violin.wav"), files::AudioFormat::Wav, violin, rendering);
    const auto saved = frames(files.File("take.wav"));
    EXPECT_FALSE(saved.empty());
    EXPECT_TRUE(saved == frames(files.File("violin.wav")));
}

} // namespace
