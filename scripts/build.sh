#!/usr/bin/env bash
# Configures and builds VORNEXA into build/ (the build type comes from BUILD_TYPE, default
# RelWithDebInfo). With SANITIZE=1 it builds with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-sanitize/ instead.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
werror=OFF
if [ -n "${CI:-}" ]; then werror=ON; fi
sanitize=OFF
dir="$here/build"
if [ -n "${SANITIZE:-}" ]; then sanitize=ON; dir="$here/build-sanitize"; fi
cmake -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DVORNEXA_WERROR="$werror" \
    -DVORNEXA_SANITIZE="$sanitize" >/dev/null
cmake --build "$dir" -j"$(nproc)"
