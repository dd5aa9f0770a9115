#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and quiet; CTest's emulator for
# the Windows build. Usage: scripts/wine-run.sh <wine-prefix-dir> <program.exe> [args...]
#
# The prefix is private to the build tree. Wine never tries to install Mono
# or Gecko, never looks for an X display, and prints no debug channels.
set -euo pipefail
if [[ $# -lt 2 ]]; then
  echo "usage: $0 <wine-prefix-dir> <program.exe> [args...]" >&2
  exit 2
fi
prefix=$(realpath -m "$1")  # Wine wants an absolute path
shift

export WINEPREFIX=$prefix
export WINEDEBUG=${VEMO_WINEDEBUG:--all}  # e.g. VEMO_WINEDEBUG=err+all to diagnose
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

# Under a lock, since CTest may start several programs at once: the prefix
# is made on first use, and a wineserver is started unless one serves the
# prefix already (scripts/test-windows.sh keeps one running). Wine's own
# services start with the first program and live as long as the server; they
# must not inherit the caller's output (CTest would wait for it to close),
# so they are started here with none. A server started here stays 30 s after
# the last program, then ends with its services.
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [[ ! -f "$prefix/.vemo-ready" ]]; then
  wineboot -i </dev/null >/dev/null 2>&1
  # Report Windows 10, and let programs make hidden windows without X.
  wine winecfg /v win10 </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
  touch "$prefix/.vemo-ready"
fi
if wineserver -p30 </dev/null >/dev/null 2>&1; then
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1
fi
flock -u 9
exec 9>&-

rc=0
wine "$@" || rc=$?
# Wine says nothing when a program cannot start at all (53: a DLL is
# missing; 5: it crashed before main), so say it here.
if [[ $rc -ne 0 ]]; then
  echo "wine-run: $1 exited with code $rc" >&2
fi
exit $rc
