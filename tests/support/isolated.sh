#!/usr/bin/env bash
# isolated.sh TEST [ARGUMENTS...]: ctest starts every test through this, so a test run from a
# desktop session is as sealed off as one in CI. The test gets temporary HOME and XDG folders
# (its runtime folder too), no display, no proxy, and a D-Bus session of its own whose Secret
# Service is a fresh unlocked gnome-keyring: it cannot see or change the desktop's secret
# store, claim names on its bus or leave sockets in its runtime folder. A test that leaves an
# item in its store fails.
set -euo pipefail
sandbox="$(mktemp -d "${TMPDIR:-/tmp}/clipferry-test.XXXXXX")"
trap 'rm -rf "$sandbox"' EXIT
mkdir -p "$sandbox"/{home,data,config,cache,state,runtime}
chmod 700 "$sandbox/runtime"
export HOME="$sandbox/home" XDG_DATA_HOME="$sandbox/data" XDG_CONFIG_HOME="$sandbox/config" \
  XDG_CACHE_HOME="$sandbox/cache" XDG_STATE_HOME="$sandbox/state" \
  XDG_RUNTIME_DIR="$sandbox/runtime"
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL SSH_AUTH_SOCK \
  http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY
# Qt and the system libraries keep process-lifetime allocations that LeakSanitizer would
# report on every test; memory errors and undefined behaviour still abort.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

for tool in dbus-run-session gnome-keyring-daemon dbus-send; do
  command -v "$tool" >/dev/null || { echo "isolated.sh: the tests need $tool" >&2; exit 1; }
done
# The daemons' own chatter goes to the discarded stream; the test's output to fd 3.
exec 3>&2
dbus-run-session -- bash -c '
  set -uo pipefail
  # A non-empty password creates and unlocks the default "login" collection without a prompt.
  if ! eval "$(printf clipferry-tests |
               gnome-keyring-daemon --daemonize --unlock --components=secrets)" >/dev/null; then
    echo "isolated.sh: gnome-keyring did not start" >&3
    exit 1
  fi
  "$@" 2>&3
  status=$?
  items="$(dbus-send --session --print-reply --dest=org.freedesktop.secrets \
             /org/freedesktop/secrets/aliases/default org.freedesktop.DBus.Properties.Get \
             string:org.freedesktop.Secret.Collection string:Items)"
  if grep -q "object path" <<<"$items"; then
    echo "isolated.sh: the test left items in the secret store:" >&3
    grep "object path" <<<"$items" >&3
    [ "$status" -ne 0 ] || status=1
  fi
  exit "$status"
' isolated.sh "$@" 2>/dev/null
