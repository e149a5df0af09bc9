#!/usr/bin/env bash
# Measures velmar and mpv playing the demo disc through ALSA's default output
# (a private PulseAudio server with a null sink, which plays in real time) and
# prints, for each:
#   - start-up: from launching the process to the first audio handed to ALSA;
#   - CPU seconds per minute of playback, and as a share of one core;
#   - peak resident memory;
#   - steady playback, sampled from /proc between WARM seconds after launch
#     and the end: CPU seconds per minute and wake-ups per second (voluntary
#     plus involuntary context switches of all the process's threads);
#   - seek latency: from the seek request to the first audio of the new
#     position handed to ALSA (the output's own buffer comes on top).
#
#   bench/velmar-bench.sh [BUILD_DIR]     (default: build)
#
# VELMAR_BENCH_SECONDS sets how long each player plays (default 30),
# VELMAR_BENCH_WARM when the steady sampling starts (default 6: after start-up
# and the null sink's first stall). VELMAR_BENCH_DISPLAY=xvfb runs velmar's
# window on a private X server (Xvfb, no window manager) instead of Qt's
# offscreen platform. mpv, when installed, is measured too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)

if [ "${VELMAR_BENCH_INSIDE:-}" != 1 ]; then
  for f in velmar velmar-seek-probe velmar_alsa_timing.so demo/velmar-demo.cue; do
    [ -e "$build/$f" ] || { echo "velmar-bench: $build/$f missing; build first" >&2; exit 2; }
  done
  export VELMAR_BENCH_INSIDE=1
  exec "$root/tests/support/with-pulse.sh" "$0" "$build"
fi

secs=${VELMAR_BENCH_SECONDS:-30}
warm=${VELMAR_BENCH_WARM:-6}
seeks=10
disc="$build/demo/velmar-demo.cue"
shim="$build/velmar_alsa_timing.so"
tmp=$(mktemp -d /tmp/velmar-bench.XXXXXX)
xvfb=
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$tmp"' EXIT
export QT_QPA_PLATFORM=offscreen
if [ "${VELMAR_BENCH_DISPLAY:-offscreen}" = xvfb ]; then
  command -v Xvfb >/dev/null || { echo "velmar-bench: Xvfb missing (apt-get install xvfb)" >&2; exit 2; }
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 640x480x24 3>"$tmp/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 1 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
  [ -s "$tmp/display" ] || { echo "velmar-bench: Xvfb did not start" >&2; exit 2; }
  export DISPLAY=":$(head -1 "$tmp/display")" QT_QPA_PLATFORM=xcb
fi

now() { date +%s%N; }

# sample PID: "ns switches ticks" now: the time, the voluntary and
# involuntary context switches summed over the process's live threads, and
# its user plus system CPU time in clock ticks.
sample() {
  local switches
  switches=$(cat /proc/"$1"/task/*/status 2>/dev/null |
    awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ { n += $2 } END { print n + 0 }')
  echo "$(now) $switches $(awk '{ print $14 + $15 }' /proc/"$1"/stat)"
}

# play NAME SECONDS CMD...: runs CMD under /usr/bin/time with the timing
# shim for SECONDS, sampling it from WARM seconds on, then ends it with
# SIGTERM.
play() {
  local name=$1 secs=$2
  shift 2
  : >"$tmp/$name.log"
  now >"$tmp/$name.t0"
  VELMAR_BENCH_LOG="$tmp/$name.log" LD_PRELOAD="$shim" \
    /usr/bin/time -f '%e %U %S %M' -o "$tmp/$name.time" "$@" >"$tmp/$name.out" 2>&1 &
  local timer=$!
  sleep "$warm"
  local child
  child=$(pgrep -P "$timer" || true)
  if [ -n "$child" ]; then
    sample "$child" >"$tmp/$name.steady"
    sleep $((secs - warm))
    sample "$child" >>"$tmp/$name.steady"
    kill -TERM "$child" 2>/dev/null
  fi
  wait "$timer" || true
}

# Steady playback: "CPU-seconds-per-minute wake-ups-per-second".
steady() {
  awk -v hz="$(getconf CLK_TCK)" 'NR == 1 { t = $1; w = $2; c = $3 }
    NR == 2 { s = ($1 - t) / 1e9; printf "%.3f %.1f\n", ($3 - c) / hz / s * 60, ($2 - w) / s }
    END { if (NR < 2) print "- -" }' "$tmp/$1.steady" 2>/dev/null || echo "- -"
}

# Milliseconds from the start mark to the first audio written.
startup_ms() {
  awk -v t0="$(cat "$tmp/$1.t0")" '$1 == "W" { printf "%.0f", ($2 - t0) / 1e6; exit }' "$tmp/$1.log"
}

# Seek latencies: for each "S" mark, the first audio written after the first
# drop that follows it. Prints "median max" in ms.
seek_ms() {
  sort -k2,2n "$1" | awk '
    $1 == "S" { if (s) n++; s = $2; d = 0; next }
    $1 == "D" && s && !d { d = 1; next }
    $1 == "W" && s && d { lat[++k] = ($2 - s) / 1e6; s = 0 }
    END {
      if (k == 0) { print "- -"; exit }
      for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (lat[j] < lat[i]) { t = lat[i]; lat[i] = lat[j]; lat[j] = t }
      printf "%.1f %.1f\n", lat[int((k + 1) / 2)], lat[k]
    }'
}

report() {  # NAME LABEL SEEKLOG
  local name=$1 label=$2
  read -r wall user sys rss < <(tail -1 "$tmp/$name.time") || { echo "$label: no figures"; return; }
  local cpu pct seek
  cpu=$(awk -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN { printf "%.3f", (u + s) / w * 60 }')
  pct=$(awk -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN { printf "%.2f", (u + s) / w * 100 }')
  seek=$(seek_ms "$3")
  printf '%-16s start-up to first audio %6s ms | CPU %6s s per min (%5s%% of a core) | peak RSS %6.1f MB | seek latency median %s ms, max %s ms\n' \
    "$label" "$(startup_ms "$name")" "$cpu" "$pct" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" \
    $seek
  printf '%-16s steady playback from %s s: CPU %s s per min | %s wake-ups per s\n' "$label" "$warm" \
    $(steady "$name")
}

echo "== demo disc: $disc; ${secs} s of playback per player, $seeks seeks; display: $QT_QPA_PLATFORM"

# velmar: the real program for start-up, CPU and memory; its device, driven
# the way the seek bar drives it, for seek latency.
play velmar "$secs" "$build/velmar" "$disc"
: >"$tmp/velmar-seek.log"
VELMAR_BENCH_LOG="$tmp/velmar-seek.log" LD_PRELOAD="$shim" \
  "$build/velmar-seek-probe" "$disc" "$seeks" >/dev/null 2>&1

echo
report velmar velmar "$tmp/velmar-seek.log"

# The same disc as a rip: one FLAC file and its sheet.
if command -v sox >/dev/null; then
  mkdir -p "$tmp/rip"
  sox -t raw -r 44100 -e signed -b 16 -c 2 -L "${disc%.cue}.bin" "$tmp/rip/velmar-demo.flac"
  sed 's/^FILE .*/FILE "velmar-demo.flac" WAVE/' "$disc" >"$tmp/rip/velmar-demo.cue"
  play rip "$secs" "$build/velmar" "$tmp/rip/velmar-demo.cue"
  : >"$tmp/rip-seek.log"
  VELMAR_BENCH_LOG="$tmp/rip-seek.log" LD_PRELOAD="$shim" \
    "$build/velmar-seek-probe" "$tmp/rip/velmar-demo.cue" "$seeks" >/dev/null 2>&1 || true
  report rip "velmar, cue+FLAC" "$tmp/rip-seek.log"
else
  echo "cue+FLAC: sox is not installed (apt-get install sox)"
fi
command -v mpv >/dev/null || { echo "mpv       not installed: no comparison (apt-get install mpv)"; exit 0; }

# mpv: the same image; seeks sent as input commands through a FIFO that mpv
# holds as its IPC client connection.
mpv_cmd=(mpv --no-config --no-video --ao=alsa --cdrom-device="$disc" cdda://)
play mpv "$secs" "${mpv_cmd[@]}"
mkfifo "$tmp/mpv.fifo"
: >"$tmp/mpv-seek.log"
VELMAR_BENCH_LOG="$tmp/mpv-seek.log" LD_PRELOAD="$shim" \
  "${mpv_cmd[@]}" --input-ipc-client=fd://3 3<>"$tmp/mpv.fifo" >/dev/null 2>&1 &
mpv_pid=$!
sleep 3
exec 9>"$tmp/mpv.fifo"
total=130
for i in $(seq 0 $((seeks - 1))); do
  to=$((total * (i * 7 % seeks) / seeks))
  echo "S $(now)" >>"$tmp/mpv-seek.log"
  echo "seek $to absolute" >&9
  sleep 0.7
done
echo quit >&9
exec 9>&-
wait "$mpv_pid" || true

report mpv mpv "$tmp/mpv-seek.log"
