#!/usr/bin/env bash
# Builds everything and runs the whole test suite with CTest, then builds it
# once more with the address and undefined-behaviour sanitizers and runs the
# whole suite again under them. A compiler warning fails either build.
# KESTROVA_SKIP_SANITIZE=1 leaves the second pass out (for a quick local run).
# A third pass cross-builds the Windows programs, 64- and 32-bit, and runs
# their tests under Wine; KESTROVA_SKIP_WINDOWS=1 leaves it out. The 32-bit
# tests need the 32-bit Wine: where tools/install-deps.sh --tests could not
# install it, they are left out and the run says so, last.
set -euo pipefail
cd "$(dirname "$0")/.."

# What did not run, said again as the run's last lines.
not_run=()
finish() {
  local line
  for line in "${not_run[@]}"; do
    echo "test.sh: $line"
  done
  exit 0
}

cmake --preset default -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build --preset default
ctest --preset default

windows_pass() {
  if [ "${KESTROVA_SKIP_WINDOWS:-0}" = 1 ]; then
    not_run+=("Windows tests not run: KESTROVA_SKIP_WINDOWS=1")
    return
  fi
  bash tools/windows-deps.sh
  # The 64-bit programs reach the Access-shaped test driver, a Linux
  # library, through Wine's odbc32 and the data source that
  # tools/jet-test-driver.sh registers for this user.
  local jet=(-UKESTROVA_JET_DSN)
  mkdir -p build
  if bash tools/jet-test-driver.sh >build/jet-test-driver.log 2>&1; then
    jet=(-DKESTROVA_JET_DSN=KestrovaJet)
  else
    not_run+=("Windows tests through the Access-shaped driver not run: $(tail -1 build/jet-test-driver.log)")
  fi
  # The 64-bit build runs every suite; the 32-bit one, for the Access driver
  # of older Windows, every suite but the ODBC store's (a 32-bit program
  # under Wine would need the host's 32-bit unixODBC and drivers), the
  # crash-and-rerun kills and the window, which its 64-bit twin has run on
  # the same code (they would double the pass's time).
  cmake --preset windows -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "${jet[@]}"
  cmake --build --preset windows
  # A test that fails under Wine is run once more before it counts: Wine now
  # and then fails to start a process or keeps a pipe open; a real fault
  # fails twice. The kills through the Access-shaped driver, the slowest
  # suite, have run on Linux.
  bash tools/wine-ctest.sh windows -j2 --repeat until-pass:2 -E '^jet[.].*CrashRerun'
  . tools/wine-loader.sh
  if ! wine32_runs; then
    local reason="wine32 is not installed"
    if [ -s build/install-deps/wine32-missing ]; then
      reason="wine32 could not be installed ($(head -1 build/install-deps/wine32-missing))"
    elif dpkg-query -W -f='${Status}\n' wine32:i386 2>/dev/null | grep -qx 'install ok installed'; then
      reason="wine32 is installed, but this machine cannot run 32-bit programs (its kernel refuses the 32-bit Wine loader)"
    fi
    not_run+=("32-bit Windows tests not run: $reason")
    echo "test.sh: ${not_run[-1]}"
    return
  fi
  cmake --preset windows-x86 -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
  cmake --build --preset windows-x86
  bash tools/wine-ctest.sh windows-x86 -j2 --repeat until-pass:2 -E '^odbc[.]|^jet[.]|^Odbc|CrashRerun|^win32[.]'
  not_run+=("32-bit ODBC suites not run: Wine's 32-bit odbc32 needs the host's 32-bit unixODBC and drivers, not installed here")
}

if [ "${KESTROVA_SKIP_SANITIZE:-0}" = 1 ]; then
  windows_pass
  finish
fi
# Any report ends the test that caused it; leaks count as faults too.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cmake --preset sanitize -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build --preset sanitize
ctest --preset sanitize

windows_pass
finish
