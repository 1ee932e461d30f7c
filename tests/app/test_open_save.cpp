// Opening and saving recordings through the main window's menu handlers,
// with the file dialogs answered by the test, and the recording named on the
// command line.

#include "support/WindowFixture.h"
#include "support/AnsweredFileDialogs.h"
#include "support/EventLoop.h"
#include "support/HangBound.h"

#include "app/RecordingDialogs.h"
#include "files/MidiExport.h"
#include "files/RecordingFiles.h"
#include "files/SoundTextImport.h"
#include "support/TestFiles.h"
#include "support/WindowProbe.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

using midi_out::TestBackend;
using Bytes = std::vector<std::uint8_t>;

namespace {

class OpenSave : public testing_support::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        WriteIni("[Common]\nInstrument=3\n");
        Create();
        // A recording of two notes.
        Control<QToolButton>("SpeedButton1")->click();
        Probe(*form).Notes().SendNote(0x90, 60, 100);
        Probe(*form).SetCurrentTick(4);
        Probe(*form).Notes().SendNote(0x80, 60, 0);
        Control<QToolButton>("SpeedButton3")->click();
        recording = Probe(*form).RecordingStream().Bytes();
        backend->ClearCalls();
        Probe(*form).SelectInstrument(3);
        instrument = backend->SentShortMessages();
        backend->ClearCalls();
    }
    std::string File(const std::string &name) const { return files.File(name); }

    void ExpectRefused(const char *key)
    {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].caption, QStringLiteral("MIDI Sonoret"));
        EXPECT_EQ(messages[0].text, QStringLiteral("Das Dateiformat %1 wird nicht unterstützt.")
                                        .arg(QString::fromLatin1(key)));
        EXPECT_EQ(messages[0].icon, app::MessageIcon::Warning);
        EXPECT_EQ(messages[0].owner, form.get());
        EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), recording);
    }

    // The two items of the recording menu.
    void Open() { form->findChild<QAction *>(QStringLiteral("ffnen1"))->trigger(); }
    void Save()
    {
        form->findChild<QAction *>(QStringLiteral("Speichern1"))->trigger();
        SettleSaves();
    }

    // Stop: the device silenced, then the stored instrument.
    bool StopRan() const
    {
        const auto calls = backend->Calls();
        return !calls.empty() && calls[0].op == TestBackend::Op::Silence
               && backend->SentShortMessages() == instrument;
    }

    // The next dialog is shown and answered as a person would, by `use` on
    // it while it runs; left open, it is cancelled.
    void InShownDialog(std::function<void(QFileDialog &)> use)
    {
        app::SetFileDialogRunner({});
        QTimer::singleShot(0, form.get(), [use] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            use(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
    }

    // Selects the entry the dialog lists as `shown` in the test's folder and
    // presses the dialog's button; false when the entry never appears.
    bool ChooseListed(QFileDialog &dialog, const QString &shown, QDialogButtonBox::StandardButton button)
    {
        dialog.setDirectory(QString::fromStdString(files.Path().string()));
        auto *list = dialog.findChild<QListView *>(QStringLiteral("listView"));
        QModelIndex entry;
        testing_support::ProcessEventsUntil(
            [&] {
                const QModelIndex folder = list->rootIndex();
                for (int row = 0; row < list->model()->rowCount(folder); ++row) {
                    if (list->model()->index(row, 0, folder).data().toString() == shown)
                        entry = list->model()->index(row, 0, folder);
                }
                return entry.isValid();
            },
            static_cast<int>(std::chrono::milliseconds(testing_support::kHangBound).count()));
        if (!entry.isValid())
            return false;
        list->setCurrentIndex(entry);
        QPushButton *confirm = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(button);
        EXPECT_TRUE(confirm->isEnabled());
        confirm->click();
        return true;
    }

    testfiles::TempDir files;
    testing_support::AnsweredFileDialogs dialogs;
    std::optional<std::string> &answer = dialogs.answer;
    Bytes recording;
    std::vector<std::uint32_t> instrument;
};

enum class Outcome { Native, Midi, SoundText, Refused };

struct SaveCase {
    const char *name;
    Outcome outcome;
    const char *key;
};

TEST_F(OpenSave, SaveDispatchesOnTheExtensionKey)
{
    std::filesystem::create_directory(files.Path() / "folder.d");
    const SaveCase cases[] = {
        {"take.vsq", Outcome::Native, ""},       {"take2.VSQ", Outcome::Native, ""},
        {"take3.Vsq", Outcome::Native, ""},      {"take.vsqx", Outcome::Native, ""},
        {"take.midi", Outcome::Midi, ""},        {"take.mid", Outcome::Midi, ""},
        {"take.vnx", Outcome::Refused, ".VNX"},  {"take.jpeg", Outcome::Refused, ".JPE"},
        {"folder.d/take", Outcome::Refused, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        answer = File(c.name);
        Save();
        switch (c.outcome) {
        case Outcome::Native:
            EXPECT_EQ(testfiles::ReadBytes(*answer), recording);
            break;
        case Outcome::Midi: {
            const std::string reference = File("reference.mid");
            files::ExportMidiFile(reference, Probe(*form).RecordingStream());
            EXPECT_EQ(testfiles::ReadBytes(*answer), testfiles::ReadBytes(reference));
            break;
        }
        default:
            ExpectRefused(c.key);
            EXPECT_FALSE(std::filesystem::exists(*answer));
        }
    }
}

TEST_F(OpenSave, OpenDispatchesOnTheExtensionKey)
{
    std::filesystem::create_directory(files.Path() / "folder.d");
    const std::string tones = "440\n100\n65535\n";
    const Bytes native{1, 0, 0, 0, 0x90, 64, 90, 9};
    const SaveCase cases[] = {
        {"in.vsq", Outcome::Native, ""},        {"in.VSQ", Outcome::Native, ""},
        {"in.vsqx", Outcome::Native, ""},       {"in.vnx", Outcome::SoundText, ""},
        {"in.vnxt", Outcome::SoundText, ""},    {"in.txt", Outcome::Refused, ".TXT"},
        {"in.jpeg", Outcome::Refused, ".JPE"},  {"folder.d/in", Outcome::Refused, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Probe(*form).RecordingStream().Clear();
        Probe(*form).RecordingStream().Write(recording.data(), recording.size());
        messages.clear();
        answer = File(c.name);
        if (c.outcome == Outcome::SoundText)
            testfiles::WriteText(*answer, tones);
        else
            testfiles::WriteBytes(*answer, native);
        Open();
        switch (c.outcome) {
        case Outcome::Native:
            EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), native);
            break;
        case Outcome::SoundText: {
            recorder::RecordingStream imported;
            files::ImportSoundText(*answer, imported);
            EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), imported.Bytes());
            break;
        }
        default:
            ExpectRefused(c.key);
        }
    }
}

// The dialogs start where a file was last chosen, in this run and the next;
// a folder gone since leaves them where they start by themselves.
TEST_F(OpenSave, DialogsStartInTheFolderLastUsedInThisRunAndTheNext)
{
    const auto folder = files.Path() / "takes";
    std::filesystem::create_directory(folder);
    const auto startsIn = [this] { return dialogs.shown->directory().absolutePath().toStdString(); };
    answer = File("takes/take.vsq");
    Save();
    EXPECT_EQ(StoredText("Common", "LastFolder"), folder.string());
    answer.reset();
    Open(); // the open dialog is made now
    EXPECT_EQ(startsIn(), folder.string());

    form.reset();
    Create();
    Save();
    EXPECT_EQ(startsIn(), folder.string()) << "the next run";

    std::filesystem::remove_all(folder);
    form.reset();
    Create();
    Open();
    EXPECT_NE(startsIn(), folder.string()) << "a folder gone since";
    EXPECT_TRUE(messages.empty());
}

TEST_F(OpenSave, EmptyKeyLeavesTwoBlanksInTheMessage)
{
    answer = File("no-extension");
    Save();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Das Dateiformat  wird nicht unterstützt."));
}

TEST_F(OpenSave, CancelChangesNothingNotEvenARunningRecording)
{
    Control<QToolButton>("SpeedButton1")->click();
    backend->ClearCalls();
    Open();
    Save();
    EXPECT_TRUE(Probe(*form).IsRecording());
    EXPECT_TRUE(backend->Calls().empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(OpenSave, ConfirmedDialogStopsARecordingEvenWhenRefused)
{
    Control<QToolButton>("SpeedButton1")->click();
    Probe(*form).SetCurrentTick(3);
    Probe(*form).Notes().SendNote(0x90, 61, 100);
    Bytes expected = Probe(*form).RecordingStream().Bytes();
    // The take is closed: the note it left on ends where it stopped.
    for (const std::uint8_t byte : {3, 0, 0, 0, 0x80, 61, 0})
        expected.push_back(byte);
    backend->ClearCalls();
    answer = File("take.jpeg");
    Save();
    EXPECT_TRUE(Control<QToolButton>("SpeedButton3")->isChecked());
    EXPECT_FALSE(Probe(*form).IsRecording());
    EXPECT_TRUE(StopRan());
    EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), expected) << "Stop's instrument is not recorded";
}

TEST_F(OpenSave, ConfirmingWhileStoppedStillRunsStop)
{
    answer = File("take.vsq");
    Save();
    EXPECT_TRUE(StopRan());
    backend->ClearCalls();
    Open();
    EXPECT_TRUE(StopRan());
}

TEST_F(OpenSave, AFailingDeviceIsToldOnceAndTheFileCommandGoesOn)
{
    const auto lose = [this] {
        // The device went away: it cannot be silenced, closed or sent to.
        backend->LoseOpenDevices(midi_out::MIDIERR_PORTGONE);
        backend->failures[TestBackend::Op::Close] = midi_out::MIDIERR_PORTGONE;
        backend->failures[TestBackend::Op::ShortMessage] = midi_out::MIDIERR_PORTGONE;
    };
    struct Case {
        const char *what;
        std::function<void()> command;
        std::function<bool()> done;
        std::size_t boxes; // the same failure is not told again until the user acts on the device
    };
    const Case cases[] = {
        {"save", [this] { answer = File("take.vsq"), Save(); },
         [this] { return testfiles::ReadBytes(File("take.vsq")) == recording; }, 1},
        {"open", [this] { Probe(*form).RecordingStream().Write("xyz", 3), Open(); },
         [this] { return Probe(*form).RecordingStream().Bytes() == recording; }, 0},
        // "Öffnen..." over a new take, saved by the question's answer.
        {"question",
         [&] {
             backend->failures.clear();
             Control<QToolButton>("SpeedButton3")->click(); // the device back
             Control<QToolButton>("SpeedButton1")->click();
             Probe(*form).Notes().SendNote(0x90, 60, 100);
             lose();
             takeAnswer = app::UnsavedTakeAnswer::Save;
             answer = File("asked.vsq");
             Open();
             SettleSaves();
         },
         [this] {
             const Bytes saved = testfiles::ReadBytes(File("asked.vsq"));
             return !saved.empty() && saved != recording && saved == Probe(*form).RecordingStream().Bytes()
                    && !Probe(*form).Take().IsUnsaved();
         },
         1},
    };
    lose();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        messages.clear();
        c.command();
        EXPECT_TRUE(c.done());
        ASSERT_EQ(messages.size(), c.boxes) << (messages.empty() ? std::string() : messages.back().text.toStdString());
        if (c.boxes) {
            EXPECT_EQ(messages[0].text, QStringLiteral("The MIDI port is no longer available."));
        }
    }
}

// A song file is read off the window's thread: the recording changes when
// the read is done, and a file that is no song leaves it as it was.
TEST_F(OpenSave, AMidiFileReplacesTheRecordingOnceReadAndADamagedOneNot)
{
    const std::string song = File("song.MIDI");
    testfiles::WriteBytes(song, files::MidiFileBytes(Probe(*form).RecordingStream()));
    testfiles::WriteBytes(File("bad.mid"), {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0});
    Probe(*form).RecordingStream().Clear();
    // The export places records of tick 0 at tick 1, and they come back there.
    Bytes placed = recording;
    for (std::size_t at = 0; at + 7 <= placed.size(); at += 7)
        if (placed[at] == 0 && placed[at + 1] == 0 && placed[at + 2] == 0 && placed[at + 3] == 0)
            placed[at] = 1;
    for (const std::string &name : {File("bad.mid"), song}) {
        SCOPED_TRACE(name);
        answer = name;
        messages.clear();
        Open();
        SettleSaves();
        const bool damaged = name != song;
        EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), damaged ? Bytes{} : placed);
        ASSERT_EQ(messages.size(), damaged ? 1u : 0u);
        if (damaged) {
            EXPECT_EQ(messages[0].text, QString::fromStdString("Datei " + name + " ist keine gültige MIDI-Datei."));
        }
    }
    EXPECT_FALSE(Probe(*form).Take().IsUnsaved()) << "opening is not a take";
}

TEST_F(OpenSave, SavedAndReopenedGivesTheSameBytesAlsoWhenEmpty)
{
    for (const bool empty : {false, true}) {
        if (empty)
            Control<QToolButton>("SpeedButton1")->click(), Control<QToolButton>("SpeedButton3")->click(), Probe(*form).RecordingStream().Clear();
        const Bytes saved = Probe(*form).RecordingStream().Bytes();
        answer = File(empty ? "empty.vsq" : "take.vsq");
        Save();
        EXPECT_EQ(std::filesystem::file_size(*answer), saved.size());
        Probe(*form).RecordingStream().Write("xyz", 3);
        Open();
        EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), saved);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(OpenSave, FailedOpenLeavesTheRecordingAndIsShown)
{
    answer = File("missing.vsq");
    Open();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("Datei ")));
    EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), recording);
}

TEST_F(OpenSave, DialogsAreSetUpForRecordings)
{
    Open();
    ASSERT_EQ(dialogs.shown, Probe(*form).OpenDialog1());
    QFileDialog &open = *Probe(*form).OpenDialog1();
    EXPECT_EQ(open.parent(), form.get());
    EXPECT_EQ(open.fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(open.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(open.defaultSuffix(), QStringLiteral("vsq"));
    EXPECT_TRUE(open.testOption(QFileDialog::HideNameFilterDetails));
    EXPECT_TRUE(open.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(open.nameFilters(),
              (QStringList{QStringLiteral("Alle unterstützten Dateien (*.vsq; *.vnx; *.mid; *.midi; *.smf) "
                                          "(*.vsq *.vnx *.mid *.midi *.smf *.MID *.MIDI *.SMF)"),
                           QStringLiteral("Varno MIDI Sonoret-Datei (*.vsq) (*.vsq)"),
                           QStringLiteral("MIDI-Datei (*.mid *.midi) (*.mid *.midi *.smf *.MID *.MIDI *.SMF)"),
                           QStringLiteral("Varno Sound Textdatei (*.vnx) (*.vnx)")}));
    // Shown as worded; the patterns in the second parentheses do the filtering.
    EXPECT_EQ(open.selectedNameFilter(),
              QStringLiteral("Alle unterstützten Dateien (*.vsq; *.vnx; *.mid; *.midi; *.smf)"));

    Save();
    ASSERT_EQ(dialogs.shown, Probe(*form).SaveDialog1());
    QFileDialog &save = *Probe(*form).SaveDialog1();
    EXPECT_EQ(save.acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(save.testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(save.defaultSuffix(), QStringLiteral("vsq"));
    EXPECT_EQ(save.nameFilters(),
              (QStringList{QStringLiteral("Varno MIDI Sonoret-Datei (*.vsq) (*.vsq)"),
                           QStringLiteral("MIDI-Datei (*.mid) (*.mid)"),
                           QStringLiteral("WAV-Audio (*.wav) (*.wav)"),
                           QStringLiteral("FLAC-Audio (*.flac) (*.flac)"),
                           QStringLiteral("Ogg-Vorbis-Audio (*.ogg) (*.ogg)")}));
    EXPECT_EQ(save.selectedNameFilter(), QStringLiteral("Varno MIDI Sonoret-Datei (*.vsq)"));
}

TEST_F(OpenSave, TypedNameWithoutExtensionGetsTheChosenFormatsExtension)
{
    // The chosen filter, as the user picks it from the dialog's list; the
    // MIDI choice first, so that the native one must undo it.
    for (const int filter : {1, 0}) {
        app::SetFileDialogRunner([this, filter](QFileDialog &dialog) -> std::optional<QString> {
            auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            if (types == nullptr)
                return std::nullopt;
            // What the list does when the user picks an entry.
            types->setCurrentIndex(filter);
            emit types->activated(filter);
            emit types->textActivated(types->itemText(filter));
            dialog.selectFile(QString::fromStdString(File("typed")));
            return dialog.selectedFiles().value(0);
        });
        Save();
    }
    EXPECT_EQ(testfiles::ReadBytes(File("typed.vsq")), recording);
    const auto midi = testfiles::ReadBytes(File("typed.mid"));
    ASSERT_GE(midi.size(), 4u);
    EXPECT_EQ(std::string(midi.begin(), midi.begin() + 4), "MThd");
}

// Names in Latin-1, as on older disks, are no valid UTF-8: Qt's own listing
// leaves such files out, yet they are listed, opened and replaced.
TEST_F(OpenSave, OpenDialogListsAndOpensAFileNamedInLatin1)
{
    const Bytes native{1, 0, 0, 0, 0x90, 64, 90, 9};
    const int fd = ::open(File("m\xe4rz.vsq").c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, native.data(), native.size()), static_cast<ssize_t>(native.size()));
    ::close(fd);
    InShownDialog([this](QFileDialog &dialog) {
        EXPECT_TRUE(ChooseListed(dialog, QStringLiteral("märz.vsq"), QDialogButtonBox::Open));
    });
    Open();
    EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), native);
    EXPECT_TRUE(messages.empty());
}

TEST_F(OpenSave, SaveDialogReplacesAFileNamedInLatin1AfterAsking)
{
    testfiles::WriteBytes(File("alt\xe9.vsq"), {1, 2, 3});
    // The question whether to replace the file, answered yes when it comes.
    QString question;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&question] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            question = box->text();
            box->button(QMessageBox::Yes)->click();
        }
    });
    answer.start(10);
    InShownDialog([this](QFileDialog &dialog) {
        EXPECT_TRUE(ChooseListed(dialog, QStringLiteral("alté.vsq"), QDialogButtonBox::Save));
    });
    Save();
    EXPECT_TRUE(question.contains(QStringLiteral("alté.vsq"))) << question.toStdString();
    EXPECT_EQ(testfiles::ReadBytes(File("alt\xe9.vsq")), recording);
    EXPECT_EQ(files.Entries(), std::vector<std::string>{"alt\xe9.vsq"});
}

// The recording named on the command line, loaded when the window is shown.
class CommandLine : public testing_support::WindowFixture {
protected:
    void Start(std::vector<std::string> arguments)
    {
        auto owned = std::make_unique<TestBackend>(std::vector<std::string>{"Synth"});
        backend = owned.get();
        form = std::make_unique<app::TForm1>(std::move(owned), iniPath, std::move(arguments));
        backend->ClearCalls();
        form->show();
    }
    testfiles::TempDir files;
};

TEST_F(CommandLine, OneExistingFileOfAnyExtensionIsLoadedAsRecording)
{
    const std::string name = files.File("song.txt");
    const Bytes bytes{0, 0, 0, 0, 0x90, 60, 100, 2, 0, 0, 0, 0x80, 60, 0, 9};
    testfiles::WriteBytes(name, bytes);
    Start({name});
    EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), bytes);
    EXPECT_TRUE(backend->CallsOf(TestBackend::Op::Silence).empty()) << "no Stop";
    EXPECT_TRUE(messages.empty());
}

TEST_F(CommandLine, AFileThatIsNoRecordingIsRefusedNotPlayed)
{
    const std::string name = files.File("song.dat");
    testfiles::WriteBytes(name, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 10});
    Start({name});
    EXPECT_EQ(Probe(*form).RecordingStream().Size(), 0u);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QString::fromStdString("Datei " + name + " ist keine gültige Aufnahme."));
}

TEST_F(CommandLine, MissingFileOrTwoArgumentsLoadNothing)
{
    const std::string name = files.File("take.vsq");
    const std::string gone = files.File("gone.vsq");
    testfiles::WriteBytes(name, {0, 0, 0, 0, 0x90, 60, 100});
    for (const std::vector<std::string> &arguments : {std::vector<std::string>{gone}, std::vector<std::string>{name, name}}) {
        Start(arguments);
        EXPECT_EQ(Probe(*form).RecordingStream().Size(), 0u);
        // A file named that is not there is told, as a failed open is.
        const bool missing = arguments.size() == 1;
        ASSERT_EQ(messages.size(), missing ? 1u : 0u);
        if (missing) {
            EXPECT_EQ(messages[0].text.toStdString(), "Datei " + gone + " kann nicht geöffnet werden.");
        }
        messages.clear();
    }
}

} // namespace

namespace {

// The command line opens each kind of file as "Öffnen..." does, and names
// the file by its own bytes, also where they are no valid UTF-8.
TEST_F(CommandLine, OpensEachKindAsTheOpenCommandDoes)
{
    const Bytes native{0, 0, 0, 0, 0x90, 60, 100, 2, 0, 0, 0, 0x80, 60, 0};
    recorder::RecordingStream song;
    song.Write(native.data(), native.size());
    const struct {
        const char *name;
        std::vector<std::uint8_t> content;
    } cases[] = {
        {"take.vsq", native},
        {"tones.vnx", {'4', '4', '0', '\n', '5', '0', '0', '\n', '6', '5', '5', '3', '5', '\n'}},
        {"song.mid", files::MidiFileBytes(song)},
        {"m\xe4rz.vsq", native},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = files.File(c.name);
        testfiles::WriteBytes(name, c.content);
        recorder::RecordingStream opened;
        files::OpenRecording(name, opened);
        Start({name});
        SettleSaves();
        EXPECT_EQ(Probe(*form).RecordingStream().Bytes(), opened.Bytes());
        EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
        messages.clear();
    }
}

TEST_F(CommandLine, AFileNamedInLatin1IsToldByItsName)
{
    const std::string name = files.File("m\xe4rz.vsq");
    testfiles::WriteBytes(name, {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 10});
    Start({name});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Datei %1/märz.vsq ist keine gültige Aufnahme.")
                                    .arg(QString::fromStdString(files.Path().string())));
}

} // namespace
