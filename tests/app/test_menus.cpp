#include "support/WindowFixture.h"

#include "app/DeviceMenu.h"
#include "app/HelpPage.h"
#include "app/InstrumentMenu.h"
#include "common/SettingsFile.h"
#include "app/UAbout.h"
#include "support/WindowProbe.h"

#include <QActionGroup>
#include <QApplication>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <set>

using midi_out::TestBackend;
using testing_support::Packed;

namespace {

class Menus : public testing_support::WindowFixture {
protected:
    app::InstrumentMenu *Instruments() const { return form->findChild<app::InstrumentMenu *>(); }
    app::InstrumentGrid *Grid() const { return Instruments()->Grid(); }
    // Shows the window and pops the instrument menu up as a user opens it;
    // unless told otherwise, on a screen where all four columns fit.
    void PopUpInstruments(QRect screen = QRect(0, 0, 4000, 3000))
    {
        Instruments()->SetScreenArea(screen);
        form->show();
        Instruments()->popup(QPoint(0, 0));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Instruments()));
    }
    app::DeviceMenu *Devices() const { return form->findChild<app::DeviceMenu *>(QStringLiteral("DeviceMenu")); }

    // The device menu's items top to bottom: number and caption.
    std::vector<std::pair<int, std::string>> DeviceItems() const
    {
        std::vector<std::pair<int, std::string>> items;
        for (QAction *item : Devices()->actions())
            items.emplace_back(item->data().toInt(), item->text().toStdString());
        return items;
    }

    std::vector<std::int32_t> CallsOf(TestBackend::Op op) const
    {
        std::vector<std::int32_t> ids;
        for (const auto &call : backend->CallsOf(op))
            ids.push_back(call.deviceId);
        return ids;
    }
};

TEST_F(Menus, MenuBarWithAccessKeysAndItemsInOrder)
{
    Create();
    struct Expected {
        const char *title;
        std::vector<const char *> items; // "-" a separator; a shortcut after a tab
    };
    const std::vector<Expected> expected{
        {"&Programm", {"&Beenden\tCtrl+Q"}},
        {"&Aufnahme", {"Aufnahme\tCtrl+R", "Wiedergabe\tCtrl+P", "Angehalten\tCtrl+.", "-",
                       "Ö&ffnen...\tCtrl+O", "&Speichern...\tCtrl+S", "-", "&Metronom", "&Einzählen",
                       "Wiedergabe &wiederholen"}},
        {"&Synthesizer", {"Instrument", "Gerät", "Eingang", "Kanal", "-", "Anschlag nach Mausposition",
                          "PC-Tasten anzeigen", "-", "Tastatur einstellen...", "Standardbelegung"}},
        {"&Hilfe", {"Info...", "&Quenlo's Homepage"}},
    };
    const auto menus = form->menuBar()->actions();
    ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
    for (std::size_t m = 0; m < expected.size(); ++m) {
        SCOPED_TRACE(expected[m].title);
        EXPECT_EQ(menus[m]->text(), QString::fromUtf8(expected[m].title));
        const auto items = menus[m]->menu()->actions();
        ASSERT_EQ(items.size(), static_cast<qsizetype>(expected[m].items.size()));
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (std::string(expected[m].items[static_cast<std::size_t>(i)]) == "-")
                EXPECT_TRUE(items[i]->isSeparator());
            else
                EXPECT_EQ(items[i]->text() + (items[i]->shortcut().isEmpty() ? QString() : QStringLiteral("\t")) +
                              items[i]->shortcut().toString(QKeySequence::PortableText),
                          QString::fromUtf8(expected[m].items[static_cast<std::size_t>(i)]));
        }
    }
}

TEST_F(Menus, InstrumentItemsCarryTheirProgramsInOneExclusiveGroup)
{
    Create();
    app::InstrumentGrid *grid = Grid();
    const struct {
        int program;
        const char *caption;
    } samples[]{{0, "Konzertflügel"},          {1, "Sonoret"},
                {42, "Violoncello"},           {52, "Chor \"Aaaaah\""},
                {53, "Stimme \"Ooooh\""},      {60, "Französiches Horn"},
                {88, "Pad \"New Age\""},       {115, "Klanghölzer oder Holzblocktrommeln"},
                {127, "Gewehr"}};
    for (const auto &sample : samples)
        EXPECT_EQ(grid->Item(sample.program)->text(), QString::fromUtf8(sample.caption));
    ASSERT_EQ(grid->Group()->actions().size(), 128);
    std::set<QString> captions;
    for (int program = 0; program < 128; ++program) {
        QAction *item = grid->Item(program);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->data().toInt(), program);
        EXPECT_TRUE(item->isCheckable());
        EXPECT_EQ(item->actionGroup(), grid->Group());
        captions.insert(item->text());
    }
    EXPECT_EQ(captions.size(), 128u);
    EXPECT_EQ(grid->Item(128), nullptr);
    EXPECT_EQ(grid->Item(-1), nullptr);
    EXPECT_TRUE(grid->Group()->isExclusive());
}

TEST_F(Menus, InstrumentsStandInFourColumnsWithTheirSeparators)
{
    Create();
    app::InstrumentGrid *grid = Grid();
    // Columns start at 0, 32, 68 and 104, each at the top, left to right.
    const int starts[]{0, 32, 68, 104, 128};
    int previousLeft = -1;
    for (int c = 0; c < 4; ++c) {
        const QRect first = grid->ItemRect(starts[c]);
        EXPECT_EQ(first.top(), 0) << starts[c];
        EXPECT_GT(first.left(), previousLeft) << starts[c];
        previousLeft = first.right();
        for (int program = starts[c]; program < starts[c + 1]; ++program) {
            EXPECT_EQ(grid->ColumnOf(program), c) << program;
            if (program > starts[c]) {
                EXPECT_GE(grid->ItemRect(program).top(), grid->ItemRect(program - 1).bottom()) << program;
            }
        }
    }
    // A separator row stands right above each of these programs.
    const std::vector<int> afterSeparator{8, 16, 24, 40, 47, 56, 80, 88, 96, 112, 120};
    const auto separators = grid->SeparatorRects();
    ASSERT_EQ(separators.size(), afterSeparator.size());
    for (std::size_t i = 0; i < separators.size(); ++i) {
        const QRect item = grid->ItemRect(afterSeparator[i]);
        EXPECT_EQ(separators[i].bottom() + 1, item.top()) << afterSeparator[i];
        EXPECT_EQ(separators[i].left(), item.left()) << afterSeparator[i];
    }
    // Really shown as a grid: the menu is wider than one column and not as
    // tall as all items stacked.
    EXPECT_GT(grid->sizeHint().width(), 3 * grid->ItemRect(0).width());
    EXPECT_LT(grid->sizeHint().height(), 60 * grid->ItemRect(0).height());
}

TEST_F(Menus, ProgramZeroIsCheckedAtStartAndSentOnce)
{
    Create();
    EXPECT_EQ(Instruments()->CheckedProgram(), 0);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0xC0, 0, 0)}));
    EXPECT_EQ(StoredInt("Common", "Instrument"), 0);
}

TEST_F(Menus, StartUpSelectsTheStoredInstrument)
{
    WriteIni("[Common]\nInstrument=42\n");
    Create();
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0xC0, 42, 0)}));
    EXPECT_EQ(Instruments()->CheckedProgram(), 42);
    EXPECT_TRUE(Grid()->Item(42)->isChecked());
}

TEST_F(Menus, ChoosingAnInstrumentSendsChecksAndStoresIt)
{
    Create();
    backend->ClearCalls();
    Grid()->Item(42)->trigger(); // "Violoncello"
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0xC0, 42, 0)}));
    EXPECT_EQ(StoredInt("Common", "Instrument"), 42);
    EXPECT_EQ(Instruments()->CheckedProgram(), 42);
    EXPECT_FALSE(Grid()->Item(0)->isChecked());

    backend->ClearCalls();
    Probe(*form).SelectInstrument(0);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0xC0, 0, 0)}));
    EXPECT_EQ(Instruments()->CheckedProgram(), 0);
}

TEST_F(Menus, ANumberWithoutAnItemDoesNothing)
{
    WriteIni("[Common]\nInstrument=7\n");
    Create();
    backend->ClearCalls();
    for (int program : {200, -1, 128}) {
        Probe(*form).SelectInstrument(program);
        EXPECT_TRUE(Sent().empty()) << program;
        EXPECT_EQ(StoredInt("Common", "Instrument"), 7) << program;
        EXPECT_EQ(Instruments()->CheckedProgram(), 7) << program;
    }
}

TEST_F(Menus, AProgramChangeWhileRecordingIsRecordedAtTheCurrentTick)
{
    Create();
    form->findChild<QToolButton *>(QStringLiteral("SpeedButton1"))->click();
    Probe(*form).RecordingStream().Clear(); // past the instrument that starts every recording
    Probe(*form).SetCurrentTick(0x0105);
    Probe(*form).SelectInstrument(19);
    const std::vector<std::uint8_t> expected{0x05, 0x01, 0, 0, 0xC0, 19, 0};
    EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), expected);
}

TEST_F(Menus, KeyboardMovesWithinAndAcrossColumnsAndEnterChooses)
{
    Create();
    ASSERT_NO_FATAL_FAILURE(PopUpInstruments());
    app::InstrumentMenu *menu = Instruments();
    app::InstrumentGrid *grid = Grid();
    EXPECT_EQ(grid->Current(), 0) << "opens at the checked item";
    ASSERT_EQ(QApplication::focusWidget(), grid);

    const struct {
        Qt::Key key;
        int current;
    } steps[]{
        {Qt::Key_Up, 31},     // wraps within the column
        {Qt::Key_Down, 0},    //
        {Qt::Key_Down, 1},    //
        {Qt::Key_Right, 33},  // same height in the next column
        {Qt::Key_Right, 69},  //
        {Qt::Key_Right, 105}, //
        {Qt::Key_Right, 105}, // the last column: stays
        {Qt::Key_End, 127},   //
        {Qt::Key_Left, -2},   // somewhere in the third column
    };
    for (const auto &step : steps) {
        QTest::keyClick(QApplication::focusWidget(), step.key);
        if (step.current == -2)
            EXPECT_EQ(grid->ColumnOf(grid->Current()), 2);
        else
            EXPECT_EQ(grid->Current(), step.current) << step.key;
    }
    const int chosen = grid->Current();
    backend->ClearCalls();
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_FALSE(menu->isVisible()) << "choosing closes the menu";
    EXPECT_EQ(Instruments()->CheckedProgram(), chosen);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0xC0, static_cast<std::uint8_t>(chosen), 0)}));

    ASSERT_NO_FATAL_FAILURE(PopUpInstruments());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(menu->isVisible()) << "Esc closes";
}

TEST_F(Menus, MouseClickOnAnItemChoosesIt)
{
    Create();
    ASSERT_NO_FATAL_FAILURE(PopUpInstruments());
    app::InstrumentMenu *menu = Instruments();
    app::InstrumentGrid *grid = Grid();
    backend->ClearCalls();
    const QPoint point = grid->ItemRect(73).center();
    QTest::mouseMove(grid, point);
    EXPECT_EQ(grid->Current(), 73);
    QTest::mouseClick(grid, Qt::LeftButton, Qt::NoModifier, point);
    EXPECT_EQ(Instruments()->CheckedProgram(), 73);
    EXPECT_EQ(Sent(), (std::vector<std::uint32_t>{Packed(0xC0, 73, 0)}));
    EXPECT_FALSE(menu->isVisible());
}

TEST_F(Menus, InstrumentMenuFitsCommonScreensWithEveryItemInReachOfKeysAndMouse)
{
    Create();
    Probe(*form).SelectInstrument(100);
    app::InstrumentGrid *grid = Grid();
    QWidget *view = Instruments()->Scroller()->viewport();
    // In the grid's view, and inside the menu as large as it asks to be.
    const auto shown = [&](int program) {
        const QRect item = grid->ItemRect(program);
        const QRect menu(QPoint(), Instruments()->sizeHint());
        return view->rect().contains(QRect(grid->mapTo(view, item.topLeft()), item.size())) &&
               menu.contains(QRect(grid->mapTo(Instruments(), item.topLeft()), item.size()));
    };
    const struct {
        int width;
        int height;
    } screens[]{{1024, 600}, {1366, 768}, {1920, 1080}};
    for (const auto &screen : screens)
        for (const double scale : {1.0, 1.5, 2.0}) {
            // What a scaled screen offers in logical pixels, the unit the menu is laid out in.
            const QRect area(0, 0, static_cast<int>(screen.width / scale), static_cast<int>(screen.height / scale));
            SCOPED_TRACE(testing::Message() << screen.width << "x" << screen.height << " at " << scale);
            ASSERT_NO_FATAL_FAILURE(PopUpInstruments(area));
            EXPECT_LE(Instruments()->sizeHint().width(), area.width());
            EXPECT_LE(Instruments()->sizeHint().height(), area.height());
            EXPECT_TRUE(shown(100)) << "the chosen item on opening";
            EXPECT_EQ(Instruments()->Scroller()->verticalScrollBar()->isVisible(), grid->Scrolls());
            // Down each column from its top, then right to the next.
            QTest::keyClick(grid, Qt::Key_Home); // points at an item also when the pointer left none
            while (grid->ColumnOf(grid->Current()) > 0)
                QTest::keyClick(grid, Qt::Key_Left);
            std::set<int> reached;
            for (int column = 0; column < grid->Columns(); ++column) {
                QTest::keyClick(grid, Qt::Key_Home);
                const int top = grid->Current();
                do {
                    EXPECT_EQ(grid->ColumnOf(grid->Current()), column);
                    EXPECT_TRUE(shown(grid->Current())) << grid->Current();
                    reached.insert(grid->Current());
                    QTest::keyClick(grid, Qt::Key_Down);
                } while (grid->Current() != top);
                QTest::keyClick(grid, Qt::Key_Right);
            }
            EXPECT_EQ(reached.size(), 128u);
            Instruments()->close();
        }
}

TEST_F(Menus, DevicesHighestIndexFirstWithTheSavedOneChecked)
{
    WriteIni("[Device]\nID=1\n");
    Create({"Synth A", "Port B", "Port C"});
    EXPECT_EQ(DeviceItems(), (std::vector<std::pair<int, std::string>>{
                                 {2, "Port C"}, {1, "Port B"}, {0, "Synth A"}}));
    EXPECT_EQ(Devices()->CheckedIndex(), 1);
    EXPECT_EQ(Probe(*form).MidiOut().DeviceID(), 1);
    EXPECT_EQ(StoredText("Device", "Name"), "Port B") << "a file without a name gains it";
}

TEST_F(Menus, TheBuiltInSynthesizerIsShownTranslatedAndStoredByItsOwnName)
{
    // A file of an earlier release, the synthesizer stored at another index.
    WriteIni("[Device]\nID=1\nName=FluidSynth (built-in)\n");
    Create({"FluidSynth (built-in)", "Port B"});
    EXPECT_EQ(DeviceItems(), (std::vector<std::pair<int, std::string>>{{1, "Port B"}, {0, "FluidSynth (eingebaut)"}}));
    EXPECT_EQ(Probe(*form).MidiOut().DeviceID(), 0);
    Devices()->Item(1)->trigger();
    Devices()->Item(0)->trigger();
    EXPECT_EQ(StoredText("Device", "Name"), "FluidSynth (built-in)");
}

TEST_F(Menus, ChoosingADeviceClosesSelectsOpensAndStoresIt)
{
    Create({"Synth A", "Port B", "Port C"});
    const auto oldHandle = Probe(*form).MidiOut().Handle();
    backend->ClearCalls();
    Devices()->Item(2)->trigger();
    ASSERT_EQ(backend->CallsOf(TestBackend::Op::Close).size(), 1u);
    EXPECT_EQ(backend->CallsOf(TestBackend::Op::Close)[0].handle, oldHandle);
    EXPECT_EQ(CallsOf(TestBackend::Op::Open), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(Probe(*form).MidiOut().DeviceID(), 2);
    EXPECT_EQ(Devices()->CheckedIndex(), 2);
    EXPECT_EQ(StoredInt("Device", "ID"), 2);
    EXPECT_EQ(StoredText("Device", "Name"), "Port C");
    EXPECT_TRUE(messages.empty());
}

TEST_F(Menus, ADeviceThatFailsToOpenStaysCheckedAndStoredAndTheNextNoteFails)
{
    Create({"Synth A", "Port B", "Port C"});
    backend->failures[TestBackend::Op::Open] = midi_out::MIDIERR_ALLOCATED;
    Devices()->Item(1)->trigger();
    EXPECT_TRUE(messages.empty()) << "not reported by the choice itself";
    EXPECT_EQ(Devices()->CheckedIndex(), 1);
    EXPECT_EQ(StoredInt("Device", "ID"), 1);
    QTest::mousePress(Probe(*form).Key(1), Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("The device handle is invalid."));
}

TEST_F(Menus, ADeviceThatFailsToCloseShowsTheMessageAndChangesNothingElse)
{
    Create({"Synth A", "Port B", "Port C"});
    const QByteArray before = IniText();
    backend->failures[TestBackend::Op::Close] = midi_out::MIDIERR_STILLPLAYING;
    backend->ClearCalls();
    Devices()->Item(2)->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
    EXPECT_TRUE(CallsOf(TestBackend::Op::Open).empty());
    EXPECT_EQ(Probe(*form).MidiOut().DeviceID(), 0);
    EXPECT_EQ(Probe(*form).MidiOut().State(), midi_out::dsOpen);
    EXPECT_EQ(Devices()->CheckedIndex(), 0) << "the menu shows the device still in use";
    EXPECT_EQ(IniText(), before);
    // A device that never closes is abandoned to its driver at shutdown; let it go.
    backend->failures.clear();
}

TEST_F(Menus, TheStoredNameFindsTheDeviceUnderItsNewNumber)
{
    WriteIni("[Device]\nID=1\nName=Port B\n");
    Create({"Synth A", "Port C", "Port B"});
    EXPECT_EQ(CallsOf(TestBackend::Op::Open), (std::vector<std::int32_t>{2}));
    EXPECT_EQ(Devices()->CheckedIndex(), 2);
    EXPECT_EQ(StoredInt("Device", "ID"), 2);
}

TEST_F(Menus, AStoredDeviceMissingTodayIsReplacedInMemoryOnly)
{
    for (const char *ini : {"[Device]\nID=1\nName=USB Synth\n", "[Device]\nID=5\n"}) {
        SCOPED_TRACE(ini);
        WriteIni(ini);
        Create({"Synth A", "Port B"});
        EXPECT_EQ(CallsOf(TestBackend::Op::Open), (std::vector<std::int32_t>{0}));
        EXPECT_EQ(Devices()->CheckedIndex(), 0);
        EXPECT_TRUE(IniText().startsWith(ini)) << IniText().toStdString();
        form.reset();
    }
}

TEST_F(Menus, TheMapperIsAcceptedAsStoredDevice)
{
    WriteIni("[Device]\nID=-1\n");
    Create({"Synth A", "Port B"});
    EXPECT_EQ(CallsOf(TestBackend::Op::Open), (std::vector<std::int32_t>{-1}));
    EXPECT_EQ(Devices()->CheckedIndex(), -1);
    EXPECT_EQ(StoredInt("Device", "ID"), -1);
}

TEST_F(Menus, OpeningTheDeviceMenuReadsTheDevicesAnew)
{
    WriteIni("[Device]\nID=1\nName=Port B\n");
    Create({"Synth A", "Port B"});
    // A port appears before the one in use, and another after it.
    backend->devices.insert(backend->devices.begin() + 1, TestBackend::Caps("Port New"));
    backend->devices.push_back(TestBackend::Caps("Port Late"));
    backend->ClearCalls();
    emit Devices()->aboutToShow();
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::Close).empty()) << "what sounds is not cut";
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::ShortMessage).empty());
    EXPECT_EQ(DeviceItems(), (std::vector<std::pair<int, std::string>>{
                                 {3, "Port Late"}, {2, "Port B"}, {1, "Port New"}, {0, "Synth A"}}));
    EXPECT_EQ(Devices()->CheckedIndex(), 2);
    EXPECT_EQ(Probe(*form).MidiOut().DeviceID(), 2) << "the component and the menu mean the same device";
    EXPECT_EQ(Probe(*form).MidiOut().State(), midi_out::dsOpen);
    EXPECT_EQ(StoredInt("Device", "ID"), 2);
    EXPECT_EQ(backend->OpenHandles().size(), 1u);

    // The device in use goes away: no item is checked.
    backend->devices.erase(backend->devices.begin() + 2);
    emit Devices()->aboutToShow();
    EXPECT_EQ(Devices()->actions().size(), 3);
    EXPECT_EQ(Devices()->CheckedIndex(), -1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(Menus, QuitClosesTheWindow)
{
    Create();
    form->show();
    form->findChild<QAction *>(QStringLiteral("Beenden1"))->trigger();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(Menus, InfoShowsTheInfoDialogModally)
{
    Create();
    app::TAboutBox about;
    Probe(*form).SetAboutBox(&about);
    QWidget *shown = nullptr;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        shown = QApplication::activeModalWidget();
        modal = about.isModal();
        about.accept();
    });
    form->findChild<QAction *>(QStringLiteral("Info1"))->trigger();
    EXPECT_EQ(shown, &about);
    EXPECT_TRUE(modal);
}

TEST_F(Menus, HelpPageIsFoundBesideTheExecutableThenUnderShare)
{
    QDir root(dir.path());
    ASSERT_TRUE(root.mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(root.mkpath(QStringLiteral("share/midi-sonoret/help")));
    const QString bin = root.filePath(QStringLiteral("bin"));
    EXPECT_TRUE(app::FindHelpPage(bin).isEmpty());

    const QString installed = root.filePath(QStringLiteral("share/midi-sonoret/help/index.html"));
    QFile(installed).open(QIODevice::WriteOnly);
    EXPECT_EQ(app::FindHelpPage(bin), installed);

    ASSERT_TRUE(root.mkpath(QStringLiteral("bin/help")));
    const QString beside = root.filePath(QStringLiteral("bin/help/index.html"));
    QFile(beside).open(QIODevice::WriteOnly);
    EXPECT_EQ(app::FindHelpPage(bin), beside);
}

TEST_F(Menus, AMissingHelpPageGivesAGermanMessage)
{
    app::OpenHelpPage(dir.filePath(QStringLiteral("nowhere")));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
    EXPECT_TRUE(messages[0].text.startsWith(QString::fromUtf8("Die Hilfeseite kann nicht geöffnet werden")));
}

} // namespace
