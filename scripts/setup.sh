#!/usr/bin/env bash
# Installs every Debian 12 package the build, the programs and the tests need.
# Idempotent: packages already present are skipped and apt-get runs only for the rest.
# Works as root and through sudo.
set -euo pipefail

PACKAGES=(
  # tool chain
  build-essential cmake ninja-build ccache pkg-config git
  # tests, benchmarks, fuzzing
  libgtest-dev libgmock-dev googletest libbenchmark-dev clang
  # engine foundation
  zlib1g-dev libssl-dev libpugixml-dev uuid-dev
  # rendering: OpenGL 3.3 core through libepoxy, EGL on Mesa (llvmpipe)
  libepoxy-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  # sound
  libopenal-dev
  # layout application
  libcurl4-openssl-dev libzip-dev libjpeg62-turbo-dev libpng-dev libsquish-dev
  # desktop program and automation
  qt6-base-dev libqt6opengl6-dev libqt6dbus6 dbus dbus-x11 xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: alle Pakete sind vorhanden (${#PACKAGES[@]})."
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 || { echo "setup: root oder sudo wird benötigt" >&2; exit 1; }
  SUDO="sudo"
fi

echo "setup: installiere ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: fertig."
