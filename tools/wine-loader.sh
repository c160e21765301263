# Sourced by the scripts that run Windows programs: sets KESTROVA_WINE to the
# Wine loader that runs on this machine. /usr/bin/wine takes the 32-bit
# loader whenever the 32-bit Wine is installed, even where the kernel cannot
# run a 32-bit program ("Exec format error"); the 64-bit loader is then
# called by its own name. wine32_runs tells whether 32-bit programs can run.
wine32_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
if [ -z "${KESTROVA_WINE:-}" ]; then
  KESTROVA_WINE=wine
  if ! wine32_runs && [ -x /usr/lib/wine/wine64 ]; then
    KESTROVA_WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
  fi
  export KESTROVA_WINE
fi
