#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the screenshots need.
# The README's commands and .ci/run both call this script, so the list lives here only.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev sqlite3
  qt6-base-dev libqt6test6
  googletest libgtest-dev
  xvfb xauth
  # the ODBC store: the driver manager, and the SQLite and PostgreSQL drivers it is tested with
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql postgresql
  # the Windows programs: the posix-thread MinGW-w64 compilers (64- and 32-bit),
  # Wine to run their tests, tcl to make SQLite's amalgamation from its
  # sources, and a window manager and xdotool for the Windows window's tests
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine tcl xdotool openbox
)
# The 32-bit Wine, for the 32-bit program's tests, comes from the i386 half of
# the archive.
foreign_packages=(wine32:i386)

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
# A mirror caught in the middle of its sync fails an index now and then: the
# update is tried again, and if one index still fails the install goes on
# with the others; a package it then cannot find fails the install.
for attempt in 1 2 3; do
  if $sudo apt-get update -qq; then
    break
  elif [ "$attempt" = 3 ]; then
    echo "install-deps.sh: an index could not be updated; installing from the ones that were" >&2
  else
    sleep 20
  fi
done
$sudo apt-get install -y -qq --no-install-recommends "${packages[@]}" "${foreign_packages[@]}"

# SQLite and googletest built for Windows, which Debian does not package.
bash "$(dirname "$0")/windows-deps.sh"
