#!/usr/bin/env python3
"""Brings a copy of each catalogue up to date with the code (lupdate) and
checks that every text has a finished translation that keeps the original's
placeholders and access key. Usage: check_catalogues.py LUPDATE SOURCE_DIR"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def main():
    lupdate, source = sys.argv[1], sys.argv[2]
    failures = []
    catalogues = sorted(glob.glob(os.path.join(source, "data/translations/*.ts")))
    if not catalogues:
        failures.append("no catalogue in data/translations")
    for catalogue in catalogues:
        name = os.path.basename(catalogue)
        with tempfile.TemporaryDirectory() as folder:
            copy = os.path.join(folder, name)
            shutil.copy(catalogue, copy)
            subprocess.run([lupdate, "-silent", "-source-language", "de", "-no-obsolete", "-locations", "none",
                            os.path.join(source, "src"), "-ts", copy], check=True)
            for context in ET.parse(copy).getroot().iter("context"):
                where = context.findtext("name")
                for message in context.iter("message"):
                    text = message.findtext("source")
                    translation = message.find("translation")
                    if translation.get("type") or not translation.text:
                        failures.append(f"{name} {where}: {text!r} is not translated")
                        continue
                    if sorted(re.findall(r"%\d", text)) != sorted(re.findall(r"%\d", translation.text)):
                        failures.append(f"{name} {where}: {translation.text!r} lost a placeholder of {text!r}")
                    if ("&" in text.replace("&&", "")) != ("&" in translation.text.replace("&&", "")):
                        failures.append(f"{name} {where}: {translation.text!r} and {text!r} differ in access key")
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("catalogues ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
