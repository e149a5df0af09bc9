#!/usr/bin/env bash
# Runs a command against a private PipeWire server (with WirePlumber and a
# null sink, "nullsink"), ALSA's default PCM and control going through
# PipeWire's own ALSA plug-in, then stops the server. Run it on a private
# session bus (with-dbus.sh), which WirePlumber uses.
#
#   tests/support/with-pipewire.sh PLUGIN_ROOT COMMAND [ARG ...]
#
# PLUGIN_ROOT holds the pipewire-alsa package unpacked (dpkg-deb -x), as
# scripts/velmar.sh test leaves it in the build folder: installing the
# package would remove PulseAudio, which the other tests use. The command
# sees HOME, XDG_RUNTIME_DIR and XDG_CONFIG_HOME of the private server,
# ALSA_CONFIG_PATH pointing ALSA at it and VELMAR_PIPEWIRE=1. Exit status:
# the command's, or 77 when the server or the plug-in is missing (1 in CI).
set -u
plugins=$(find "$1" -name libasound_module_pcm_pipewire.so -printf '%h' -quit 2>/dev/null)
shift
skip() {
  echo "with-pipewire: $1" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
}
command -v pipewire >/dev/null && command -v wireplumber >/dev/null && command -v pw-dump >/dev/null ||
  skip "pipewire, wireplumber or pw-dump missing (packages pipewire, wireplumber, pipewire-bin)"
[ -n "$plugins" ] || skip "PipeWire's ALSA plug-in not unpacked (scripts/velmar.sh test does it)"

root=$(mktemp -d /tmp/velmar-pipewire.XXXXXX)
mkdir -p "$root/home" "$root/config/pipewire/pipewire.conf.d" "$root/runtime"
chmod 700 "$root/runtime"
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_RUNTIME_DIR="$root/runtime"
unset PULSE_SERVER PIPEWIRE_REMOTE
cat >"$root/config/pipewire/pipewire.conf.d/nullsink.conf" <<'CONF'
context.objects = [
  { factory = adapter
    args = { factory.name = support.null-audio-sink node.name = nullsink
             media.class = Audio/Sink audio.position = [ FL FR ] } }
]
CONF
# The system's own ALSA configuration, with ALSA's default PCM and control
# sent to the plug-in as pipewire-alsa's own file would.
cat >"$root/asound.conf" <<ASOUND
</usr/share/alsa/alsa.conf>
pcm_type.pipewire { lib "$plugins/libasound_module_pcm_pipewire.so" }
ctl_type.pipewire { lib "$plugins/libasound_module_ctl_pipewire.so" }
pcm.!default { type pipewire playback_node "-1" capture_node "-1" }
ctl.!default { type pipewire }
ASOUND
export ALSA_CONFIG_PATH="$root/asound.conf" VELMAR_PIPEWIRE=1

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  rm -rf "$root"
}
trap cleanup EXIT

pipewire >"$root/pipewire.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  [ -S "$root/runtime/pipewire-0" ] && break
  sleep 0.1
done
[ -S "$root/runtime/pipewire-0" ] || { tail -20 "$root/pipewire.log" >&2; skip "PipeWire did not start"; }
wireplumber >"$root/wireplumber.log" 2>&1 &
pids+=($!)
"$@"
