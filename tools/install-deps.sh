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
)

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi

export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${packages[@]}"
