#!/usr/bin/env bash
# Installs what is missing, builds the program and its tests with
# AddressSanitizer and UndefinedBehaviorSanitizer into build-test/, and runs
# every test. Long tests (label "long") run with: ./test.sh --long
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh --test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPAGELUME_SANITIZE=ON -DPAGELUME_BUILD_TESTS=ON >/dev/null
cmake --build build-test -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
cd build-test
if [[ "${1:-}" == "--long" ]]; then
    ctest --output-on-failure -j"$(nproc)" -L long
else
    ctest --output-on-failure -j"$(nproc)" -LE long
fi
