#!/usr/bin/env bash
# Builds the third-party libraries of the Windows programs, which Debian does
# not package for MinGW: SQLite, from Debian's own sqlite3 source package of
# the same version as this machine's libsqlite3 (with Debian's patches), and
# googletest/googlemock from /usr/src/googletest. Each goes, as static
# libraries, into build/windows-deps/<arch>/, where the toolchain files in
# cmake/toolchains look for them.
#
#   tools/windows-deps.sh [ARCH...]    ARCH: x86_64, i686 (default: both)
#
# Work already done for these versions is skipped, so calling it again costs
# nothing. tools/install-deps.sh calls it after installing the compilers.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
deps=$source_dir/build/windows-deps
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x86_64 i686)

sqlite_version=$(dpkg-query -W -f='${Version}' libsqlite3-0)
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
say() { echo "windows-deps: $*"; }

# SQLite as Debian builds it for Linux, less what the tool never uses (full
# text search, R-trees, loadable extensions).
sqlite_flags=(
  -O2 -fno-strict-aliasing
  -DSQLITE_THREADSAFE=1 -DSQLITE_SECURE_DELETE -DSQLITE_ENABLE_COLUMN_METADATA
  -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_ENABLE_DBSTAT_VTAB -DSQLITE_LIKE_DOESNT_MATCH_BLOBS
  -DSQLITE_USE_URI=1 -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_MAX_VARIABLE_NUMBER=250000
  -DSQLITE_OMIT_LOAD_EXTENSION
)

# The amalgamation (sqlite3.c and sqlite3.h) of Debian's patched sources,
# made once for every architecture.
amalgamation=$deps/sqlite3-$sqlite_version/amalgamation
make_amalgamation() {
  [ -f "$amalgamation/sqlite3.c" ] && return
  local work=$deps/sqlite3-$sqlite_version
  rm -rf "$work" && mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
  # A sources list of its own, so the machine's lists stay as they are.
  cat >"$work/apt/sources.list" <<'LIST'
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main
LIST
  local apt=(apt-get -qq -o "Dir::Etc::SourceList=$work/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache" -o APT::Sandbox::User=root)
  say "fetching Debian's sqlite3 $sqlite_version sources"
  "${apt[@]}" update
  (cd "$work" && "${apt[@]}" source --download-only "sqlite3=$sqlite_version")
  # The download was checked against the archive's signed index; dpkg-source
  # checks the pieces against the .dsc and applies Debian's patches.
  (cd "$work" && dpkg-source -x "sqlite3_$sqlite_version.dsc" source >dpkg-source.log 2>&1) || {
    cat "$work/dpkg-source.log" >&2
    exit 1
  }
  say "making the SQLite amalgamation"
  mkdir -p "$work/native"
  (cd "$work/native" && ../source/configure --disable-tcl >configure.log 2>&1 && make sqlite3.c >make.log 2>&1) || {
    tail -20 "$work/native/"*.log >&2
    exit 1
  }
  mkdir -p "$amalgamation"
  cp "$work/native/sqlite3.c" "$work/native/sqlite3.h" "$work/source/src/sqlite3ext.h" "$amalgamation/"
  # Only the amalgamation is kept.
  find "$work" -mindepth 1 -maxdepth 1 ! -name amalgamation -exec rm -rf {} +
}

build_sqlite() {
  local arch=$1 prefix=$deps/$1
  local stamp=$prefix/.sqlite-$sqlite_version
  [ -f "$stamp" ] && return
  make_amalgamation
  say "building SQLite $sqlite_version for $arch"
  local work=$deps/build-sqlite-$arch
  rm -rf "$work" && mkdir -p "$work" "$prefix/lib" "$prefix/include"
  "$arch-w64-mingw32-gcc-posix" "${sqlite_flags[@]}" -c "$amalgamation/sqlite3.c" -o "$work/sqlite3.o"
  rm -f "$prefix/lib/libsqlite3.a"
  "$arch-w64-mingw32-ar" rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
  cp "$amalgamation"/sqlite3*.h "$prefix/include/"
  rm -rf "$work"
  touch "$stamp"
}

build_googletest() {
  local arch=$1 prefix=$deps/$1
  local stamp=$prefix/.googletest-$gtest_version
  [ -f "$stamp" ] && return
  say "building googletest $gtest_version for $arch"
  local work=$deps/build-googletest-$arch
  rm -rf "$work"
  cmake -S /usr/src/googletest -B "$work" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchains/mingw-w64-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$work" -j2 >/dev/null
  cmake --install "$work" >/dev/null
  rm -rf "$work"
  touch "$stamp"
}

for arch in "${arches[@]}"; do
  case $arch in
    x86_64 | i686) ;;
    *) echo "windows-deps: unknown architecture $arch (x86_64 or i686)" >&2 && exit 2 ;;
  esac
  build_sqlite "$arch"
  build_googletest "$arch"
done
say "ready in $deps"
