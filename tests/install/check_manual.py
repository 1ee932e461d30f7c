#!/usr/bin/env python3
"""Checks that the program's manual page names every environment variable
the code reads. Usage: check_manual.py SOURCE_DIR"""

import glob, os, re, sys

source = sys.argv[1]
read = set()
for path in glob.glob(os.path.join(source, "src/**/*.[ch]*"), recursive=True):
    with open(path, encoding="utf-8") as f:
        code = f.read()
    read |= set(re.findall(r'getenv\("([A-Z_]+)"\)', code)) | set(re.findall(r'"(MIDI_SONORET_[A-Z_]+)"', code))
with open(os.path.join(source, "data/man/midi-sonoret.1"), encoding="utf-8") as f:
    named = set(re.findall(r"^\.B ([A-Z_]+)$", f.read().split(".SH ENVIRONMENT")[1].split(".SH ")[0], re.M))
missing = sorted(read - named)
for name in missing:
    print(f"FAIL: {name} is read but not in the manual's ENVIRONMENT")
print("manual ok" if read and not missing else f"{len(missing)} failures")
sys.exit(1 if missing or not read else 0)
