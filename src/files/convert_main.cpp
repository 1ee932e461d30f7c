// midi-sonoret-convert INPUT OUTPUT: converts a recording file without the
// window, with the same extension keys and file code as the open and save
// commands.

#include "files/RecordingFiles.h"

#include <cstdio>
#include <exception>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fputs("Aufruf: midi-sonoret-convert EINGABE AUSGABE\n"
                   "Liest EINGABE (.vsq Aufnahme, .vnx Sound-Textdatei) und schreibt "
                   "AUSGABE (.vsq Aufnahme, .mid MIDI-Datei).\n",
                   stderr);
        return 1;
    }
    try {
        recorder::RecordingStream recording;
        files::OpenRecording(argv[1], recording);
        files::SaveRecording(argv[2], recording);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
