#!/usr/bin/env bash
# Starts the real program under Xvfb (no window manager), takes a screenshot
# of its window and checks what a person would see: the size, the seek thumb
# exactly as drawn on the seek band, the three groove rows, the window icon.
# Leaves the picture in ARTIFACT_DIR/velmar-xvfb.png.
#
#   xvfb-layout.sh VELMAR_BINARY SOURCE_DIR ARTIFACT_DIR
set -euo pipefail
if [ -z "${VELMAR_IN_XVFB:-}" ]; then
  export VELMAR_IN_XVFB=1
  exec xvfb-run -a -s '-screen 0 640x480x24' "$0" "$@"
fi
velmar=$1
source=$2
out=$3
mkdir -p "$out"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
unset QT_QPA_PLATFORM

"$velmar" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=$(timeout 20 xdotool search --sync --name '^Velmar$' | head -1)
sleep 1  # let the first frames settle
shot=$out/velmar-xvfb.png
import -window root "$shot.root.png"
convert "$shot.root.png" -crop 271x134+0+0 +repage "$shot"
rm -f "$shot.root.png"

fail() { echo "FAIL: $*"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$wid")"
[ "$WIDTH"x"$HEIGHT" = 271x134 ] || fail "window is ${WIDTH}x$HEIGHT"

pixel() { convert "$shot" -crop "1x1+$1+$2" -format '%[hex:p{0,0}]' info:; }
colours() { convert "$shot" -crop "$1" +repage -unique-colors -format '%w' info:; }

# The thumb, exactly its picture, somewhere on the seek band (at x 250 until
# a tick places it).
convert "$shot" -crop 271x21+0+80 +repage "$shot.band.png"
found=$(compare -metric AE -subimage-search "$shot.band.png" \
  "$source/resources/pictures/seek-thumb.png" null: 2>&1) || true
rm -f "$shot.band.png"
[[ "$found" =~ ^0\ .*@\ ([0-9]+),0$ ]] || fail "no exact thumb on the seek band: $found"
thumb_x=${BASH_REMATCH[1]}

# The groove rows, solid where the thumb does not cover them.
for row in 88 89 90; do
  for span in "9 $((thumb_x - 1))" "$((thumb_x + 12)) 260"; do
    set -- $span
    [ "$1" -le "$2" ] || continue
    [ "$(colours "$(($2 - $1 + 1))x1+$1+$row")" = 1 ] ||
      fail "groove row $row is not one solid colour from x $1 to $2"
  done
done
probe=$((thumb_x > 100 ? 50 : 200))
r88=$(pixel $probe 88) r89=$(pixel $probe 89) r90=$(pixel $probe 90) bg=$(pixel $probe 86)
[ "$r88" != "$r89" ] && [ "$r89" != "$r90" ] && [ "$r88" != "$r90" ] ||
  fail "groove rows share a colour: $r88 $r89 $r90"
if [ "$thumb_x" -gt 9 ]; then  # the left ends, unless the thumb covers them
  [ "$(pixel 8 88)" = "$r88" ] || fail "Line1 does not start at x 8"
  [ "$(pixel 8 89)" = "$bg" ] && [ "$(pixel 8 90)" = "$bg" ] || fail "Lines 2, 3 start before x 9"
  [ "$(pixel 7 88)" = "$bg" ] || fail "Line1 starts before x 8"
fi

icons=$(xprop -id "$wid" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | sort -u | tr '\n' ' ')
case "$icons" in *"16 x 16"*"32 x 32"*) ;; *) fail "window icon sizes: $icons" ;; esac
echo "thumb at x $thumb_x; groove $r88 $r89 $r90 on $bg; icons $icons"
echo "layout under Xvfb checked: $shot"
