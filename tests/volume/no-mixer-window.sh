#!/usr/bin/env bash
# The real program on a real X server (Xvfb) with no sound system at all:
# one message box titled "Velmar" comes up before the window; once it is
# answered the window appears and keeps running, no second box comes, and
# ALSA prints nothing on standard error.
#
#   tests/volume/no-mixer-window.sh PATH/TO/velmar
#
# Exit status 0 on success, 1 on failure, 77 when Xvfb or xdotool is missing.
set -u
if [ "${1:-}" != --inside ]; then
  bin=$1
  for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "no-mixer-window: $tool missing" >&2; exit 77; }
  done
  work=$(mktemp -d /tmp/velmar-nomixer.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  chmod 700 "$work"
  # A control device that does not exist: what ALSA meets on a machine with
  # no card and no sound server.
  printf 'ctl.!default { type hw card 31 }\npcm.!default { type hw card 31 }\n' >"$work/asound.conf"
  export ALSA_CONFIG_PATH="$work/asound.conf" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb
  unset PULSE_SERVER DBUS_SESSION_BUS_ADDRESS
  xvfb-run -a -s '-screen 0 640x480x24' "$0" --inside "$bin" "$work"
  exit $?
fi

bin=$2
work=$3
fail() {
  echo "no-mixer-window: $*" >&2
  kill "$pid" 2>/dev/null
  exit 1
}
# Mapped windows titled exactly "Velmar", one "ID WIDTHxHEIGHT" a line.
velmar_windows() {
  for id in $(xdotool search --onlyvisible --name '^Velmar$' 2>/dev/null); do
    echo "$id $(xdotool getwindowgeometry "$id" | sed -n 's/.*Geometry: //p')"
  done
}
# Waits up to 10 s until velmar_windows prints exactly one line.
one_window() {
  local w
  for _ in $(seq 1 100); do
    w=$(velmar_windows)
    [ -n "$w" ] && [ "$(echo "$w" | wc -l)" -eq 1 ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  echo "$w"
  return 1
}

"$bin" 2>"$work/stderr" &
pid=$!

box=$(one_window) || fail "expected one window (the message box), found: ${box:-none}"
read -r box_id box_size <<<"$box"
[ "$box_size" != 271x134 ] || fail "the main window came up before the message box"
xdotool windowfocus --sync "$box_id" && xdotool key --clearmodifiers Return

for _ in $(seq 1 100); do
  main=$(velmar_windows)
  [ "$main" != "$box" ] && [ -n "$main" ] && break
  sleep 0.1
done
[ "$(echo "$main" | wc -l)" -eq 1 ] || fail "expected the window alone after the message, found: $main"
read -r _ main_size <<<"$main"
[ "$main_size" = 271x134 ] || fail "expected the 271x134 window, found: $main"

sleep 1
kill -0 "$pid" 2>/dev/null || fail "the program ended after the message"
[ "$(velmar_windows)" = "$main" ] || fail "a second window or box came up: $(velmar_windows)"
grep -q 'ALSA' "$work/stderr" && fail "ALSA printed: $(cat "$work/stderr")"
kill "$pid"
wait "$pid" 2>/dev/null
exit 0
