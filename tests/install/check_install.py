#!/usr/bin/env python3
"""Installs the build into a temporary prefix and checks what a desktop needs
there: the executables, a valid desktop entry, icons of the sizes their
folders promise, MIME types that claim the program's file extensions, and the
help page. Usage: check_install.py BUILD_DIR"""

import gzip
import os
import shutil
import struct
import subprocess
import sys
import tempfile

ICON_SIZES = (16, 32, 48, 64, 128, 256)
EXPECTED = {
    "bin/midi-sonoret",
    "bin/midi-sonoret-convert",
    "share/applications/midi-sonoret.desktop",
    "share/mime/packages/midi-sonoret.xml",
    "share/midi-sonoret/help/index.html",
    "share/midi-sonoret/help/index.en.html",
    "share/midi-sonoret/translations/midi-sonoret_en.qm",
    "share/midi-sonoret/translations/midi-sonoret-devices_de.qm",
    "share/icons/hicolor/scalable/apps/midi-sonoret.svg",
    "share/man/man1/midi-sonoret.1.gz",
    "share/man/man1/midi-sonoret-convert.1.gz",
    "share/metainfo/io.github.midisonoret.MidiSonoret.metainfo.xml",
} | {f"share/icons/hicolor/{s}x{s}/apps/midi-sonoret.png" for s in ICON_SIZES}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    check(head[:8] == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG")
    return struct.unpack(">II", head[16:24])


def desktop_entry(path):
    entry = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                entry[key] = value
    return entry


def main():
    build = sys.argv[1]
    for beside in ("help/index.html", "help/index.en.html", "translations/midi-sonoret_en.qm",
                   "translations/midi-sonoret-devices_de.qm"):
        check(os.path.isfile(os.path.join(build, "src/app", beside)),
              f"{beside} is not beside the executable in the build tree")
    with tempfile.TemporaryDirectory() as prefix:
        subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
        found = {os.path.relpath(os.path.join(d, f), prefix) for d, _, files in os.walk(prefix) for f in files}
        check(found == EXPECTED, f"installed files differ: missing {sorted(EXPECTED - found)}, "
                                 f"unexpected {sorted(found - EXPECTED)}")
        for exe in ("bin/midi-sonoret", "bin/midi-sonoret-convert"):
            check(os.access(os.path.join(prefix, exe), os.X_OK), f"{exe} is not executable")

        desktop = os.path.join(prefix, "share/applications/midi-sonoret.desktop")
        validator = shutil.which("desktop-file-validate")
        check(validator is not None, "desktop-file-validate is missing (package desktop-file-utils)")
        if validator:
            result = subprocess.run([validator, desktop], capture_output=True, text=True)
            check(result.returncode == 0 and not result.stdout.strip(),
                  f"desktop-file-validate: {result.stdout}{result.stderr}")
        metainfo = os.path.join(prefix, "share/metainfo/io.github.midisonoret.MidiSonoret.metainfo.xml")
        appstream = shutil.which("appstreamcli")
        check(appstream is not None, "appstreamcli is missing (package appstream)")
        if appstream:
            result = subprocess.run([appstream, "validate", "--no-net", metainfo], capture_output=True, text=True)
            check(result.returncode == 0, f"appstreamcli validate: {result.stdout}{result.stderr}")
        for page in ("midi-sonoret", "midi-sonoret-convert"):
            with gzip.open(os.path.join(prefix, f"share/man/man1/{page}.1.gz"), "rt", encoding="utf-8") as f:
                check(f.readline().startswith(f".TH {page.upper()} 1"), f"{page}.1 is no manual page")
        entry = desktop_entry(desktop)
        check(entry.get("Name") == "MIDI Sonoret", f"Name is {entry.get('Name')!r}")
        # English where no language is named, German under [de].
        check(entry.get("GenericName") == "MIDI Keyboard", f"GenericName is {entry.get('GenericName')!r}")
        for key in ("GenericName", "Comment", "Keywords"):
            check(entry.get(key + "[de]"), f"{key} has no German")
        check(entry.get("Exec") == "midi-sonoret %f", f"Exec is {entry.get('Exec')!r}")
        check(entry.get("Icon") == "midi-sonoret", f"Icon is {entry.get('Icon')!r}")
        check(set(entry.get("Categories", "").strip(";").split(";")) == {"Audio", "Midi", "AudioVideo"},
              f"Categories are {entry.get('Categories')!r}")
        # Native recordings, sound texts and Standard MIDI Files: what the
        # command line opens as the open command does.
        check(entry.get("MimeType") == "application/x-midi-sonoret-recording;text/x-midi-sonoret-sound-text;"
                                       "audio/midi;audio/x-midi;", f"MimeType is {entry.get('MimeType')!r}")

        for size in ICON_SIZES:
            path = os.path.join(prefix, f"share/icons/hicolor/{size}x{size}/apps/midi-sonoret.png")
            check(png_size(path) == (size, size), f"{path} is {png_size(path)}, not {size}x{size}")

        updater = shutil.which("update-mime-database")
        check(updater is not None, "update-mime-database is missing (package shared-mime-info)")
        if updater:
            mime = os.path.join(prefix, "share/mime")
            subprocess.run([updater, mime], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            with open(os.path.join(mime, "globs2"), encoding="utf-8") as f:
                globs = {line.split(":")[2].strip(): line.split(":")[1] for line in f if not line.startswith("#")}
            check(globs.get("*.vsq") == "application/x-midi-sonoret-recording", f"*.vsq is {globs.get('*.vsq')}")
            check(globs.get("*.vnx") == "text/x-midi-sonoret-sound-text", f"*.vnx is {globs.get('*.vnx')}")

        for name in ("index.html", "index.en.html"):
            with open(os.path.join(prefix, "share/midi-sonoret/help", name), encoding="utf-8") as f:
                page = f.read()
            for topic in ("midi-sonoret-convert", ".vsq", ".vnx", ".mid", "JACK", "ALSA", "XDG_CONFIG_HOME",
                          "MIDI_SONORET_LANGUAGE"):
                check(topic in page, f"the help page {name} does not mention {topic}")

    for message in failures:
        print("FAIL:", message)
    if not failures:
        print("install tree ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
