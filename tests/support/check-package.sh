#!/usr/bin/env bash
# Checks the built Debian package: lintian finds no error or warning; its
# control fields name what the program needs at run time; and, unpacked with
# dpkg -x into a scratch folder, it holds what a desktop needs
# (check-install.sh), prints its own version, has manual pages that man shows
# without a warning, and finds its probe relative to its own prefix.
#
#   check-package.sh DEB SOURCE_DIR MKDISC   (MKDISC: a build's velmar-mkdisc)
set -euo pipefail
deb=$1
source=$2
mkdisc=$3
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
# machine: Qt's platform plug-ins (X11 and Wayland), Qt's Spanish texts, the
# fonts its two families (Look.cpp) resolve to. Each file's package must be a dependency.
depends=$(field Depends)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
platforms=/usr/lib/$multiarch/qt6/plugins/platforms
for file in "$platforms/libqxcb.so" "$platforms/libqwayland-generic.so" \
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

# The unpacked program for at most SECONDS, with nothing from a build tree
# or a session.
unpacked_for() {
  local seconds=$1
  shift
  env -u VELMAR_PROBE -u DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM=offscreen \
    timeout -k 5 "$seconds" "$root/usr/bin/velmar" "$@"
}
unpacked() { unpacked_for 20 "$@"; }
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

# An image that only the probe lets in: a Nero image from the project's own
# generator. The unpacked program plays it (still playing when timeout stops
# it: status 124) only through usr/libexec/velmar/velmar-probe of the
# unpacked tree; without that probe no other stands in, and it refuses the
# image naming the missing probe.
image=$scratch/disco.nrg
"$mkdisc" --nrg --tone 440:30 "$image" >/dev/null
status=0
unpacked_for 4 "$image" 2>"$scratch/err" || status=$?
[ "$status" = 124 ] && ! grep -q 'no se puede abrir' "$scratch/err" ||
  { cat "$scratch/err"; fail "the unpacked program did not play a Nero image (status $status)"; }
mv "$root/usr/libexec/velmar/velmar-probe" "$scratch/"
status=0
unpacked "$image" 2>"$scratch/err" || status=$?
[ "$status" = 2 ] && grep -qF 'falta el programa auxiliar «velmar-probe»' "$scratch/err" ||
  { cat "$scratch/err"; fail "without its probe the unpacked program did not refuse (status $status)"; }
ok

echo "package: $checks passed, 0 failed"
