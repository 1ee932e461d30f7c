#!/usr/bin/env bash
# Builds the Debian package from this tree with debhelper and leaves it in
# dist/: a release build with Debian's hardening flags, stripped, with its
# -dbgsym package, the changelog made from CHANGELOG.md, checked by lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

packages=(debhelper dpkg-dev lintian fakeroot)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

version="$(sed -n 's/^project(MidiSonoret VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
tree="$work/midi-sonoret-$version"
mkdir -p "$tree"
# The files of the project as they are now, without any build folder.
git ls-files -z | xargs -0 cp --parents -t "$tree"

# The Debian changelog: the newest section of CHANGELOG.md as one entry.
python3 - "$version" "$tree/debian/changelog" <<'PY'
import email.utils, re, sys, textwrap
version, target = sys.argv[1], sys.argv[2]
text = open("CHANGELOG.md", encoding="utf-8").read()
section = re.split(r"^## ", text, flags=re.M)[1].split("\n", 1)[1]
items = []
for line in section.splitlines():
    if line.startswith("- "):
        items.append(line[2:].strip())
    elif line.startswith("  ") and items:
        items[-1] += " " + line.strip()
maintainer = re.search(r"^Maintainer: (.+)$", open("debian/control", encoding="utf-8").read(), re.M).group(1)
with open(target, "w", encoding="utf-8") as out:
    out.write(f"midi-sonoret ({version}) unstable; urgency=medium\n\n")
    for item in items:
        out.write(textwrap.fill(item, width=78, initial_indent="  * ", subsequent_indent="    ") + "\n")
    out.write(f"\n -- {maintainer}  {email.utils.formatdate(localtime=True)}\n")
PY

(cd "$tree" && dpkg-buildpackage -b -us -uc -j"$(nproc)")
rm -rf dist
mkdir -p dist
mv "$work"/*.deb dist/
ls -l dist
lintian --fail-on error,warning --info --display-info dist/midi-sonoret_"$version"_*.deb
