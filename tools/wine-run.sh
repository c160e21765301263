#!/usr/bin/env bash
# Runs one Windows program under Wine for CTest: tools/wine-run.sh PROGRAM [ARGS...]
#
# Every process Wine starts keeps the first one's error output open, the
# console helper it starts beside each child among them. One of those that
# lingers after a test has ended would hold CTest's pipe open until the
# test's time ran out. So the program writes into a file of its own, this
# script waits for the program itself, not for the pipe, and hands CTest what
# it wrote once it has ended.
set -u
output=$(mktemp "${TMPDIR:-/tmp}/kestrova-wine-run.XXXXXX")
WINEDEBUG=-all "${KESTROVA_WINE:-wine}" "$@" >"$output" 2>&1 &
program=$!
# CTest ends a test that ran out of time with a signal: the program goes too,
# and what it wrote is still shown.
stop() {
  kill -KILL "$program" 2>/dev/null
  cat "$output"
  rm -f "$output"
  exit 1
}
trap stop TERM INT HUP
wait "$program"
status=$?
cat "$output"
rm -f "$output"
exit "$status"
