<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>Accessibility</name>
    <message>
        <source>PC-Taste %1</source>
        <translation>PC key %1</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Aufruf: midi-sonoret [Optionen] [--] [DATEI]
Eine MIDI-Tastatur für Maus und PC-Tastatur. DATEI (.vsq Aufnahme, .mid MIDI-Datei) wird beim Start geöffnet.

  -h, --help     zeigt diese Hilfe
  -v, --version  zeigt die Version
  --             was folgt, ist ein Dateiname, auch wenn er mit - beginnt

Dazu die Optionen von Qt, etwa -platform NAME oder -style NAME.</source>
        <translation>Usage: midi-sonoret [options] [--] [FILE]
A MIDI keyboard for the mouse and the PC keyboard. FILE (.vsq recording, .mid MIDI file) is opened at start.

  -h, --help     shows this help
  -v, --version  shows the version
  --             what follows is a file name, also when it begins with -

Also Qt&apos;s options, such as -platform NAME or -style NAME.</translation>
    </message>
    <message>
        <source>%1: unbekannte Option %2
Mehr mit --help.</source>
        <translation>%1: unknown option %2
See --help.</translation>
    </message>
</context>
<context>
    <name>Converter</name>
    <message>
        <source>Aufruf: midi-sonoret-convert [--] EINGABE AUSGABE
       midi-sonoret-convert --help | --version
Liest EINGABE (.vsq Aufnahme, .vnx Sound-Textdatei, .mid MIDI-Datei) und schreibt AUSGABE (.vsq Aufnahme, .mid MIDI-Datei, .wav/.flac/.ogg Klang des eingebauten Synthesizers).</source>
        <translation>Usage: midi-sonoret-convert [--] INPUT OUTPUT
       midi-sonoret-convert --help | --version
Reads INPUT (.vsq recording, .vnx sound text file, .mid MIDI file) and writes OUTPUT (.vsq recording, .mid MIDI file, .wav/.flac/.ogg sound of the built-in synthesizer).</translation>
    </message>
</context>
<context>
    <name>ErrorHandler</name>
    <message>
        <source>Ein unbekannter Fehler ist aufgetreten</source>
        <translation>An unknown error has occurred</translation>
    </message>
</context>
<context>
    <name>HelpPage</name>
    <message>
        <source>Die Hilfeseite kann nicht geöffnet werden: %1</source>
        <translation>The help page cannot be opened: %1</translation>
    </message>
</context>
<context>
    <name>Instruments</name>
    <message>
        <source>Konzertflügel</source>
        <translation>Acoustic Grand Piano</translation>
    </message>
    <message>
        <source>Sonoret</source>
        <translation>Bright Acoustic Piano</translation>
    </message>
    <message>
        <source>Elektrischer Flügel</source>
        <translation>Electric Grand Piano</translation>
    </message>
    <message>
        <source>Honky-Tonk-Piano</source>
        <translation>Honky-tonk Piano</translation>
    </message>
    <message>
        <source>Fender-Rhodes-Piano</source>
        <translation>Electric Piano 1</translation>
    </message>
    <message>
        <source>Chorused Piano</source>
        <translation>Electric Piano 2</translation>
    </message>
    <message>
        <source>Cembalo</source>
        <translation>Harpsichord</translation>
    </message>
    <message>
        <source>Hohner Clavinet D6</source>
        <translation>Clavi</translation>
    </message>
    <message>
        <source>Celesta</source>
        <translation>Celesta</translation>
    </message>
    <message>
        <source>Glockenspiel</source>
        <translation>Glockenspiel</translation>
    </message>
    <message>
        <source>Spieldose</source>
        <translation>Music Box</translation>
    </message>
    <message>
        <source>Vibraphon</source>
        <translation>Vibraphone</translation>
    </message>
    <message>
        <source>Marimbaphon</source>
        <translation>Marimba</translation>
    </message>
    <message>
        <source>Xylophon</source>
        <translation>Xylophone</translation>
    </message>
    <message>
        <source>Röhrenglocken</source>
        <translation>Tubular Bells</translation>
    </message>
    <message>
        <source>Dulcimer</source>
        <translation>Dulcimer</translation>
    </message>
    <message>
        <source>Hammond-Orgel</source>
        <translation>Drawbar Organ</translation>
    </message>
    <message>
        <source>Perkussive Orgel</source>
        <translation>Percussive Organ</translation>
    </message>
    <message>
        <source>Rockorgel</source>
        <translation>Rock Organ</translation>
    </message>
    <message>
        <source>Kirchenorgel</source>
        <translation>Church Organ</translation>
    </message>
    <message>
        <source>Zungenorgel</source>
        <translation>Reed Organ</translation>
    </message>
    <message>
        <source>Akkordeon</source>
        <translation>Accordion</translation>
    </message>
    <message>
        <source>Harmonika</source>
        <translation>Harmonica</translation>
    </message>
    <message>
        <source>Tango-Akkordeon</source>
        <translation>Tango Accordion</translation>
    </message>
    <message>
        <source>Akustische Gitarre mit Nylonsaiten</source>
        <translation>Acoustic Guitar (nylon)</translation>
    </message>
    <message>
        <source>Akustische Gitarre mit Stahlsaiten</source>
        <translation>Acoustic Guitar (steel)</translation>
    </message>
    <message>
        <source>Jazz-Gitarre</source>
        <translation>Electric Guitar (jazz)</translation>
    </message>
    <message>
        <source>E-Gitarre unverzerrt</source>
        <translation>Electric Guitar (clean)</translation>
    </message>
    <message>
        <source>E-Gitarre gedämpft</source>
        <translation>Electric Guitar (muted)</translation>
    </message>
    <message>
        <source>E-Gitarre übersteuert</source>
        <translation>Overdriven Guitar</translation>
    </message>
    <message>
        <source>Distorsion-Gitarre</source>
        <translation>Distortion Guitar</translation>
    </message>
    <message>
        <source>Gitarren-Akkorde</source>
        <translation>Guitar Harmonics</translation>
    </message>
    <message>
        <source>Akustischer Bass gezupft</source>
        <translation>Acoustic Bass</translation>
    </message>
    <message>
        <source>E-Bass gezupft</source>
        <translation>Electric Bass (finger)</translation>
    </message>
    <message>
        <source>E-Bass Plektrum</source>
        <translation>Electric Bass (pick)</translation>
    </message>
    <message>
        <source>Bundloser Bass</source>
        <translation>Fretless Bass</translation>
    </message>
    <message>
        <source>Schlagbass 1</source>
        <translation>Slap Bass 1</translation>
    </message>
    <message>
        <source>Schlagbass 2</source>
        <translation>Slap Bass 2</translation>
    </message>
    <message>
        <source>Synthesizer Bass 1</source>
        <translation>Synth Bass 1</translation>
    </message>
    <message>
        <source>Synthesizer Bass 2</source>
        <translation>Synth Bass 2</translation>
    </message>
    <message>
        <source>Violine</source>
        <translation>Violin</translation>
    </message>
    <message>
        <source>Viola</source>
        <translation>Viola</translation>
    </message>
    <message>
        <source>Violoncello</source>
        <translation>Cello</translation>
    </message>
    <message>
        <source>Kontrabass</source>
        <translation>Contrabass</translation>
    </message>
    <message>
        <source>Streicher Tremolo</source>
        <translation>Tremolo Strings</translation>
    </message>
    <message>
        <source>Streicher Pizzicato</source>
        <translation>Pizzicato Strings</translation>
    </message>
    <message>
        <source>Orchester-Harfe</source>
        <translation>Orchestral Harp</translation>
    </message>
    <message>
        <source>Pauken</source>
        <translation>Timpani</translation>
    </message>
    <message>
        <source>Streicher 1</source>
        <translation>String Ensemble 1</translation>
    </message>
    <message>
        <source>Streicher 2</source>
        <translation>String Ensemble 2</translation>
    </message>
    <message>
        <source>Synthesizer-Streicher 1</source>
        <translation>SynthStrings 1</translation>
    </message>
    <message>
        <source>Synthesizer-Streicher 2</source>
        <translation>SynthStrings 2</translation>
    </message>
    <message>
        <source>Chor &quot;Aaaaah&quot;</source>
        <translation>Choir Aahs</translation>
    </message>
    <message>
        <source>Stimme &quot;Ooooh&quot;</source>
        <translation>Voice Oohs</translation>
    </message>
    <message>
        <source>Synthesizer-Stimme</source>
        <translation>Synth Voice</translation>
    </message>
    <message>
        <source>Orchester-Schlag</source>
        <translation>Orchestra Hit</translation>
    </message>
    <message>
        <source>Trompete</source>
        <translation>Trumpet</translation>
    </message>
    <message>
        <source>Posaune</source>
        <translation>Trombone</translation>
    </message>
    <message>
        <source>Tuba</source>
        <translation>Tuba</translation>
    </message>
    <message>
        <source>Gedämpfte Trompete</source>
        <translation>Muted Trumpet</translation>
    </message>
    <message>
        <source>Französiches Horn</source>
        <translation>French Horn</translation>
    </message>
    <message>
        <source>Blaskapelle</source>
        <translation>Brass Section</translation>
    </message>
    <message>
        <source>Synthesizer-Bläser 1</source>
        <translation>SynthBrass 1</translation>
    </message>
    <message>
        <source>Synthesizer-Bläser 2</source>
        <translation>SynthBrass 2</translation>
    </message>
    <message>
        <source>Sopran-Saxophon</source>
        <translation>Soprano Sax</translation>
    </message>
    <message>
        <source>Alt-Saxophon</source>
        <translation>Alto Sax</translation>
    </message>
    <message>
        <source>Tenor-Saxophon</source>
        <translation>Tenor Sax</translation>
    </message>
    <message>
        <source>Bariton-Saxophon</source>
        <translation>Baritone Sax</translation>
    </message>
    <message>
        <source>Oboe</source>
        <translation>Oboe</translation>
    </message>
    <message>
        <source>Englischhorn</source>
        <translation>English Horn</translation>
    </message>
    <message>
        <source>Fagott</source>
        <translation>Bassoon</translation>
    </message>
    <message>
        <source>Klarinette</source>
        <translation>Clarinet</translation>
    </message>
    <message>
        <source>Piccoloflöte</source>
        <translation>Piccolo</translation>
    </message>
    <message>
        <source>Flöte</source>
        <translation>Flute</translation>
    </message>
    <message>
        <source>Blockflöte</source>
        <translation>Recorder</translation>
    </message>
    <message>
        <source>Panflöte</source>
        <translation>Pan Flute</translation>
    </message>
    <message>
        <source>Flasche blasen</source>
        <translation>Blown Bottle</translation>
    </message>
    <message>
        <source>Shakuhaci</source>
        <translation>Shakuhachi</translation>
    </message>
    <message>
        <source>Pfeifen</source>
        <translation>Whistle</translation>
    </message>
    <message>
        <source>Okarina</source>
        <translation>Ocarina</translation>
    </message>
    <message>
        <source>Reckteck-Lead</source>
        <translation>Lead 1 (square)</translation>
    </message>
    <message>
        <source>Sägezahn-Lead</source>
        <translation>Lead 2 (sawtooth)</translation>
    </message>
    <message>
        <source>Calliope-Lead</source>
        <translation>Lead 3 (calliope)</translation>
    </message>
    <message>
        <source>Chiff-Lead</source>
        <translation>Lead 4 (chiff)</translation>
    </message>
    <message>
        <source>Charang-Lead</source>
        <translation>Lead 5 (charang)</translation>
    </message>
    <message>
        <source>Stimmen-Lead</source>
        <translation>Lead 6 (voice)</translation>
    </message>
    <message>
        <source>Fünfter Lead</source>
        <translation>Lead 7 (fifths)</translation>
    </message>
    <message>
        <source>Bass-Lead</source>
        <translation>Lead 8 (bass + lead)</translation>
    </message>
    <message>
        <source>Pad &quot;New Age&quot;</source>
        <translation>Pad 1 (new age)</translation>
    </message>
    <message>
        <source>Warmer Pad</source>
        <translation>Pad 2 (warm)</translation>
    </message>
    <message>
        <source>Polysynthesizer-Pad</source>
        <translation>Pad 3 (polysynth)</translation>
    </message>
    <message>
        <source>Chor-Pad</source>
        <translation>Pad 4 (choir)</translation>
    </message>
    <message>
        <source>bowed Pad</source>
        <translation>Pad 5 (bowed)</translation>
    </message>
    <message>
        <source>Metallic-Pad</source>
        <translation>Pad 6 (metallic)</translation>
    </message>
    <message>
        <source>Halo-Pad</source>
        <translation>Pad 7 (halo)</translation>
    </message>
    <message>
        <source>Sweep-Pad</source>
        <translation>Pad 8 (sweep)</translation>
    </message>
    <message>
        <source>Regen</source>
        <translation>FX 1 (rain)</translation>
    </message>
    <message>
        <source>Soundtrack</source>
        <translation>FX 2 (soundtrack)</translation>
    </message>
    <message>
        <source>Kristall</source>
        <translation>FX 3 (crystal)</translation>
    </message>
    <message>
        <source>Atmosphäre</source>
        <translation>FX 4 (atmosphere)</translation>
    </message>
    <message>
        <source>Helligkeit</source>
        <translation>FX 5 (brightness)</translation>
    </message>
    <message>
        <source>Goblins</source>
        <translation>FX 6 (goblins)</translation>
    </message>
    <message>
        <source>Echos</source>
        <translation>FX 7 (echoes)</translation>
    </message>
    <message>
        <source>Science-Fiction</source>
        <translation>FX 8 (sci-fi)</translation>
    </message>
    <message>
        <source>Sitar</source>
        <translation>Sitar</translation>
    </message>
    <message>
        <source>Banjo</source>
        <translation>Banjo</translation>
    </message>
    <message>
        <source>Shamisen</source>
        <translation>Shamisen</translation>
    </message>
    <message>
        <source>Koto</source>
        <translation>Koto</translation>
    </message>
    <message>
        <source>Kalimba</source>
        <translation>Kalimba</translation>
    </message>
    <message>
        <source>Dudelsack</source>
        <translation>Bag Pipe</translation>
    </message>
    <message>
        <source>Western-Fidel</source>
        <translation>Fiddle</translation>
    </message>
    <message>
        <source>Shanai</source>
        <translation>Shanai</translation>
    </message>
    <message>
        <source>Tinkle Bell</source>
        <translation>Tinkle Bell</translation>
    </message>
    <message>
        <source>Agogo</source>
        <translation>Agogo</translation>
    </message>
    <message>
        <source>Stahltrommeln</source>
        <translation>Steel Drums</translation>
    </message>
    <message>
        <source>Klanghölzer oder Holzblocktrommeln</source>
        <translation>Woodblock</translation>
    </message>
    <message>
        <source>Taiko-Trommel</source>
        <translation>Taiko Drum</translation>
    </message>
    <message>
        <source>Melodischer Tom</source>
        <translation>Melodic Tom</translation>
    </message>
    <message>
        <source>Synthesizer-Trommel</source>
        <translation>Synth Drum</translation>
    </message>
    <message>
        <source>Umgekehrtes Hi-Hat</source>
        <translation>Reverse Cymbal</translation>
    </message>
    <message>
        <source>Geräusch des Gitarrenbundes</source>
        <translation>Guitar Fret Noise</translation>
    </message>
    <message>
        <source>Atemgeräusch</source>
        <translation>Breath Noise</translation>
    </message>
    <message>
        <source>Brandung an der Küste</source>
        <translation>Seashore</translation>
    </message>
    <message>
        <source>Vogelstimme</source>
        <translation>Bird Tweet</translation>
    </message>
    <message>
        <source>Telefon</source>
        <translation>Telephone Ring</translation>
    </message>
    <message>
        <source>Hubschrauber</source>
        <translation>Helicopter</translation>
    </message>
    <message>
        <source>Applaus</source>
        <translation>Applause</translation>
    </message>
    <message>
        <source>Gewehr</source>
        <translation>Gunshot</translation>
    </message>
</context>
<context>
    <name>LeftTake</name>
    <message>
        <source>Eine nicht gespeicherte Aufnahme vom %1 (%2) wurde gefunden.</source>
        <translation>An unsaved recording from %1 (%2) was found.</translation>
    </message>
    <message>
        <source>Wiederherstellen</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Speichern unter...</source>
        <translation>Save As...</translation>
    </message>
    <message>
        <source>Verwerfen</source>
        <translation>Discard</translation>
    </message>
    <message>
        <source>Eine nicht gespeicherte Aufnahme war beschädigt und wurde als %1 aufbewahrt.</source>
        <translation>An unsaved recording was damaged and has been kept as %1.</translation>
    </message>
    <message>
        <source>Die Sicherungsdatei der Aufnahme %1 kann nicht geschrieben werden. Die Aufnahme geht im Speicher weiter.</source>
        <translation>The recording&apos;s backup file %1 cannot be written. Recording goes on in memory.</translation>
    </message>
    <message>
        <source>Die Sicherungsdatei der Aufnahme %1 kann nicht gelöscht werden. Sie wird beim nächsten Start wieder angeboten.</source>
        <translation>The recording&apos;s backup file %1 cannot be deleted. It will be offered again at the next start.</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>Stream-Lesefehler</source>
        <translation>Stream read error</translation>
    </message>
    <message>
        <source>Stream-Schreibfehler</source>
        <translation>Stream write error</translation>
    </message>
    <message>
        <source>Ungültige Stream-Position</source>
        <translation>Invalid stream position</translation>
    </message>
    <message>
        <source>Datei %1 kann nicht erstellt werden</source>
        <translation>Cannot create file %1</translation>
    </message>
    <message>
        <source>Datei %1 kann nicht geöffnet werden</source>
        <translation>Cannot open file %1</translation>
    </message>
    <message>
        <source>Datei %1 ist keine gültige Aufnahme.</source>
        <translation>File %1 is not a valid recording.</translation>
    </message>
    <message>
        <source>Das Dateiformat %1 wird nicht unterstützt.</source>
        <translation>The file format %1 is not supported.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; ist kein gültiger Integerwert</source>
        <translation>&apos;%1&apos; is not a valid integer value</translation>
    </message>
    <message>
        <source>Ungültige Gleitkommaoperation</source>
        <translation>Invalid floating point operation</translation>
    </message>
    <message>
        <source>In %1 kann nicht geschrieben werden</source>
        <translation>Cannot write to %1</translation>
    </message>
    <message>
        <source>Ungültiger Eintrag für die Einstellungsdatei: %1</source>
        <translation>Invalid entry for the settings file: %1</translation>
    </message>
    <message>
        <source>Das Benachrichtigungsfenster des MIDI-Geräts kann nicht erstellt werden</source>
        <translation>The MIDI device&apos;s notification window cannot be created</translation>
    </message>
    <message>
        <source>Nicht genügend Arbeitsspeicher vorhanden</source>
        <translation>Not enough memory available</translation>
    </message>
    <message>
        <source>Datei %1 ist keine gültige MIDI-Datei.</source>
        <translation>File %1 is not a valid MIDI file.</translation>
    </message>
    <message>
        <source>Datei %1 ist eine MIDI-Datei im Format 2, die nicht geöffnet werden kann.</source>
        <translation>File %1 is a format 2 MIDI file, which cannot be opened.</translation>
    </message>
    <message>
        <source>Datei %1 endet mitten in einer Spur; gelesen wurde bis dorthin.</source>
        <translation>File %1 ends in the middle of a track; it was read up to there.</translation>
    </message>
    <message numerus="yes">
        <source>%n System-Exclusive-Meldungen wurden übergangen.</source>
        <translation>
            <numerusform>%n System Exclusive message was skipped.</numerusform>
            <numerusform>%n System Exclusive messages were skipped.</numerusform>
        </translation>
    </message>
    <message>
        <source>Der eingebaute Synthesizer hat keine Audioausgabe gefunden</source>
        <translation>The built-in synthesizer found no audio output</translation>
    </message>
    <message>
        <source>Für den eingebauten Synthesizer ist keine SoundFont installiert.</source>
        <translation>No SoundFont is installed for the built-in synthesizer.</translation>
    </message>
</context>
<context>
    <name>NoteName</name>
    <message>
        <source>C</source>
        <translation>C</translation>
    </message>
    <message>
        <source>Cis</source>
        <translation>C♯</translation>
    </message>
    <message>
        <source>D</source>
        <translation>D</translation>
    </message>
    <message>
        <source>Dis</source>
        <translation>D♯</translation>
    </message>
    <message>
        <source>E</source>
        <translation>E</translation>
    </message>
    <message>
        <source>F</source>
        <translation>F</translation>
    </message>
    <message>
        <source>Fis</source>
        <translation>F♯</translation>
    </message>
    <message>
        <source>G</source>
        <translation>G</translation>
    </message>
    <message>
        <source>Gis</source>
        <translation>G♯</translation>
    </message>
    <message>
        <source>A</source>
        <translation>A</translation>
    </message>
    <message>
        <source>Ais</source>
        <translation>A♯</translation>
    </message>
    <message>
        <source>H</source>
        <translation>B</translation>
    </message>
</context>
<context>
    <name>RecordingDialogs</name>
    <message>
        <source>Varno MIDI Sonoret-Datei (*.vsq)</source>
        <translation>Varno MIDI Sonoret file (*.vsq)</translation>
    </message>
    <message>
        <source>Varno Sound Textdatei (*.vnx)</source>
        <translation>Varno sound text file (*.vnx)</translation>
    </message>
    <message>
        <source>MIDI-Datei (*.mid)</source>
        <translation>MIDI file (*.mid)</translation>
    </message>
    <message>
        <source>Alle unterstützten Dateien (*.vsq; *.vnx; *.mid; *.midi; *.smf)</source>
        <translation>All supported files (*.vsq; *.vnx; *.mid; *.midi; *.smf)</translation>
    </message>
    <message>
        <source>MIDI-Datei (*.mid *.midi)</source>
        <translation>MIDI file (*.mid *.midi)</translation>
    </message>
    <message>
        <source>WAV-Audio (*.wav)</source>
        <translation>WAV audio (*.wav)</translation>
    </message>
    <message>
        <source>FLAC-Audio (*.flac)</source>
        <translation>FLAC audio (*.flac)</translation>
    </message>
    <message>
        <source>Ogg-Vorbis-Audio (*.ogg)</source>
        <translation>Ogg Vorbis audio (*.ogg)</translation>
    </message>
</context>
<context>
    <name>UnsavedTake</name>
    <message>
        <source>Die Aufnahme wurde nicht gespeichert. Jetzt speichern?</source>
        <translation>The recording has not been saved. Save it now?</translation>
    </message>
    <message>
        <source>Speichern...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>Verwerfen</source>
        <translation>Discard</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>app::AudioSaveProgress</name>
    <message>
        <source>Speichern</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>%1 wird als Klang gespeichert ...</source>
        <translation>Saving %1 as sound ...</translation>
    </message>
    <message>
        <source>Fortschritt des Speicherns als Klang</source>
        <translation>Progress of saving as sound</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>app::DeviceMenu</name>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>FluidSynth (eingebaut)</source>
        <translation>FluidSynth (built-in)</translation>
    </message>
</context>
<context>
    <name>app::InstrumentMenu</name>
    <message>
        <source>Instrument</source>
        <translation>Instrument</translation>
    </message>
</context>
<context>
    <name>app::MainMenu</name>
    <message>
        <source>&amp;Programm</source>
        <translation>&amp;Program</translation>
    </message>
    <message>
        <source>&amp;Beenden</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>&amp;Aufnahme</source>
        <translation>&amp;Recording</translation>
    </message>
    <message>
        <source>Ö&amp;ffnen...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>&amp;Speichern...</source>
        <translation>&amp;Save...</translation>
    </message>
    <message>
        <source>&amp;Synthesizer</source>
        <translation>&amp;Synthesizer</translation>
    </message>
    <message>
        <source>Tastatur einstellen...</source>
        <translation>Assign Keys...</translation>
    </message>
    <message>
        <source>&amp;Hilfe</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>Info...</source>
        <translation>About...</translation>
    </message>
    <message>
        <source>&amp;Quenlo&apos;s Homepage</source>
        <translation>&amp;Quenlo&apos;s Homepage</translation>
    </message>
    <message>
        <source>Kanal</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>Anschlag nach Mausposition</source>
        <translation>Velocity by Mouse Position</translation>
    </message>
    <message>
        <source>PC-Tasten anzeigen</source>
        <translation>Show PC Keys</translation>
    </message>
    <message>
        <source>Eingang</source>
        <translation>Input</translation>
    </message>
    <message>
        <source>Standardbelegung</source>
        <translation>Default key map</translation>
    </message>
    <message>
        <source>&amp;Metronom</source>
        <translation>&amp;Metronome</translation>
    </message>
    <message>
        <source>&amp;Einzählen</source>
        <translation>&amp;Count-in</translation>
    </message>
    <message>
        <source>Wiedergabe &amp;wiederholen</source>
        <translation>&amp;Repeat playback</translation>
    </message>
</context>
<context>
    <name>app::TAboutBox</name>
    <message>
        <source>MIDI Sonoret baut auf Qt (Fenster), RtMidi (ALSA-MIDI), JACK und FluidSynth (eingebauter Synthesizer) auf; </source>
        <translation>MIDI Sonoret builds on Qt (windows), RtMidi (ALSA MIDI), JACK and FluidSynth (built-in synthesizer); </translation>
    </message>
    <message>
        <source>für den eingebauten Synthesizer ist keine SoundFont installiert.</source>
        <translation>no SoundFont is installed for the built-in synthesizer.</translation>
    </message>
    <message>
        <source>die Klänge des eingebauten Synthesizers stammen aus der General-MIDI-SoundFont %1.</source>
        <translation>the built-in synthesizer&apos;s sounds come from the General MIDI SoundFont %1.</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>About</translation>
    </message>
    <message>
        <source>Die Tastatur lässt sich zur Klangeingabe verwenden. Zur Ausgabe lässt sich ein MIDI-Gerät einstellen.</source>
        <translation>Play the keyboard to enter sounds. A MIDI device can be chosen for output.</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
</context>
<context>
    <name>app::TForm1</name>
    <message>
        <source>Drums-Begleitung</source>
        <translation>Drum backing</translation>
    </message>
    <message>
        <source>Tempo:</source>
        <translation>Tempo:</translation>
    </message>
    <message>
        <source>Taktschläge pro Minute</source>
        <translation>beats per minute</translation>
    </message>
    <message>
        <source>Transposition:</source>
        <translation>Transpose:</translation>
    </message>
    <message>
        <source>Halbtonschritte</source>
        <translation>semitones</translation>
    </message>
    <message>
        <source>Aufnahme</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>Wiedergabe</source>
        <translation>Play</translation>
    </message>
    <message>
        <source>Angehalten</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Lautstärke:</source>
        <translation>Volume:</translation>
    </message>
    <message>
        <source>Sie haben keine MIDI-Geräte installiert.</source>
        <translation>You have no MIDI devices installed.</translation>
    </message>
    <message>
        <source>Der MIDI-Eingang ist nicht mehr verfügbar.</source>
        <translation>The MIDI input is no longer available.</translation>
    </message>
    <message>
        <source>Kein Eingang</source>
        <translation>No Input</translation>
    </message>
    <message>
        <source>%1 ([%2] %3 in %4)</source>
        <translation>%1 ([%2] %3 in %4)</translation>
    </message>
    <message>
        <source>Der MIDI-Eingang und das MIDI-Gerät „%1“ sind nicht mehr verfügbar.</source>
        <translation>The MIDI input and the MIDI device “%1” are no longer available.</translation>
    </message>
    <message>
        <source>Zeit der Aufnahme</source>
        <translation>Time of the take</translation>
    </message>
</context>
<context>
    <name>app::TForm2</name>
    <message>
        <source>Tippen Sie die Taste auf der Tastatur, der die blau markierte Sonorettaste zugeordnet werden soll!</source>
        <translation>Press the PC key that is to play the piano key marked in blue!</translation>
    </message>
    <message>
        <source>Tasten zuweisen</source>
        <translation>Assign Keys</translation>
    </message>
</context>
</TS>
