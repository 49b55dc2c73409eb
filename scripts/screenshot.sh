#!/usr/bin/env bash
# Retakes docs/screenshot.png: VORNEXA with a program (the sample unless one is named) under Xvfb.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
program="${1:-$here/samples/bracket.nc}"
out="${2:-$here/docs/screenshot.png}"
"$here/scripts/deps.sh" --gui
for tool in xvfb-run import; do
    command -v "$tool" >/dev/null || { sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo; $sudo apt-get install -y xvfb xauth imagemagick; break; }
done
"$here/scripts/build.sh"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
VORNEXA_HOME="$home" XDG_CONFIG_HOME="$home/config" xvfb-run -a -s "-screen 0 1024x720x24" bash -c '
    "$0" "$1" & pid=$!
    sleep 3
    import -window root -crop 690x690+0+0 +repage "$2"
    kill $pid' "$here/build/bin/vornexa" "$program" "$out"
echo "wrote $out"
