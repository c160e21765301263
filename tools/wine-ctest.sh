#!/usr/bin/env bash
# Runs a Windows build's tests under Wine: tools/wine-ctest.sh PRESET [CTEST ARGS...]
# (PRESET: windows or windows-x86; the build must be done). The 32-bit
# programs run in the same 64-bit prefix, through the 32-bit Wine (wine32).
#
# Each run gets a Wine prefix of its own in a temporary folder, so no run
# sees what another left, and the prefix is removed at the end whatever
# happens. One Wine server is kept up for the whole run and Wine is warmed
# up once before CTest: without that each test waits about 3 s for Wine's
# helper processes, and CTest can hang.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:?usage: tools/wine-ctest.sh PRESET [CTEST ARGS...]}
shift
. tools/wine-loader.sh

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all
# No Wine dialogs, Mono or Gecko installers in a test run.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

finish() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap finish EXIT

# The server stays up for the whole run (detached, so CTest's pipes are not its).
wineserver -p </dev/null >/dev/null 2>&1
"$KESTROVA_WINE" wineboot -i </dev/null >/dev/null 2>&1
"$KESTROVA_WINE" cmd /c exit </dev/null >/dev/null 2>&1
ctest --preset "$preset" "$@"
