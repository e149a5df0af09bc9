#!/usr/bin/env bash
# Checks the built Debian package: lintian finds no error or warning; its
# control fields name what the program needs at run time; and, unpacked with
# dpkg -x into a scratch folder, it holds what a desktop needs
# (check-install.sh), prints its own version, has manual pages that man shows
# without a warning, and finds its probe relative to its own prefix.
#
#   check-package.sh DEB SOURCE_DIR
set -euo pipefail
deb=$1
source=$2
checks=0
ok() { checks=$((checks + 1)); }
fail() {
  echo "FAIL: $*"
  exit 1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
ok

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = velmar ] && [ "$(field Section)" = sound ] &&
  [ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "control fields"
# What linking does not show, found from what the program loads on this
# machine: Qt's platform plug-in, Qt's Spanish texts, the fonts its two
# families (Look.cpp) resolve to. Each file's package must be a dependency.
depends=$(field Depends)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for file in "/usr/lib/$multiarch/qt6/plugins/platforms/libqxcb.so" \
  /usr/share/qt6/translations/qtbase_es.qm "$(fc-match -f '%{file}' Arial)" \
  "$(fc-match -f '%{file}' Terminal)"; do
  owner=$(dpkg-query -S "$file" | cut -d: -f1)
  [[ ", $depends," == *", $owner"[\ ,]* ]] || fail "$file ($owner) is not in Depends: $depends"
done
[[ "$depends" == *libqt6widgets6* && "$depends" == *libcdio* ]] ||
  fail "no shared libraries in Depends: $depends"
ok

dpkg-deb --contents "$deb" >"$scratch/contents"
# Caches are the package manager's triggers' to make, on the machine.
! grep -E '^-.*(share/mime/[^/]+$|share/mime/[^p/][^/]*/|icon-theme\.cache|mimeinfo\.cache)' \
  "$scratch/contents" || fail "the package ships a cache"
ok

root=$scratch/root
dpkg -x "$deb" "$root"
tests/support/check-install.sh --installed "$root/usr" "$source" >"$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "what the package installs"; }
ok

# The unpacked program, with nothing from a build tree or a session.
unpacked() {
  env -u VELMAR_PROBE -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=offscreen \
    timeout 20 "$root/usr/bin/velmar" "$@"
}
version=$(unpacked --version)
[ "$version" = "Velmar $(field Version)" ] ||
  fail "the program says '$version', the package is $(field Version)"
ok

# The manual pages as man shows them, warnings included, and their version.
for page in "$root"/usr/share/man/man1/velmar.1.gz "$root"/usr/share/man/es/man1/velmar.1.gz; do
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" \
    >/dev/null 2>"$scratch/man.log" || fail "man -l $page"
  [ ! -s "$scratch/man.log" ] || { cat "$scratch/man.log"; fail "man warns on $page"; }
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" >"$scratch/page.txt"
  grep -q "^$version  " "$scratch/page.txt" || fail "$page is not the page of $version"
  for section in SINOPSIS SYNOPSIS; do grep -qx "$section" "$scratch/page.txt" && break; done ||
    fail "$page has no synopsis"
done
ok

# An image that needs the probe. A forged Nero image (no Nero footer) is
# refused on the probe's own verdict, which only a probe that ran can give.
# Once tools/ writes valid .nrg images, one can take its place here: the
# program then plays it (timeout ends it with status 124) instead.
image=$scratch/forjada.nrg
head -c 65536 /dev/zero | tr '\0' 'x' >"$image"
verdict='no es una imagen .nrg de Nero que se pueda leer'
missing='falta el programa auxiliar «velmar-probe»'
status=0
unpacked "$image" 2>"$scratch/err" || status=$?
[ "$status" = 2 ] && grep -qF "$verdict" "$scratch/err" ||
  { cat "$scratch/err"; fail "the unpacked program did not run its probe (status $status)"; }
# Without usr/libexec/velmar/velmar-probe beside the unpacked usr/bin, no
# other probe stands in: the verdict above came from that one.
mv "$root/usr/libexec/velmar/velmar-probe" "$scratch/"
status=0
unpacked "$image" 2>"$scratch/err" || status=$?
[ "$status" = 2 ] && grep -qF "$missing" "$scratch/err" ||
  { cat "$scratch/err"; fail "without its probe the unpacked program found another"; }
ok

echo "package: $checks passed, 0 failed"
