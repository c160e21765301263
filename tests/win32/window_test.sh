#!/usr/bin/env bash
# window_test.sh PART WINDOW PROBE SAMPLE_SHOP: the Win32 window as a person
# drives it. Starts Xvfb on a free display, openbox on it, a Wine prefix of
# its own and the window in a sample shop; types and clicks with xdotool,
# answers the window's boxes by clicking their buttons, and reads the window
# back with the probe and the shop's rows with sqlite3. Ends every process
# it started by its pid. PART: layout, mask or combines.
set -uo pipefail
part=$1 window=$(realpath "$2") probe=$(realpath "$3") sample_shop=$(realpath "$4")

for tool in wine wineserver Xvfb openbox xdotool sqlite3; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed"
    exit 77
  fi
done
. "$(dirname "$0")/../../tools/wine-loader.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-win32.XXXXXX")
pids=()
failures=0
finish() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap finish EXIT

display=90
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do ((display++)); done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X$display ]] && break; sleep 0.1; done
export DISPLAY=:$display WINEPREFIX=$work/prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
"$KESTROVA_WINE" wineboot -i </dev/null >/dev/null 2>&1

fail() {
  echo "FAILED: $*"
  ((failures++))
}
check() {  # check WHAT EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then echo "ok: $1"; else fail "$1: expected '$2', got '$3'"; fi
}
probe() { "$KESTROVA_WINE" "$probe" "$@" 2>/dev/null | tr -d '\r'; }
# The line of control NAME: name left top width height visible checked text
control() { probe controls | grep "^$1 "; }
box_text() { probe controls | awk -v n="$1" '$1 == n { for (i = 8; i <= NF; i++) printf "%s%s", $i, (i < NF ? " " : ""); }'; }
click() {
  local at
  at=$(probe centre "$1")
  xdotool mousemove $at click 1
  sleep 0.3
}
keys() { xdotool key --delay 60 "$@"; sleep 0.3; }
# Waits for the window's box and prints what the probe reads of it.
wait_box() {
  local seen
  for _ in $(seq 60); do
    if seen=$(probe box) && [[ -n "$seen" ]]; then
      printf '%s\n' "$seen"
      return 0
    fi
    sleep 0.5
  done
  return 1
}
# Clicks the button BUTTON of the box described in $2.
answer() {
  local at
  at=$(printf '%s\n' "$2" | awk -v b="$1" '$1 == "button" && $4 == b { print $2, $3; exit }')
  if [[ -z "$at" ]]; then
    fail "no button $1 in the box"
    return
  fi
  xdotool mousemove $at click 1
  for _ in $(seq 40); do probe box >/dev/null || break; sleep 0.25; done
}
count() { sqlite3 "$shop/$1" "$2"; }

shop=$work/shop
"$KESTROVA_WINE" "$sample_shop" "Z:${shop//\//\\}" >/dev/null 2>&1 || { echo "FAILED: no sample shop"; exit 1; }
(cd "$shop" && exec "$KESTROVA_WINE" "$window") >"$work/window.log" 2>&1 &
window_pid=$!
pids+=($window_pid)
for _ in $(seq 120); do probe controls >/dev/null && break; sleep 0.5; done
probe controls >/dev/null || { echo "FAILED: the window did not show"; exit 1; }
# The window has the keyboard focus, as when a person has just started it.
xdotool search --sync --onlyvisible --name '^Kestrova Combining Tool$' windowactivate --sync >/dev/null 2>&1
sleep 0.5

case $part in
layout)
  # Each control at its twips (15 a pixel at 96 DPI), in the tab order, with its text.
  expected="client 360 173
optCustomer 180 300 1095 255 visible checked Customer
txtCustFrom 1320 300 1575 285 visible -
txtCustTo 3120 300 1575 285 visible -
optVehicle 200 600 1095 255 visible unchecked Vehicle
txtVehiFrom 1320 600 1575 285 visible -
txtVehiTo 3120 600 1575 285 visible -
optEmployee 200 900 1095 255 visible unchecked Employee
txtEmpFrom 1320 900 1695 285 visible - ___-__-____
txtEmpTo 3120 900 1695 285 visible - ___-__-____
cmdGo 4020 1740 1275 375 visible - &Go
cmdCancel 4020 2100 1275 375 visible - &Close
Label1 1800 60 420 195 visible - From
Label2 3720 60 375 255 visible - To
Label3 120 1320 3915 855 visible - Enter the customer or vehicle 7 digit ID numbers or the emplopees 11 digit SSN to combine.  All WOs will be referenced to the To number.  The From number can then be deleted.  Click the Go button when ready.
panProgress 105 2160 3855 315 hidden -
Label4 4920 60 435 195 visible - v5.15
focus optCustomer"
  actual=$(probe controls)
  mapfile -t want <<<"$expected"
  mapfile -t got <<<"$actual"
  check "controls" "${#want[@]}" "${#got[@]}"
  for i in "${!want[@]}"; do
    read -r name l t w h rest <<<"${want[i]}"
    read -r gname gl gt gw gh grest <<<"${got[i]:-}"
    if [[ $name == client || $name == focus ]]; then
      check "$name" "${want[i]}" "${got[i]:-}"
      continue
    fi
    # Edges are converted, so each edge may differ from twips/15 by the rounding.
    near() { (($1 * 15 - $2 <= 15 && $2 - $1 * 15 <= 15)); }
    if [[ $gname == "$name" ]] && near "$gl" "$l" && near "$gt" "$t" && near $((gl + gw)) $((l + w)) &&
      near $((gt + gh)) $((t + h)); then
      echo "ok: $name at its twips"
    else
      fail "$name: expected at $l $t $w $h twips, got '${got[i]:-}'"
    fi
    check "$name" "$rest" "$grest"
  done
  # The option buttons are one group: the arrows move the choice, Tab leaves it.
  keys Down
  check "Down on Customer" "optVehicle 200 600 1095 255 visible checked Vehicle" \
    "$(control optVehicle | awk '{ $2 = 200; $3 = 600; $4 = 1095; $5 = 255 } 1')"
  keys Tab
  check "Tab leaves the group" "focus txtVehiFrom" "$(probe controls | grep '^focus')"
  keys Escape
  for _ in $(seq 40); do kill -0 "$window_pid" 2>/dev/null || break; sleep 0.25; done
  if kill -0 "$window_pid" 2>/dev/null; then fail "Esc did not close the window"; else echo "ok: Esc closes"; fi
  ;;

mask)
  # From an empty employee box: the keys typed, and what the box shows.
  cases=(
    "1 2 3 4 5 6 7 8 9|123-45-6789"
    "1 2 a b minus space 3|123-__-____"
    "1 2 3 4 5 6 7 8 9 0 1 2|123-45-6789"
    "1 2 3 4 5 6 7 8 9 Left BackSpace End 5|123-45-6759"
    "1 2 Tab shift+Tab 3|123-__-____"
    "1 2 3 Home Delete|_23-__-____"
    "1 2 3 Home shift+Right shift+Right BackSpace 7|7_3-__-____"
  )
  for entry in "${cases[@]}"; do
    typed=${entry%|*}
    click txtEmpFrom
    keys Home shift+End Delete
    # shellcheck disable=SC2086
    keys $typed
    check "$typed" "${entry#*|}" "$(box_text txtEmpFrom)"
  done
  ;;

combines)
  # A vehicle whose archive ARC2023 is found nowhere: the diskette prompt,
  # the archive's failure, and a closing report that says so.
  mv "$shop/ARC2023.arc" "$work/"
  click optVehicle
  click txtVehiFrom
  xdotool type --delay 60 2000002
  click txtVehiTo
  xdotool type --delay 60 2000001
  keys Return
  seen=$(wait_box)
  check "diskette prompt" "text Place the diskette containing the ARC2023 file in the A drive and click Ok." \
    "$(grep '^text' <<<"$seen")"
  answer OK "$seen"
  seen=$(wait_box)
  check "archive failure" "icon|text Unable to update archive file: ARC2023" \
    "$(grep -E '^(icon|text)' <<<"$seen" | paste -sd'|')"
  answer OK "$seen"
  seen=$(wait_box)
  check "closing report" "box KestrovaClosingBox" "$(head -1 <<<"$seen" | cut -d' ' -f1-2)"
  grep -q "^text Done.||1 archive was not updated" <<<"$seen" || fail "closing report text: $seen"
  answer OK "$seen"
  # The management orders of the archive not updated keep the From vehicle,
  # so that running the combine again with the archive at hand finishes it.
  check "vehicle re-pointed" "0 0 0 0 0" "$(count kestrova.mdb "select count(*) from History where AutoID='2000002'") \
$(count mgmtdata.mdb "select count(*) from Services where AutoID='2000002'") \
$(count mgmtdata.mdb "select count(*) from Orders where AutoID='2000002' and coalesce(Archive, '') <> 'ARC2023'") \
$(count w_orders.mdb "select count(*) from Orders where AutoID='2000002'") \
$(count ARC2024.arc "select count(*) from Orders where AutoID='2000002'")"
  mv "$work/ARC2023.arc" "$shop/"

  # A customer: the confirmation, Yes its default, then "Done.".
  click optCustomer
  click txtCustFrom
  xdotool type --delay 60 1000002
  click txtCustTo
  xdotool type --delay 60 1000001
  keys Return
  seen=$(wait_box)
  grep -q "^text The accounts receivable information" <<<"$seen" || fail "no confirmation: $seen"
  check "confirmation buttons" "&Yes|&No" "$(awk '$1 == "button" { print $4 }' <<<"$seen" | paste -sd'|')"
  keys Return
  seen=$(wait_box)
  check "customer done" "text Done." "$(grep -E '^(icon|text)' <<<"$seen")"
  answer OK "$seen"
  check "customer re-pointed" "0 0 0" "$(count mgmtdata.mdb "select count(*) from Orders where CustID='1000002'") \
$(count w_orders.mdb "select count(*) from Orders where CustID='1000002'") \
$(count ARC2023.arc "select count(*) from Orders where CustID='1000002'")"

  # An employee: eight digits are refused with a beep and the stop icon;
  # the ninth typed at the end goes to the empty place.
  click optEmployee
  click txtEmpFrom
  xdotool type --delay 60 11122444
  click txtEmpTo
  xdotool type --delay 60 111223333
  keys Return
  seen=$(wait_box)
  check "refusal" "icon|text Not all employee IDs have been entered." \
    "$(grep -E '^(icon|text)' <<<"$seen" | paste -sd'|')"
  answer OK "$seen"
  check "no employee changed" "1" "$(count w_orders.mdb "select count(*) > 0 from Orders where EmplID='111-22-4444'")"
  click txtEmpFrom
  keys End 4
  keys Return
  seen=$(wait_box)
  check "employee done" "text Done." "$(grep -E '^(icon|text)' <<<"$seen")"
  answer OK "$seen"
  check "employee re-pointed" "0 0 0" "$(count mgmtdata.mdb "select count(*) from Orders where EmplID='111-22-4444'") \
$(count w_orders.mdb "select count(*) from Orders where EmplID='111-22-4444'") \
$(count ARC2024.arc "select count(*) from Orders where EmplID='111-22-4444'")"
  check "boxes after the runs" "111-22-4444 111-22-3333" "$(box_text txtEmpFrom) $(box_text txtEmpTo)"
  ;;
*)
  echo "usage: window_test.sh layout|mask|combines WINDOW PROBE SAMPLE_SHOP"
  exit 64
  ;;
esac

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
