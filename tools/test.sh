#!/usr/bin/env bash
# Builds everything and runs the whole test suite with CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default
cmake --build --preset default
ctest --preset default
