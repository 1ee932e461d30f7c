// The window in each language the program ships: every text fits its place
// (the window's geometry is fixed), and the access keys of a menu stay unique.

#include "support/WindowFixture.h"

#include "app/DeviceMenu.h"
#include "app/LeftTakeQuestion.h"
#include "app/UAbout.h"
#include "midi_out/FluidSynthBackend.h"
#include "common/Language.h"
#include "support/WindowProbe.h"

#include <QCheckBox>
#include <QDateTime>
#include <QTest>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QToolButton>

#include <chrono>
#include <set>

namespace {

void ExpectUniqueAccessKeys(const QWidget &menu)
{
    std::set<int> seen;
    for (const QAction *item : menu.actions()) {
        const QKeySequence key = QKeySequence::mnemonic(item->text());
        EXPECT_TRUE(key.isEmpty() || seen.insert(key[0].toCombined()).second) << item->text().toStdString();
        if (item->menu())
            ExpectUniqueAccessKeys(*item->menu());
    }
}

void ExpectTextsFit(const QWidget &window)
{
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue; // a picture
        const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().width();
        EXPECT_LE(needed, label->wordWrap() ? label->height() : label->width()) << label->text().toStdString();
    }
    for (const QCheckBox *box : window.findChildren<QCheckBox *>())
        EXPECT_LE(box->sizeHint().width(), box->width()) << box->text().toStdString();
    // A transport button's caption has the button's width less its border.
    for (const QToolButton *button : window.findChildren<QToolButton *>())
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width() - 4)
            << button->text().toStdString();
}

class Languages : public testing_support::WindowFixture, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(testing_support::UseShippedLanguage(GetParam()));
        Create();
    }
    void TearDown() override
    {
        WindowFixture::TearDown();
        testing_support::UseSourceLanguage();
    }
};

TEST_P(Languages, TextsFitTheirPlacesAndAccessKeysStayUnique)
{
    ExpectTextsFit(*form);
    ExpectUniqueAccessKeys(*form->menuBar());
    ExpectTextsFit(app::TForm2(*form));
    ExpectTextsFit(app::TAboutBox());
}

// The device layer speaks English in its code; German, the program's own
// language, gets its texts from the device catalogue, English keeps them.
TEST_P(Languages, DeviceTextsSpeakTheWindowsLanguage)
{
    const bool german = std::string(GetParam()) == "de";
    std::vector<std::string> texts{"Invalid device ID", "Change to DeviceID while device was open",
                                   "Change to ProductName while device was open", "MIDI Output device not open",
                                   "A long message needs at least one byte",
                                   "A long message may have at most 65535 bytes",
                                   "Specified error number is out of range",
                                   "MIDI output Device Port B not installed",
                                   "MIDI input buffer full: 12 messages dropped"};
    for (const auto &entry : midi_out::MidiErrorTexts)
        texts.emplace_back(entry.text);
    for (const std::string &text : texts) {
        const QString shown = common::TranslatedMessage(text);
        EXPECT_EQ(shown != QString::fromStdString(text), german) << text;
        EXPECT_FALSE(shown.isEmpty());
    }
    EXPECT_TRUE(common::TranslatedMessage("MIDI output Device Port B not installed").contains(QStringLiteral("Port B")));

    // As a box of the window shows it.
    backend->failures[midi_out::TestBackend::Op::ShortMessage] = midi_out::MIDIERR_PORTGONE;
    Probe(*form).Key(1)->setFocus();
    QTest::mousePress(Probe(*form).Key(1), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
    EXPECT_EQ(messages[0].text, german ? QStringLiteral("Der MIDI-Anschluss ist nicht mehr verfügbar.")
                                       : QStringLiteral("The MIDI port is no longer available."));
    QTest::mouseRelease(Probe(*form).Key(1), Qt::LeftButton);
}

// The built-in synthesizer's name, its audio failure and a left take's date
// in the window's language, whatever the locale.
TEST_P(Languages, BuiltInSynthesizerAndLeftTakeDateSpeakTheWindowsLanguage)
{
    const bool german = std::string(GetParam()) == "de";
    const QDateTime written(QDate(2026, 12, 8), QTime(14, 30));
    const QLocale::Language language = german ? QLocale::German : QLocale::English;
    const struct {
        QString shown;
        QString de;
        QString en;
    } texts[]{
        {app::DeviceMenu::Caption(midi_out::FluidSynthBackend::DeviceName), QStringLiteral("FluidSynth (eingebaut)"),
         QStringLiteral("FluidSynth (built-in)")},
        {app::DeviceMenu::Caption("Port B"), QStringLiteral("Port B"), QStringLiteral("Port B")},
        {common::TranslatedMessage("The built-in synthesizer found no audio output"),
         QStringLiteral("Der eingebaute Synthesizer hat keine Audioausgabe gefunden"),
         QStringLiteral("The built-in synthesizer found no audio output")},
    };
    for (const auto &text : texts)
        EXPECT_EQ(text.shown, german ? text.de : text.en);
    const QString question = app::LeftTakeQuestionText(
        std::chrono::system_clock::time_point(std::chrono::seconds(written.toSecsSinceEpoch())),
        std::chrono::seconds(75));
    EXPECT_TRUE(question.contains(QLocale(language).toString(written, QLocale::ShortFormat))) << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("(1:15)")));
}

INSTANTIATE_TEST_SUITE_P(Shipped, Languages, ::testing::Values("de", "en"));

} // namespace
