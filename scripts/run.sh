#!/usr/bin/env bash
# Installs what is missing, builds, and starts VORNEXA with a program (the sample unless one is named).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/deps.sh" --gui
"$here/scripts/build.sh"
exec "$here/build/bin/vornexa" "${1:-$here/samples/bracket.nc}"
