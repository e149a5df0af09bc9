#!/usr/bin/env bash
# Set-up commands for a Debian 12 machine, run as root from the project's root.
#
#   scripts/velmar.sh run    install what is missing, build, start the player
#   scripts/velmar.sh test   install what is missing, build and run the whole
#                            test suite (plus a sanitizer build and the Debian
#                            package's checks); non-zero on any failure
#   scripts/velmar.sh deb    install what is missing, build the Debian package
#                            as build/velmar_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

build_packages=(g++ make cmake pkg-config clang-format
  qt6-base-dev libcdio-dev libcdio-paranoia-dev libcue-dev libsndfile1-dev libmpg123-dev
  libsamplerate0-dev libasound2-dev libxcb1-dev libgtest-dev libgmock-dev)
run_packages=(qt6-qpa-plugins qt6-wayland qt6-translations-l10n libasound2-plugins fonts-liberation2
  fonts-dejavu-core)
test_packages=(pulseaudio pulseaudio-utils alsa-utils xvfb xauth x11-utils imagemagick
  xdotool appstream desktop-file-utils dbus-daemon dbus-bin sox playerctl pipewire wireplumber pipewire-bin
  shared-mime-info libglib2.0-bin)
# dpkg-buildpackage checks build-essential besides debian/control's list.
deb_packages=(build-essential dpkg-dev debhelper)
deb_test_packages=(lintian man-db groff-base fontconfig)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

configure_and_build() {  # DIR [cmake options...]
  local dir=$1
  shift
  mkdir -p "$dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs"
}

# PipeWire's ALSA plug-in for the tests, unpacked into DIR/pipewire-alsa and
# never installed: the package pipewire-alsa would remove PulseAudio and make
# the plug-in every program's default device.
unpack_pipewire_alsa() {  # DIR
  local dir=$1/pipewire-alsa
  compgen -G "$dir/usr/lib/*/alsa-lib/libasound_module_pcm_pipewire.so" >/dev/null && return 0
  rm -rf "$dir" && mkdir -p "$dir"
  (cd "$dir" && { apt-get download -qq pipewire-alsa ||
    { apt-get update -qq && apt-get download -qq pipewire-alsa; }; } 2>&1 | grep -v unsandboxed || true)
  dpkg-deb -x "$dir"/pipewire-alsa_*.deb "$dir"
}

# Builds the package from a copy of the sources in build/deb (debhelper writes
# into debian/, dpkg-buildpackage beside the source folder) and leaves it as
# build/velmar_VERSION_ARCH.deb. The package build compiles only what it
# ships, without the tests.
build_deb() {
  local work=build/deb
  rm -rf "$work" build/velmar_*.deb
  mkdir -p "$work/velmar"
  git ls-files -z --cached --others --exclude-standard |
    tar --null -T - --ignore-failed-read -cf - | tar -xf - -C "$work/velmar"
  (cd "$work/velmar" &&
    DEB_BUILD_OPTIONS="nocheck noddebs parallel=$jobs" dpkg-buildpackage -b -us -uc) \
    >"$work/build.log" 2>&1 || { tail -n 60 "$work/build.log"; return 1; }
  cp "$work"/velmar_*.deb build/
  ls build/velmar_*.deb
}

case "${1:-}" in
  run)
    shift
    install_missing "${build_packages[@]}" "${run_packages[@]}"
    configure_and_build build -DVELMAR_TESTS=OFF
    # No disc named and no CD drive: the demo disc the build made.
    if [ $# -eq 0 ] && ! compgen -G '/dev/sr[0-9]*' >/dev/null && [ ! -e /dev/cdrom ]; then
      set -- build/demo/velmar-demo.cue
    fi
    exec build/velmar "$@"
    ;;
  test)
    install_missing "${build_packages[@]}" "${run_packages[@]}" "${test_packages[@]}" \
      "${deb_packages[@]}" "${deb_test_packages[@]}"
    echo "== format check"
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
    echo "== build (warnings are errors) and tests"
    configure_and_build build-ci -DVELMAR_WERROR=ON
    unpack_pipewire_alsa build-ci
    (cd build-ci && ctest -j"$jobs" --output-on-failure)
    echo "== Debian package: build, lintian, the unpacked program"
    started=$SECONDS
    build_deb
    tests/support/check-package.sh build/velmar_*.deb . build-ci/velmar-mkdisc
    echo "== Debian package built and checked in $((SECONDS - started)) s"
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
    configure_and_build build-asan -DVELMAR_WERROR=ON -DVELMAR_SANITIZE=ON \
      -DCMAKE_BUILD_TYPE=Debug
    unpack_pipewire_alsa build-asan
    (cd build-asan && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest -j"$jobs" --output-on-failure)
    ;;
  deb)
    install_missing "${build_packages[@]}" "${deb_packages[@]}"
    build_deb
    ;;
  *)
    echo "usage: $0 run [DISC] | test | deb" >&2
    exit 2
    ;;
esac
