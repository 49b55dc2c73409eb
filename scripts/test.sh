#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/deps.sh"
"$here/scripts/build.sh"
if [ -n "${SANITIZE:-}" ]; then
    cd "$here/build-sanitize"
    # Memory errors and undefined behaviour fail a test; leaks at exit (the toolkit's own caches) are not looked for.
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
else
    cd "$here/build"
fi
ctest --output-on-failure -j"$(nproc)"
