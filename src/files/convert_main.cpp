// midi-sonoret-convert [--] INPUT OUTPUT: converts a recording file without
// the window, with the same extension keys and file code as the open and save
// commands. The names are used as the bytes they are, whatever their coding.

#include "common/AtomicFileWriter.h"
#include "common/CommandLine.h"
#include "common/Version.h"
#include "common/Language.h"
#include "common/Messages.h"
#include "files/RecordingFiles.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    // "--" ends the options, so that names beginning with "-" can follow.
    const common::CommandLineParse parse = common::ParseCommandLine({argv + 1, argv + argc});
    const std::vector<std::string> &names = parse.files;
    // The application object only carries the catalogues: the messages speak
    // the language the program's window would. It sees no argument, so that
    // none is taken as an option of its own.
    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    common::InstallChosenLanguage();
    const auto printTo = [](std::FILE *stream, const QString &text) {
        std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    };
    const auto print = [&](const QString &text) { printTo(stderr, text); };
    const QString usage = QCoreApplication::translate("Converter", "Aufruf: midi-sonoret-convert [--] EINGABE AUSGABE\n"
                                                                   "       midi-sonoret-convert --help | --version\n"
                                                                   "Liest EINGABE (.vsq Aufnahme, .vnx Sound-Textdatei, .mid MIDI-Datei) und "
                                                                   "schreibt AUSGABE (.vsq Aufnahme, .mid MIDI-Datei, .wav/.flac/.ogg Klang des "
                                                                   "eingebauten Synthesizers).");
    switch (parse.action) {
    case common::CommandLineAction::Help:
        printTo(stdout, usage);
        return 0;
    case common::CommandLineAction::Version:
        printTo(stdout, QStringLiteral("midi-sonoret-convert %1").arg(QString::fromLatin1(common::ProgramVersion)));
        return 0;
    case common::CommandLineAction::UnknownOption:
        print(QCoreApplication::translate("CommandLine", "%1: unbekannte Option %2\nMehr mit --help.")
                  .arg(QStringLiteral("midi-sonoret-convert"), QString::fromLocal8Bit(parse.option.c_str())));
        return 2;
    case common::CommandLineAction::Run:
        break;
    }
    if (names.size() != 2) {
        print(usage);
        return 1;
    }
    // Stopped by a signal, the converter leaves no hidden unfinished file
    // beside the output. Past a file size limit a write fails and is
    // reported like a full disk, instead of the signal ending the process.
    common::AtomicFileWriter::RemoveUnfinishedFilesOnStopSignals();
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        recorder::RecordingStream recording;
        const std::vector<std::string> missed = files::OpenRecording(names[0], recording);
        files::SaveRecording(names[1], recording);
        for (const std::string &text : missed)
            print(common::TranslatedMessage(text));
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "%s\n", common::OutOfMemoryText); // no memory for a translation
        return 1;
    } catch (const std::exception &error) {
        print(common::TranslatedMessage(error.what()));
        return 1;
    }
    return 0;
}
