#!/usr/bin/env bash
# Installs the build into a staging prefix and checks what a desktop sees:
# the program, a valid desktop entry, valid AppStream metainfo that launches
# that entry, and the entry's icon in the hicolor theme at its sizes.
#
#   check-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
stage=$build/install-stage
id=$(sed -n 's/.*kDesktopFileName\[\] = "\(.*\)";/\1/p' "$source/src/app/Identity.h")
[ -n "$id" ] || { echo "no desktop file name in Identity.h"; exit 1; }

rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
[ -x "$stage/bin/velmar" ] || fail "bin/velmar missing"

desktop=$stage/share/applications/$id.desktop
[ -f "$desktop" ] || fail "$id.desktop missing"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
grep -qx 'Exec=velmar %U' "$desktop" || fail "Exec is not the installed program taking URIs (%U)"
grep -qx "Icon=$id" "$desktop" || fail "Icon is not $id"
grep -qx 'Categories=AudioVideo;Audio;Player;' "$desktop" || fail "Categories"
grep -qx 'MimeType=x-content/audio-cdda;application/x-cue;application/x-cdrdao-toc;application/x-nrg;' \
  "$desktop" || fail "MimeType"
# English defaults, Spanish translations.
for key in GenericName Comment Keywords; do
  grep -q "^$key=" "$desktop" || fail "no default $key"
  grep -q "^$key\[es\]=" "$desktop" || fail "no Spanish $key"
done
grep -qx 'GenericName=Audio CD Player' "$desktop" || fail "GenericName is not English"

metainfo=$stage/share/metainfo/$id.metainfo.xml
[ -f "$metainfo" ] || fail "$id.metainfo.xml missing"
appstreamcli validate --no-net "$metainfo" || fail "metainfo does not validate"
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "metainfo does not launch $id.desktop"
grep -q '<project_license>' "$metainfo" || fail "metainfo has no project_license"
grep -q '<screenshot type="default">' "$metainfo" || fail "metainfo has no screenshot"
grep -q '<control>keyboard</control>' "$metainfo" || fail "metainfo does not state keyboard support"
grep -q '<control>pointing</control>' "$metainfo" || fail "metainfo does not state pointer support"
grep -q '<summary xml:lang="es">' "$metainfo" || fail "metainfo has no Spanish summary"
grep -q '<summary>A simple audio CD player</summary>' "$metainfo" || fail "summary is not English"

for size in 16 32 48 64 128; do
  icon=$stage/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -f "$icon" ] || fail "icon ${size}x${size} missing"
  got=$(identify -format '%wx%h' "$icon")
  [ "$got" = "${size}x${size}" ] || fail "icon ${size}x${size} is $got"
done
echo "install checks passed: $stage"
