#!/usr/bin/env bash
# Runs one Windows test program under Wine in a private prefix.
#
#   wine_test_runner.sh PREFIX PROGRAM [ARGS...]
#   wine_test_runner.sh --template      makes the template, prints its path
#
# The prefix is copied from a template made once per machine and set of
# set-up steps (wineboot -i takes about 12 s, a copy about 2 s). Before the
# test runs, this script starts the prefix's persistent wineserver and boots
# the prefix with every standard stream on /dev/null, under a lock: if the
# test's own wine process started the server, Wine's background processes
# would inherit ctest's pipes and a test would take seconds longer or hang.
# For the same reason the server must not inherit the lock's descriptor, or
# it would hold the lock until it exits.
set -euo pipefail

prefix=$1
shift

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEARCH=win64
# Wine's server socket lives under TMPDIR: every run against one prefix must
# agree on it.
export TMPDIR=/tmp
# No Mono or Gecko installer prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
# No X server is needed: the prefix uses Wine's null graphics driver.
unset DISPLAY WAYLAND_DISPLAY

# The steps that turn a fresh prefix into the template. The template and every
# prefix copied from it are stamped with a hash of these steps and of Wine's
# version, and made again when either changes: edit the steps, and the next
# test run uses a prefix made by the new ones.
template_steps() {
  wineboot -i
  # A crashing program must end, not wait behind a crash dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
  # Top-level windows on a virtual monitor, without an X server.
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f
  winecfg -v win10
  wineserver -w
}

# Asked without a prefix: with --template, WINEPREFIX holds no path and Wine
# would refuse to answer, so the two ways in would name different templates.
stamp=$({ declare -f template_steps; env -u WINEPREFIX wine --version 2>/dev/null; } |
  sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/velk_vpn
template=${VELK_WINE_TEMPLATE:-$cache/wine-template-$stamp}

stamp_of() { cat "$1/.velk-template" 2>/dev/null || true; }

make_template() {
  mkdir -p "$(dirname "$template")"
  (
    flock 8
    [ "$(stamp_of "$template")" = "$stamp" ] && exit 0
    rm -rf "$template" "$template.tmp"
    (
      export WINEPREFIX=$template.tmp
      template_steps
    ) </dev/null >/dev/null 2>&1 8>&- 9>&-
    echo "$stamp" >"$template.tmp/.velk-template"
    mv "$template.tmp" "$template"
  ) 8>"$template.lock"
}

if [ "$prefix" = --template ]; then
  make_template
  echo "$template"
  exit 0
fi

(
  flock 9
  if [ "$(stamp_of "$prefix")" != "$stamp" ]; then
    make_template
    if [ -d "$prefix" ]; then
      # A prefix made by other steps: its server (and services) go with it.
      wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
      rm -rf "$prefix"
    fi
    cp -a "$template" "$prefix"
  fi
  # -p60 keeps the server (and the services it runs) alive between tests;
  # the number must be attached, since Debian's wrapper already passes -p0.
  wineserver -p60 </dev/null >/dev/null 2>&1 9>&- || true
  wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
) 9>"$prefix.lock"

# The test's output reaches ctest through a file, never through ctest's pipe:
# a process that Wine starts on the test's behalf (the session's system
# processes end a moment after the last program of the prefix, and the next
# program starts them again) inherits the test's standard streams and lives
# on, and ctest waits for its pipe to close until the test times out, though
# the test has passed. tail streams the file and ends with the test.
output=$(mktemp "$TMPDIR/velk_test_output.XXXXXX")
wine "$@" </dev/null >"$output" 2>&1 &
test_pid=$!
tail -n +1 -s 0.1 -f --pid="$test_pid" "$output"
status=0
wait "$test_pid" || status=$?
rm -f "$output"
exit "$status"
