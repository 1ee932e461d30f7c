<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>DeviceErrors</name>
    <message>
        <source>Unspecified error</source>
        <translation>Nicht näher bezeichneter Fehler</translation>
    </message>
    <message>
        <source>The device ID is out of range</source>
        <translation>Die Gerätenummer liegt außerhalb des gültigen Bereichs</translation>
    </message>
    <message>
        <source>The specified device is already in use</source>
        <translation>Das angegebene Gerät wird bereits verwendet</translation>
    </message>
    <message>
        <source>The device handle is invalid</source>
        <translation>Das Gerätehandle ist ungültig</translation>
    </message>
    <message>
        <source>Unable to allocate memory</source>
        <translation>Es kann kein Speicher reserviert werden</translation>
    </message>
    <message>
        <source>This function is not supported</source>
        <translation>Diese Funktion wird nicht unterstützt</translation>
    </message>
    <message>
        <source>An invalid parameter was passed</source>
        <translation>Ein ungültiger Parameter wurde übergeben</translation>
    </message>
    <message>
        <source>The built-in synthesizer found no SoundFont</source>
        <translation>Der eingebaute Synthesizer hat keine SoundFont gefunden</translation>
    </message>
    <message>
        <source>The built-in synthesizer found no audio output</source>
        <translation>Der eingebaute Synthesizer hat keine Audioausgabe gefunden</translation>
    </message>
    <message>
        <source>The MIDI port is no longer available</source>
        <translation>Der MIDI-Anschluss ist nicht mehr verfügbar</translation>
    </message>
    <message>
        <source>The MIDI port did not accept the message</source>
        <translation>Der MIDI-Anschluss hat die Meldung nicht angenommen</translation>
    </message>
    <message>
        <source>The message is not a short MIDI message</source>
        <translation>Die Meldung ist keine kurze MIDI-Meldung</translation>
    </message>
    <message>
        <source>The message header has not been prepared</source>
        <translation>Der Meldungskopf wurde nicht vorbereitet</translation>
    </message>
    <message>
        <source>The message is still being sent</source>
        <translation>Die Meldung wird noch gesendet</translation>
    </message>
    <message>
        <source>The built-in synthesizer cannot start its audio output: no more memory may be locked (ulimit -l)</source>
        <translation>Der eingebaute Synthesizer kann seine Audioausgabe nicht starten: Es darf kein weiterer Speicher gesperrt werden (ulimit -l)</translation>
    </message>
    <message>
        <source>Specified error number is out of range</source>
        <translation>Die angegebene Fehlernummer liegt außerhalb des gültigen Bereichs</translation>
    </message>
    <message>
        <source>Invalid device ID</source>
        <translation>Ungültige Gerätenummer</translation>
    </message>
    <message>
        <source>Change to DeviceID while device was open</source>
        <translation>Änderung der Gerätenummer bei geöffnetem Gerät</translation>
    </message>
    <message>
        <source>Change to ProductName while device was open</source>
        <translation>Änderung des Produktnamens bei geöffnetem Gerät</translation>
    </message>
    <message>
        <source>MIDI Output device not open</source>
        <translation>MIDI-Ausgabegerät nicht geöffnet</translation>
    </message>
    <message>
        <source>A long message needs at least one byte</source>
        <translation>Eine lange Meldung braucht mindestens ein Byte</translation>
    </message>
    <message>
        <source>A long message may have at most 65535 bytes</source>
        <translation>Eine lange Meldung darf höchstens 65535 Bytes haben</translation>
    </message>
    <message>
        <source>MIDI output Device %1 not installed</source>
        <translation>MIDI-Ausgabegerät %1 nicht installiert</translation>
    </message>
    <message>
        <source>MIDI input buffer full: %1 messages dropped</source>
        <translation>MIDI-Eingangspuffer voll: %1 Meldungen verworfen</translation>
    </message>
</context>
</TS>
