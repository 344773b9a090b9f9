#!/usr/bin/env bash
# Installs what is missing, builds the Release programs and starts the program: the desktop
# program where a display exists, otherwise the command-line program's self-check.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"
# ccache keys on paths relative to the checkout, so a fresh clone in another folder reuses the
# cache of earlier builds on this machine.
export CCACHE_BASEDIR="$here" CCACHE_NOHASHDIR=true
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF
cmake --build "$here/build/release"
cli="$here/build/release/cli/velmora-cli"
gui="$here/build/release/gui/velmora"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$gui" ]; then
  # Without arguments the program opens the sample layout.
  [ $# -eq 0 ] && set -- --sample
  exec "$gui" "$@"
fi
"$cli" --version
exec "$cli" selfcheck "$@"
