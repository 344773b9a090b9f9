#!/usr/bin/env bash
# "velmora-cli new", "info" and "convert" as a user runs them, with every root in a fresh folder
# below the build tree and the generated base packages as the Game root.
set -eu
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"

"$cli" new --out "$work/neu.vmp" "${roots[@]}" >/dev/null
# The file starts with the project header, version 12.
[ "$(head -c 22 "$work/neu.vmp" | od -An -tx1 | tr -d ' \n')" = "0523c7b3e7c62cd751448c41032323e8f90d0c000000" ] || {
  echo "header: $(head -c 22 "$work/neu.vmp" | od -An -tx1)"; exit 1; }
"$cli" info "$work/neu.vmp" --json "${roots[@]}" >"$work/info.json"
grep -q '"header":{"guid":"{C6E7B3C7-D72C-4451-8C41-032323E8F90D}","version":12}' "$work/info.json" || {
  cat "$work/info.json"; exit 1; }
"$cli" convert "$work/neu.vmp" "$work/kopie.vmp" "${roots[@]}" >/dev/null
cmp "$work/neu.vmp" "$work/kopie.vmp"

# A file that is no layout: one message, exit status 1.
head -c 500 /dev/urandom >"$work/zufall.vmp"
set +e
msg=$("$cli" info "$work/zufall.vmp" "${roots[@]}" 2>&1)
rc=$?
set -e
[ "$rc" -eq 1 ] || { echo "exit status $rc, expected 1"; exit 1; }
[ "$msg" = "\"$work/zufall.vmp\" ist keine Projektdatei." ] || { echo "message: $msg"; exit 1; }
echo "project files: ok"
