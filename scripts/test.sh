#!/usr/bin/env bash
# The whole test command: installs what is missing, builds natively (plain and with
# AddressSanitizer + UndefinedBehaviorSanitizer) and runs the unit tests, builds the
# Windows program, then runs it under wine in a network lab: smoke test and
# end-to-end scenarios against the station simulator. Needs root (namespaces).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${JOBS:-2}

step() { printf '\n=== %s\n' "$*"; }

step "set-up"
bash scripts/setup.sh

step "native build and unit tests"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$jobs"
ctest --test-dir build/native --output-on-failure -j "$jobs"

step "unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DENABLE_SANITIZERS=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

step "Windows program (i686-w64-mingw32)"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build build/windows -j "$jobs"
bash scripts/check_product.sh build/windows/kvz3170-update.exe

# Wine runs the 32-bit product where the kernel executes 32-bit code; elsewhere it
# runs a 64-bit build of the same sources.
wine_build=build/windows
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    step "this kernel runs no 32-bit code: a 64-bit build of the same sources for wine64"
    cmake -S . -B build/windows64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
    cmake --build build/windows64 -j "$jobs"
    wine_build=build/windows64
fi

step "smoke test under wine ($wine_build)"
bash tests/wine/smoke.sh "$wine_build"

step "end-to-end scenarios under wine ($wine_build)"
bash tests/e2e/run_all.sh "$wine_build" build/native

step "all tests passed"
