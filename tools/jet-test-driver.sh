#!/usr/bin/env bash
# Builds the Access-shaped test driver (an ODBC driver in front of the
# SQLite ODBC driver that answers as the Microsoft Access driver does) and
# registers it for the current user only, as the data source "KestrovaJet"
# in the user's odbc.ini (the file `odbcinst -j` names under USER DATA
# SOURCES, normally ~/.odbc.ini); nothing under /etc is changed. Then checks
# that the driver manager really reaches the driver through that name, and
# prints, last, the connection template with which the tool opens a
# folder's files through it. Running it again rebuilds what changed and
# writes the same entry again.
set -euo pipefail

usage() {
  cat <<'EOF'
Usage: tools/jet-test-driver.sh [-h|--help]

Builds the kestrova_jet_driver library (the default preset; configures it
first when build/default does not exist), registers it for the current user
as the ODBC data source "KestrovaJet" in the user's odbc.ini, checks that a
connection through it answers as the Access driver does, and prints as its
last line the connection template to give the tool, in which the tool puts
each file's path for {path}.

Connection attributes the driver reads itself (add them to the template):
  Linked=Tasks,Techs   tables listed by SQLTables as SYNONYM (linked tables)
  Language=de|en       language of the lock messages (default de)
  MaxLocksPerFile=N    rows a transaction changes before the driver commits
                       on its own (default 9500)
EOF
}

case "${1:-}" in
  -h | --help)
    usage
    exit 0
    ;;
  "") ;;
  *)
    usage >&2
    exit 2
    ;;
esac

cd "$(dirname "$0")/.."
root=$(pwd)
dsn=KestrovaJet

for program in cmake odbcinst isql; do
  if ! command -v "$program" >/dev/null; then
    echo "jet-test-driver.sh: $program is missing; run tools/install-deps.sh --tests first" >&2
    exit 1
  fi
done

if [ ! -d build/default ]; then
  cmake --preset default
fi
cmake --build --preset default --target kestrova_jet_driver
library="$root/build/default/tests/support/jet_driver/libkestrova_jet_driver.so"
if [ ! -f "$library" ]; then
  echo "jet-test-driver.sh: the build made no $library (is the SQLite ODBC driver, libsqliteodbc, installed?)" >&2
  exit 1
fi

user_ini=$(odbcinst -j | sed -n 's/^USER DATA SOURCES\.*: *//p')
if [ -z "$user_ini" ]; then
  echo "jet-test-driver.sh: odbcinst names no user data source file" >&2
  exit 1
fi
# An entry of an earlier run is replaced whole, not merged.
odbcinst -u -s -h -n "$dsn" >/dev/null 2>&1 || true
entry=$(mktemp)
check=$(mktemp -d)
trap 'rm -rf "$entry" "$check"' EXIT
cat >"$entry" <<EOF
[$dsn]
Description=Kestrova test driver answering as the Microsoft Access driver, over SQLite files
Driver=$library
EOF
odbcinst -i -s -h -f "$entry" >/dev/null
echo "jet-test-driver.sh: data source $dsn registered in $user_ini"

# A statement only the Access driver refuses, on an empty SQLite file: its
# message shows that the name leads to this driver.
: >"$check/check.mdb"
answer=$(echo "SAVEPOINT s" | isql -v -b -k "DSN=$dsn;Database=$check/check.mdb" 2>&1 || true)
if ! grep -q "Microsoft Access Driver" <<<"$answer"; then
  echo "jet-test-driver.sh: the driver manager does not reach the driver through $dsn:" >&2
  echo "$answer" >&2
  exit 1
fi
echo "jet-test-driver.sh: checked: $dsn answers as the Access driver"

echo "DSN=$dsn;Database={path}"
