#include "app/ErrorHandler.h"
#include "app/ProgramIcon.h"
#include "common/SettingsFile.h"
#include "app/UMain.h"
#include "common/AtomicFileWriter.h"
#include "common/CommandLine.h"
#include "common/Guard.h"
#include "common/Language.h"
#include "common/StopSignals.h"
#include "common/Version.h"
#include "midi_out/SystemBackend.h"
#include "app/UTast.h"

#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

// The executable's path as the bytes the system knows it by: Qt's own is
// text, and loses a folder whose name is not valid in the locale's coding.
std::string ExecutablePath()
{
    std::string path(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length > 0 && static_cast<std::size_t>(length) < path.size()) {
        path.resize(static_cast<std::size_t>(length));
        if (!path.ends_with(" (deleted)"))
            return path;
    }
    return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
}

// Qt's own options, which its application object takes out of the command
// line: known before it is made, so that a wrong option is told also where
// there is no display to make it on.
enum class QtValue { None, Next, NextOrJoined }; // "-style NAME" or "-style=NAME"
struct QtOption {
    std::string_view name;
    QtValue value;
};
constexpr QtOption QtOptions[] = {
    {"platform", QtValue::Next},      {"platformpluginpath", QtValue::Next}, {"platformtheme", QtValue::Next},
    {"plugin", QtValue::Next},        {"qwindowgeometry", QtValue::Next},    {"geometry", QtValue::Next},
    {"qwindowtitle", QtValue::Next},  {"title", QtValue::Next},              {"qwindowicon", QtValue::Next},
    {"icon", QtValue::Next},          {"display", QtValue::Next},            {"name", QtValue::Next},
    {"visual", QtValue::Next},        {"session", QtValue::Next},            {"style", QtValue::NextOrJoined},
    {"stylesheet", QtValue::NextOrJoined}, {"qmljsdebugger", QtValue::NextOrJoined},
    {"reverse", QtValue::None},       {"testability", QtValue::None},        {"widgetcount", QtValue::None},
    {"qdevel", QtValue::None},        {"qdebug", QtValue::None},             {"nograb", QtValue::None},
    {"dograb", QtValue::None},        {"sync", QtValue::None},
};

struct ProgramArguments {
    std::vector<std::string> files; // the bytes as given
    std::string unknown;            // the first option neither Qt's nor ours
};

// Before "--": Qt's options with their values, file names, and anything else
// beginning with "-" an unknown option (ours are answered before); after
// it: file names only.
ProgramArguments ReadArguments(int argc, char **argv)
{
    ProgramArguments read;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") {
            read.files.insert(read.files.end(), argv + i + 1, argv + argc);
            break;
        }
        if (argument.size() < 2 || argument.front() != '-') {
            read.files.emplace_back(argument);
            continue;
        }
        const std::string_view spelled = argument.substr(argument.starts_with("--") ? 2 : 1);
        const std::size_t equals = spelled.find('=');
        const std::string_view name = spelled.substr(0, equals);
        const auto option = std::find_if(std::begin(QtOptions), std::end(QtOptions),
                                         [name](const QtOption &known) { return known.name == name; });
        const bool joined = equals != std::string_view::npos;
        if (option == std::end(QtOptions) || (joined && option->value != QtValue::NextOrJoined)) {
            if (read.unknown.empty())
                read.unknown = argument;
        } else if (option->value != QtValue::None && !joined && i + 1 < argc && std::string_view(argv[i + 1]) != "--") {
            ++i;
        }
    }
    return read;
}

constexpr char Usage[] = QT_TRANSLATE_NOOP(
    "CommandLine",
    "Aufruf: midi-sonoret [Optionen] [--] [DATEI]\n"
    "Eine MIDI-Tastatur für Maus und PC-Tastatur. DATEI (.vsq Aufnahme, .mid MIDI-Datei) wird beim Start geöffnet.\n"
    "\n"
    "  -h, --help     zeigt diese Hilfe\n"
    "  -v, --version  zeigt die Version\n"
    "  --             was folgt, ist ein Dateiname, auch wenn er mit - beginnt\n"
    "\n"
    "Dazu die Optionen von Qt, etwa -platform NAME oder -style NAME.");
constexpr char UnknownOption[] = QT_TRANSLATE_NOOP("CommandLine", "%1: unbekannte Option %2\nMehr mit --help.");

// --help and --version answer, and a wrong option is told, without a
// window, so also where there is no display; in the language the window
// would speak.
int Answer(common::CommandLineAction action, const std::string &unknown, char **argv)
{
    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    common::InstallChosenLanguage();
    if (action == common::CommandLineAction::UnknownOption) {
        std::fprintf(stderr, "%s\n",
                     QCoreApplication::translate("CommandLine", UnknownOption)
                         .arg(QStringLiteral("midi-sonoret"), QString::fromLocal8Bit(unknown))
                         .toLocal8Bit()
                         .constData());
        return 2;
    }
    const QString text = action == common::CommandLineAction::Help
                             ? QCoreApplication::translate("CommandLine", Usage)
                             : QStringLiteral("midi-sonoret %1").arg(QString::fromLatin1(common::ProgramVersion));
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (const auto action = common::ParseCommandLine({argv + 1, argv + argc}).action;
        action == common::CommandLineAction::Help || action == common::CommandLineAction::Version)
        return Answer(action, {}, argv);
    const ProgramArguments arguments = ReadArguments(argc, argv);
    if (!arguments.unknown.empty())
        return Answer(common::CommandLineAction::UnknownOption, arguments.unknown, argv);

    // Ctrl+C, a logout or kill end the program as its close does; a second
    // one ends it at once, leaving no hidden half-written file.
    const int stopSignals = common::CatchStopSignals();

    // "--" ends the options: what follows are file names, also those that
    // look like Qt's own options ("-reverse"), and Qt does not see them.
    const auto optionsEnd = std::find_if(argv + 1, argv + argc, [](const char *argument) {
        return std::string_view(argument) == "--";
    });
    int qtArgc = static_cast<int>(optionsEnd - argv);
    std::vector<char *> qtArgv(argv, optionsEnd);
    qtArgv.push_back(nullptr);
    app::SonoretApplication application(qtArgc, qtArgv.data());
    application.setDesktopFileName(QStringLiteral("midi-sonoret"));

    // A copy left by a save cut short is reported once the window runs.
    common::AtomicFileWriter::SetNoticeHandler([](const std::string &text) {
        const QString message = QFile::decodeName(QByteArray::fromStdString(text));
        QMetaObject::invokeMethod(
            qApp,
            [message] {
                common::RunGuarded([&] {
                    app::ErrorHandler::Present({QString::fromUtf8(app::kApplicationTitle), message,
                                                app::MessageIcon::Warning, nullptr});
                });
            },
            Qt::QueuedConnection);
    });

    std::unique_ptr<app::TForm1> form;
    std::unique_ptr<app::TForm2> assignment;
    // Watched before anything may ask the user: a stop that comes while a
    // box waits during the start ends the box's loop, and the program then
    // ends where it stands instead of running the main loop, which would
    // start anew as if no stop had come.
    bool stopped = false;
    std::unique_ptr<QSocketNotifier> stops;
    if (stopSignals >= 0) {
        stops = std::make_unique<QSocketNotifier>(stopSignals, QSocketNotifier::Read);
        QObject::connect(stops.get(), &QSocketNotifier::activated, &application, [&]() noexcept {
            stops->setEnabled(false);
            stopped = true;
            common::RunGuarded([&] {
                if (form)
                    form->EndBySignal();
                else
                    QCoreApplication::exit(0);
            });
        });
    }
    const bool created = common::RunGuarded([&] {
        // The window maps without waiting for the device's connection.
        form = std::make_unique<app::TForm1>(
            midi_out::CreateSystemBackend(),
            common::SettingsFile::LocationFor(ExecutablePath()),
            arguments.files, nullptr, app::TForm1::DeviceStart::FromEventLoop);
        assignment = std::make_unique<app::TForm2>(*form);
        form->SetKeyAssignmentWindow(assignment.get());
    });
    if (!created || form->ShouldTerminate())
        return created ? 0 : 1;
    if (stopped) {
        common::RunGuarded([&] { form->EndBySignal(); });
        return 0;
    }

    // Showing it may ask already (a file named that cannot be opened).
    form->show();
    if (stopped)
        return 0;
    // The icon is drawn for every size the desktop may show; the window need
    // not wait for it.
    QTimer::singleShot(0, &application, [] { common::RunGuarded([] { qApp->setWindowIcon(app::ProgramIcon()); }); });
    return application.exec();
}
