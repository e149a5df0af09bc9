#!/usr/bin/env bash
# Runs a command against a private PulseAudio server with one null sink
# ("nullsink", 44.1 kHz stereo), then stops the server.
#
#   tests/support/with-pulse.sh COMMAND [ARG ...]
#
# The command sees HOME, XDG_RUNTIME_DIR and XDG_CONFIG_HOME of the private
# server, PULSE_SERVER pointing at it, and ALSA_CONFIG_PATH set so that ALSA's
# "default" PCM and mixer reach it. Exit status: the command's, or 77 when no
# server could be started (1 in CI, where the server is part of the set-up).
set -u
if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
  echo "with-pulse: pulseaudio or pactl missing" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
root=$(mktemp -d /tmp/velmar-pulse.XXXXXX)
mkdir -p "$root/home" "$root/config" "$root/runtime"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/runtime"
export PULSE_SERVER="unix:$root/runtime/pulse/native"
unset DBUS_SESSION_BUS_ADDRESS

cat >"$root/server.pa" <<'PA'
load-module module-null-sink sink_name=nullsink rate=44100 channels=2
load-module module-native-protocol-unix
set-default-sink nullsink
PA
# The system's own ALSA configuration, with ALSA's default PCM and control
# sent to the private server.
cat >"$root/asound.conf" <<ASOUND
</usr/share/alsa/alsa.conf>
pcm.!default { type pulse server "$PULSE_SERVER" }
ctl.!default { type pulse server "$PULSE_SERVER" }
ASOUND
export ALSA_CONFIG_PATH="$root/asound.conf"

cleanup() {
  if [ -f "$root/runtime/pulse/pid" ]; then
    kill "$(cat "$root/runtime/pulse/pid")" 2>/dev/null
    sleep 0.2
  fi
  rm -rf "$root"
}
trap cleanup EXIT

pulseaudio -n -F "$root/server.pa" --exit-idle-time=-1 --daemonize=yes \
  --use-pid-file=yes --system=no --disallow-exit=no -vvvv --log-target=file:"$root/pulse.log" \
  >/dev/null 2>&1
for _ in $(seq 1 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
if ! pactl info >/dev/null 2>&1; then
  echo "with-pulse: the private PulseAudio server did not start" >&2
  tail -20 "$root/pulse.log" >&2 2>/dev/null
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
"$@"
