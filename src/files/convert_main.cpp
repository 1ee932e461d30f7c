// midi-sonoret-convert INPUT OUTPUT: converts a recording file without the
// window, with the same extension keys and file code as the open and save
// commands.

#include "common/AtomicFileWriter.h"
#include "common/Language.h"
#include "common/Messages.h"
#include "files/RecordingFiles.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <exception>
#include <new>

int main(int argc, char **argv)
{
    // The application object only carries the catalogues: the messages speak
    // the language the program's window would.
    QCoreApplication application(argc, argv);
    common::InstallChosenLanguage();
    const auto print = [](const QString &text) { std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData()); };
    if (argc != 3) {
        print(QCoreApplication::translate("Converter", "Aufruf: midi-sonoret-convert EINGABE AUSGABE\n"
                                                       "Liest EINGABE (.vsq Aufnahme, .vnx Sound-Textdatei) und "
                                                       "schreibt AUSGABE (.vsq Aufnahme, .mid MIDI-Datei)."));
        return 1;
    }
    // Stopped by a signal, the converter leaves no hidden unfinished file
    // beside the output. Past a file size limit a write fails and is
    // reported like a full disk, instead of the signal ending the process.
    common::AtomicFileWriter::RemoveUnfinishedFilesOnStopSignals();
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        recorder::RecordingStream recording;
        files::OpenRecording(argv[1], recording);
        files::SaveRecording(argv[2], recording);
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "%s\n", common::OutOfMemoryText); // no memory for a translation
        return 1;
    } catch (const std::exception &error) {
        print(common::TranslatedMessage(error.what()));
        return 1;
    }
    return 0;
}
