#!/usr/bin/env bash
# Installs the Debian packages of the project; the README's commands and
# .ci/run call it, so the one list of packages lives here.
#
#   tools/install-deps.sh           what the Linux build and the demo need
#   tools/install-deps.sh --tests   that, and what the whole test suite needs:
#                                   the ODBC drivers and PostgreSQL, the
#                                   Windows toolchain and Wine (the 32-bit
#                                   Wine where the mirror can serve it)
set -euo pipefail
cd "$(dirname "$0")/.."

# The Linux programs, their tests' libraries and the demo.
build_packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev sqlite3
  qt6-base-dev libqt6test6
  googletest libgtest-dev
  unixodbc-dev
)
# The test suite on top: the ODBC drivers the store is tested with, a
# PostgreSQL server the tests start on a socket of their own; the Windows
# programs' posix-thread MinGW-w64 compilers (64- and 32-bit), Wine to run
# their tests, tcl to make SQLite's amalgamation from its sources, and an X
# server, a window manager and xdotool for the Windows window's tests.
test_packages=(
  unixodbc libsqliteodbc odbc-postgresql postgresql
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine tcl
  xvfb xauth xdotool openbox
)
# The 32-bit Wine, for the 32-bit program's tests, comes from the i386 half
# of the archive. It is optional: without it only those tests do not run.
wine32_package=wine32:i386
# Where the install says why the 32-bit Wine is missing; tools/test.sh
# repeats it when it leaves the 32-bit tests out.
wine32_note=build/install-deps/wine32-missing

say() { echo "install-deps.sh: $*" >&2; }

with_tests=0
case "${1:-}" in
  "") ;;
  --tests) with_tests=1 ;;
  -h | --help)
    sed -n '2,9s/^# \{0,1\}//p' "$0"
    exit 0
    ;;
  *)
    say "unknown option '$1' (--tests installs what the test suite needs too)"
    exit 2
    ;;
esac

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi
export DEBIAN_FRONTEND=noninteractive

# A mirror caught in the middle of its sync fails an index now and then, at
# times for hours. The update is tried once more; if an index still fails,
# the install goes on with the indexes that did update, and a package that
# is in none of them fails the install with its name.
update_indexes() {
  $sudo apt-get update -qq && return
  sleep 10
  $sudo apt-get update -qq && return
  say "an index could not be updated; installing from the ones that were"
}

installed() {
  dpkg-query -W -f='${Status}\n' "$@" 2>/dev/null | grep -c '^install ok installed$' | grep -qx "$#"
}

wanted=("${build_packages[@]}")
[ "$with_tests" = 1 ] && wanted+=("${test_packages[@]}")
if ! installed "${wanted[@]}"; then
  update_indexes
  $sudo apt-get install -y -qq --no-install-recommends "${wanted[@]}"
fi
[ "$with_tests" = 1 ] || exit 0

# SQLite and googletest built for Windows, which Debian does not package.
bash tools/windows-deps.sh

# The 32-bit Wine last, so that nothing above waits on the i386 half.
install_wine32() {
  local added_i386=0 log
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
    added_i386=1
  fi
  log=$(mktemp)
  if $sudo apt-get update -qq >"$log" 2>&1 &&
    $sudo apt-get install -y -qq --no-install-recommends "$wine32_package" >>"$log" 2>&1; then
    rm -f "$log" "$wine32_note"
    return
  fi
  # apt's update may fail on the i386 index alone and still leave what the
  # install needs: the install is what decides.
  if $sudo apt-get install -y -qq --no-install-recommends "$wine32_package" >>"$log" 2>&1; then
    rm -f "$log" "$wine32_note"
    return
  fi
  local reason
  reason=$(grep -E '^E: ' "$log" | tail -1 | sed 's/^E: //')
  rm -f "$log"
  [ -n "$reason" ] || reason="apt-get could not install $wine32_package"
  # An architecture added here for nothing is taken away again, so that the
  # machine's later updates do not keep failing on its index.
  if [ "$added_i386" = 1 ] && [ -z "$(dpkg-query -W -f='${binary:Package}\n' '*:i386' 2>/dev/null)" ]; then
    $sudo dpkg --remove-architecture i386 || true
  fi
  mkdir -p "$(dirname "$wine32_note")"
  printf '%s\n' "$reason" >"$wine32_note"
  say "32-bit Wine not installed, so the 32-bit Windows tests will not run: $reason"
}
if installed "$wine32_package"; then
  rm -f "$wine32_note"
else
  install_wine32
fi
