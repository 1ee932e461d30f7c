#!/usr/bin/env python3
"""Brings a copy of each catalogue up to date with the code (lupdate) and
checks that every text has a finished translation keeping the original's
placeholders and access key. Usage: check_catalogues.py LUPDATE SOURCE_DIR"""

import glob, os, re, shutil, subprocess, sys, tempfile
import xml.etree.ElementTree as ET

lupdate, source = sys.argv[1], sys.argv[2]
failures = []
for catalogue in sorted(glob.glob(os.path.join(source, "data/translations/*.ts"))) or ["(none)"]:
    with tempfile.TemporaryDirectory() as folder:
        copy = shutil.copy(catalogue, folder)
        subprocess.run([lupdate, "-silent", "-source-language", "de", "-no-obsolete", "-locations", "none",
                        os.path.join(source, "src"), "-ts", copy], check=True)
        for message in ET.parse(copy).getroot().iter("message"):
            text, translation = message.findtext("source"), message.find("translation")
            # A text with a count has one translation per plural form.
            forms = [form.text or "" for form in translation.iter("numerusform")] \
                if message.get("numerus") == "yes" else [translation.text or ""]
            if translation.get("type") or not all(forms):
                failures.append(f"{text!r} is not translated")
            for done in forms:
                if done and (sorted(re.findall(r"%[\dn]", text)) != sorted(re.findall(r"%[\dn]", done))
                             or ("&" in text.replace("&&", "")) != ("&" in done.replace("&&", ""))):
                    failures.append(f"{done!r} lost a placeholder or the access key of {text!r}")
for failure in failures:
    print(f"FAIL: {failure}")
print("catalogues ok" if not failures else f"{len(failures)} failures")
sys.exit(1 if failures else 0)
