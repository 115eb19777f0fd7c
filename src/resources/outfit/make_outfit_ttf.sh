#!/usr/bin/env bash
# Rebuilds Outfit-Medium.ttf from the npm package @fontsource/outfit (SIL Open Font License 1.1).
# Needs the Debian packages woff2 (woff2_decompress) and python3-fonttools, and npm.
#   src/resources/outfit/make_outfit_ttf.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
version=5.3.0
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent "@fontsource/outfit@$version" >/dev/null && tar xzf fontsource-outfit-$version.tgz)
cp "$work/package/files/outfit-latin-500-normal.woff2" "$work/outfit.woff2"
woff2_decompress "$work/outfit.woff2"
# The package's static instance is named "Outfit Thin Medium" (the variable font's default instance was
# Thin). GDI finds private fonts by their family name, so the instance is renamed to the family "Outfit"
# with the subfamily "Medium"; glyphs and metrics are untouched. The OFL of Outfit reserves no font name.
/usr/bin/python3 - "$work/outfit.ttf" "$here/Outfit-Medium.ttf" <<'PY'
import sys
from fontTools.ttLib import TTFont
font = TTFont(sys.argv[1])
names = font["name"]
for name_id, text in {1: "Outfit", 2: "Regular", 3: "1.100;fontsource;Outfit-Medium",
                      4: "Outfit Medium", 6: "Outfit-Medium", 16: "Outfit", 17: "Medium"}.items():
    names.setName(text, name_id, 3, 1, 0x409)
font.save(sys.argv[2])
PY
echo "$here/Outfit-Medium.ttf"
