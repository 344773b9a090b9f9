#!/usr/bin/env bash
# The layering check must fail on each kind of violation and pass a sound tree.
set -u
check="$1/scripts/check-layering.sh"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
status=0

expect() {  # expect <pass|fail> <description> then files as path:content pairs
  local want=$1 what=$2; shift 2
  rm -rf "$tmp/tree"; mkdir -p "$tmp/tree"
  for entry in "$@"; do
    local path=${entry%%:*} content=${entry#*:}
    mkdir -p "$tmp/tree/$(dirname "$path")"
    printf '%s\n' "$content" > "$tmp/tree/$path"
  done
  if bash "$check" "$tmp/tree" >/dev/null 2>&1; then got=pass; else got=fail; fi
  if [ "$got" != "$want" ]; then echo "FAILED: $what (expected $want, got $got)"; status=1; fi
}

expect pass "own and lower layers" \
  'engine/core/A.h:#include "engine/core/B.h"' \
  'app/RRX.h:#include "engine/render/GXY.h"' \
  'automation/Auto.h:#include <QtCore/QObject>' \
  'gui/Main.cpp:#include <QtWidgets/QWidget>'
expect fail "core includes render" 'engine/core/A.h:#include "engine/render/GXScene.h"'
expect fail "render includes media" 'engine/render/A.h:#include "engine/media/GXSound.h"'
expect fail "app includes automation" 'app/entities/RRX.h:#include "automation/VMPControl.h"'
expect fail "Qt below automation" 'app/RRX.cpp:#include <QString>'
expect fail "OpenGL in the core" 'engine/core/A.cpp:#include <epoxy/gl.h>'
expect fail "curl in the engine" 'engine/render/A.cpp:#include <curl/curl.h>'
exit $status
