#!/usr/bin/env bash
# Installs what is missing, builds into build/ and starts Pagelume.
# With no arguments the window opens; with arguments it converts from the
# command line (see ./run.sh --help).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" >&2
exec build/pagelume "$@"
