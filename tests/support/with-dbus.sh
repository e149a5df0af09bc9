#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus, which ends with it.
#
#   tests/support/with-dbus.sh COMMAND [ARG ...]
#
# The command sees DBUS_SESSION_BUS_ADDRESS of the private bus and
# VELMAR_PRIVATE_BUS=1, by which the tests know they may take names on it.
# Exit status: the command's, or 77 when dbus-run-session is missing (1 in
# CI, where it is part of the set-up).
set -u
if ! command -v dbus-run-session >/dev/null; then
  echo "with-dbus: dbus-run-session missing (package dbus-daemon)" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
# The bus daemon keeps its files in the runtime folder: it must exist.
if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
# dbus-daemon's "Failed to set fd limit" warning is harmless; it is dropped.
exec dbus-run-session -- env VELMAR_PRIVATE_BUS=1 "$@" 2> >(grep -v 'Failed to set fd limit' >&2)
