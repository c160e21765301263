#!/usr/bin/env bash
# Makes a sample shop in a new folder and combines a vehicle in it with the
# command line, showing the rows of both vehicles before and after.
# Run from the project's root after the default build.
set -euo pipefail

bin=build/default/bin
shop=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-sample-shop.XXXXXX")
"$bin/kestrova-sample-shop" "$shop"

show() {
  for file in kestrova.mdb:History mgmtdata.mdb:Services mgmtdata.mdb:Orders w_orders.mdb:Orders \
              ARC2023.arc:Orders ARC2024.arc:Orders; do
    db=${file%%:*} table=${file##*:}
    printf '  %-13s %-9s' "$db" "$table"
    sqlite3 "$shop/$db" "SELECT '2000002: ' || sum(AutoID = '2000002') || '   2000001: ' || sum(AutoID = '2000001') FROM $table"
  done
}

echo
echo "Rows of vehicle 2000002 (entered twice) and 2000001 before the combine:"
show
echo
echo "$ kestrova-combine vehicle 2000002 2000001 --dir $shop"
"$bin/kestrova-combine" vehicle 2000002 2000001 --dir "$shop"
echo
echo "After the combine:"
show
echo
echo "The sample shop stays in $shop; try the customer and employee combines there too:"
echo "  $bin/kestrova-combine customer 1000002 1000001 --dir $shop"
echo "  $bin/kestrova-combine employee 111-22-4444 111-22-3333 --dir $shop"
