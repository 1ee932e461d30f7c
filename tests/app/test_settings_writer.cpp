#include "app/SettingsWriter.h"
#include "support/WindowFixture.h"
#include "support/HangBound.h"
#include "support/WindowProbe.h"

#include <QSlider>

#include <chrono>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>

using common::SettingsChange;
using app::SettingsWriter;

namespace {

using testing_support::kHangBound;

// A store that holds the first batch until released, so that the changes
// handed over meanwhile pile up behind it; it keeps every batch it is given
// and then writes it into the real file.
class HeldStore {
public:
    SettingsWriter::Store Store()
    {
        return [this](common::SettingsFile &file, common::PendingChanges changes) {
            {
                const std::lock_guard lock(mutex_);
                batches_.emplace_back(changes.begin(), changes.end());
                if (batches_.size() == 1)
                    entered_.set_value();
            }
            released_.wait();
            file.Apply(changes);
        };
    }
    void WaitUntilHolding() { ASSERT_EQ(entered_.get_future().wait_for(kHangBound), std::future_status::ready); }
    void Release() { release_.set_value(); }
    // Section, key and value of each change of each batch.
    std::vector<std::vector<std::string>> Batches()
    {
        const std::lock_guard lock(mutex_);
        std::vector<std::vector<std::string>> shown;
        for (const auto &batch : batches_) {
            shown.emplace_back();
            for (const auto &change : batch)
                shown.back().push_back(change.kind == SettingsChange::Kind::EraseSection
                                           ? "-" + change.section
                                           : change.section + "/" + change.key + "=" + change.value);
        }
        return shown;
    }

private:
    std::mutex mutex_;
    std::vector<std::vector<SettingsChange>> batches_;
    std::promise<void> entered_;
    std::promise<void> release_;
    std::shared_future<void> released_ = release_.get_future().share();
};

class SettingsWriterTest : public testing_support::WindowFixture {
protected:
    std::string FileText() const
    {
        std::ostringstream text;
        text << std::ifstream(iniPath).rdbuf();
        return text.str();
    }
};

TEST_F(SettingsWriterTest, ABurstIsWrittenAsItsLatestValuesInTheOrderGivenAndReadBeforeItIsWritten)
{
    HeldStore store;
    SettingsWriter writer(iniPath, {}, store.Store());
    writer.WriteInteger("Common", "Volume", 0);
    store.WaitUntilHolding();
    writer.WriteString("Keys", "65", "1");
    for (int volume = 1; volume <= 126; ++volume) {
        writer.WriteInteger("Common", "Volume", volume);
        writer.WriteInteger("Common", "Beat", 200 - volume);
    }
    writer.EraseSection("keys");
    writer.WriteString("KEYS", "66", "2");
    writer.WriteString("Keys", "65", "3");
    writer.WriteInteger("common", "VOLUME", 127);

    EXPECT_EQ(writer.ReadInteger("Common", "Volume", -1), 127);
    EXPECT_EQ(writer.ReadSectionValues("Keys"), (std::vector<std::string>{"66=2", "65=3"}));
    EXPECT_FALSE(writer.Flush(std::chrono::milliseconds(0)));
    store.Release();
    ASSERT_TRUE(writer.Flush(kHangBound));

    EXPECT_EQ(store.Batches(), (std::vector<std::vector<std::string>>{
                                   {"Common/Volume=0"},
                                   {"Keys/65=1", "Common/Volume=127", "Common/Beat=74", "-keys", "KEYS/66=2",
                                    "Keys/65=3"}}));
    EXPECT_EQ(FileText(), "[Common]\nVolume=127\nBeat=74\n\n[KEYS]\n66=2\n65=3\n");
}

TEST_F(SettingsWriterTest, FailuresOfOneBurstAreToldOnceAndAgainOnceShown)
{
    iniPath = dir.filePath(QStringLiteral("missing/midi-sonoret.ini")).toStdString();
    HeldStore store;
    std::vector<std::string> told;
    SettingsWriter writer(iniPath, [&told](std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const common::EIniFileException &error) {
            told.push_back(error.what());
        }
    }, store.Store());
    writer.WriteInteger("Common", "Volume", 1);
    store.WaitUntilHolding();
    writer.WriteInteger("Common", "Beat", 2);
    store.Release();
    ASSERT_TRUE(writer.Flush(kHangBound));
    writer.WriteInteger("Common", "Volume", 3);
    ASSERT_TRUE(writer.Flush(kHangBound));
    ASSERT_EQ(store.Batches().size(), 3u);
    EXPECT_EQ(told, std::vector<std::string>{"In " + iniPath + " kann nicht geschrieben werden"});

    writer.FailureShown();
    writer.WriteInteger("Common", "Volume", 4);
    ASSERT_TRUE(writer.Flush(kHangBound));
    EXPECT_EQ(told.size(), 2u);
}

TEST_F(SettingsWriterTest, AWindowDraggedAcrossARefusingFileShowsOneMessageAndStoresTheLastValueOnClosing)
{
    auto &window = Create();
    SettleSettings();
    const auto refusing = QDir(dir.path()).filePath(QStringLiteral("midi-sonoret.ini"));
    QFile::remove(refusing);
    ASSERT_TRUE(QDir().mkdir(refusing)); // in the file's way
    auto *slider = Control<QSlider>("TrackBar1");
    for (int volume = 0; volume < 127; ++volume)
        slider->setValue(volume);
    SettleSettings();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("kann nicht geschrieben werden")));

    ASSERT_TRUE(QDir().rmdir(refusing));
    for (int volume = 0; volume <= 90; ++volume)
        slider->setValue(volume);
    EXPECT_EQ(Probe(window).Settings().ReadInteger("Common", "Volume", -1), 90);
    form.reset(); // at once, with the writes perhaps still under way
    EXPECT_EQ(common::SettingsFile(iniPath).ReadInteger("Common", "Volume", -1), 90);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(SettingsWriterTest, ARefusalStillOnItsWayWhenTheWindowClosesIsShown)
{
    Create();
    SettleSettings();
    const auto refusing = QDir(dir.path()).filePath(QStringLiteral("midi-sonoret.ini"));
    QFile::remove(refusing);
    ASSERT_TRUE(QDir().mkdir(refusing));
    Control<QSlider>("TrackBar1")->setValue(3);
    form.reset();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("kann nicht geschrieben werden")));
}

} // namespace
