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
  # the automation benchmark's plain bus client
  libdbus-1-dev
  # parameter files of real track systems that the track library tests read (data only)
  xtrkcad-common
  # programs the test scripts call (a minimal Debian has neither)
  curl procps
  # engine foundation; locales for the tests that run under a German number format
  zlib1g-dev libssl-dev libpugixml-dev uuid-dev locales
  # rendering: OpenGL 3.3 core through libepoxy, EGL on Mesa (llvmpipe)
  libepoxy-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri
  # sound
  libopenal-dev
  # layout application
  libcurl4-openssl-dev libzip-dev libjpeg62-turbo-dev libpng-dev libsquish-dev
  # fake HTTP servers of the package download tests (the package server has its own)
  libcpp-httplib-dev
  # desktop program and automation
  qt6-base-dev libqt6opengl6-dev libqt6dbus6 dbus dbus-x11 xvfb xauth
  # the automation examples and the bus tests' clients (gdbus, the distribution's python3 with D-Bus)
  libglib2.0-bin python3-dbus python3-gi
  # German texts of the toolkit's own dialogs, and a font for the windows under Xvfb
  qt6-translations-l10n fonts-dejavu-core
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
need_root() {
  [ -z "$SUDO" ] && return 0
  command -v sudo >/dev/null 2>&1 || { echo "setup: root oder sudo wird benötigt" >&2; exit 1; }
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: alle Pakete sind vorhanden (${#PACKAGES[@]})."
else
  need_root
  echo "setup: installiere ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The German locale: tests check that stored numbers do not follow the user's number format.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  need_root
  echo "setup: erzeuge die Locale de_DE.UTF-8"
  if grep -q '^# *de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    $SUDO sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo "de_DE.UTF-8 UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >/dev/null
fi
echo "setup: fertig."
