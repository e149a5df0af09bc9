#!/usr/bin/env bash
# Checks what an installed Velmar gives a desktop: the program with its probe
# out of the PATH, a valid desktop entry, valid AppStream metainfo that
# launches that entry, the entry's icon in the hicolor theme at its sizes, the
# manual pages, and a MIME type for every type the entry and the metainfo
# name.
#
#   check-install.sh BUILD_DIR SOURCE_DIR            installs the build into a
#                                                    staging prefix and checks it
#   check-install.sh --installed PREFIX SOURCE_DIR   checks a tree installed
#                                                    otherwise (an unpacked
#                                                    package's usr/)
set -euo pipefail
fail() { echo "FAIL: $*"; exit 1; }
if [ "$1" = --installed ]; then
  stage=$2
  source=$3
else
  build=$1
  source=$2
  stage=$build/install-stage
  rm -rf "$stage"
  cmake --install "$build" --prefix "$stage" >/dev/null 2>"$build/install-stage.log" ||
    { cat "$build/install-stage.log"; fail "cmake --install"; }
  # Installed straight into a prefix, the prefix's own MIME database is made.
  [ -f "$stage/share/mime/mime.cache" ] || fail "the prefix's MIME database was not refreshed"
fi
id=$(sed -n 's/.*kDesktopFileName\[\] = "\(.*\)";/\1/p' "$source/src/app/Identity.h")
[ -n "$id" ] || { echo "no desktop file name in Identity.h"; exit 1; }

[ -x "$stage/bin/velmar" ] || fail "bin/velmar missing"
# The probe is an internal helper: out of the PATH, where the program looks.
[ -x "$stage/libexec/velmar/velmar-probe" ] || fail "libexec/velmar/velmar-probe missing"
[ ! -e "$stage/bin/velmar-probe" ] || fail "velmar-probe is on the PATH"
if [ -n "${build:-}" ]; then  # the unpacked package plays one in check-package.sh
  # Found there: a Nero image passes the command line's check, and without a
  # display the window fails (status 1; a missing probe refuses it: 2).
  "$build/velmar-mkdisc" --nrg --tone 440:2 "$build/install-stage.nrg" >/dev/null
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u VELMAR_PROBE QT_QPA_PLATFORM=xcb "$stage/bin/velmar" \
    "$build/install-stage.nrg" 2>"$build/install-stage.err" || status=$?
  [ "$status" = 1 ] || { cat "$build/install-stage.err"; fail "no probe found (status $status)"; }
fi
for page in man/man1/velmar.1 man/es/man1/velmar.1; do
  compgen -G "$stage/share/$page*" >/dev/null || fail "manual page share/$page missing"
done

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

# Every type the entry and the metainfo name is known once the installed MIME
# packages join the system's database: a scratch database of both, asked
# through GLib as a desktop asks.
mimedb=$(mktemp -d)
trap 'rm -rf "$mimedb"' EXIT
mkdir -p "$mimedb/share/mime/packages" "$mimedb/home"
cp /usr/share/mime/packages/*.xml "$stage"/share/mime/packages/*.xml "$mimedb/share/mime/packages/"
update-mime-database "$mimedb/share/mime" 2>"$mimedb/update.log" ||
  { cat "$mimedb/update.log"; fail "update-mime-database"; }
! grep -qi 'fail\|error' "$mimedb/update.log" || { cat "$mimedb/update.log"; fail "MIME packages"; }
types=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' '\n'
  sed -n 's:.*<mediatype>\(.*\)</mediatype>.*:\1:p' "$metainfo")
for type in $(echo "$types" | sort -u); do
  [ -f "$mimedb/share/mime/$type.xml" ] || fail "MIME type $type is not defined"
done
for pair in disco.nrg=application/x-nrg disco.cue=application/x-cue \
  disco.toc=application/x-cdrdao-toc; do
  file=$mimedb/${pair%%=*}
  printf 'not a real image\0\1\2' >"$file"
  got=$(XDG_DATA_DIRS="$mimedb/share" XDG_DATA_HOME="$mimedb/home" GIO_USE_VFS=local \
    gio info -a standard::content-type "$file" | sed -n 's/^ *standard::content-type: //p')
  [ "$got" = "${pair#*=}" ] || fail "${pair%%=*} is seen as '$got', not ${pair#*=}"
done
echo "install checks passed: $stage"
