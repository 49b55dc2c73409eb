#!/usr/bin/env bash
# Configures and builds VORNEXA into build/ (the build type comes from BUILD_TYPE, default RelWithDebInfo).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
werror=OFF
if [ -n "${CI:-}" ]; then werror=ON; fi
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DVORNEXA_WERROR="$werror" >/dev/null
cmake --build "$here/build" -j"$(nproc)"
