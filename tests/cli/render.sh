#!/usr/bin/env bash
# "velmora-cli render" as a user runs it, on the generated sample layout with every root in a
# fresh folder: the same bytes on every run, the JSON report, the top-down and technical views,
# and the failures - wrong use (exit 2) and a damaged layout (exit 1) - leave no picture behind.
set -eu
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"
sample="$data/Beispielanlagen/Kleine Beispielanlage.vmp"

"$cli" render "$sample" -o "$work/a.png" --size 320x200 "${roots[@]}" >/dev/null
"$cli" render "$sample" -o "$work/b.png" --size 320x200 "${roots[@]}" >/dev/null
cmp "$work/a.png" "$work/b.png"
# A PNG of the asked size (the width and height in its header).
[ "$(od -An -tx1 -j16 -N8 "$work/a.png" | tr -d ' \n')" = "00000140000000c8" ] || {
  echo "png header: $(od -An -tx1 -j16 -N8 "$work/a.png")"; exit 1; }

"$cli" render "$sample" -o "$work/c.bmp" --size 64x48 --frames 3 --json "${roots[@]}" >"$work/c.json"
grep -q '"size":{"width":64,"height":48},"frames":3,"drawCalls":[1-9][0-9]*,"loadMs":[0-9.e+-]*,"firstFrameMs":[0-9.e+-]*,"frameMs":[0-9.e+-]*}' \
  "$work/c.json" || { cat "$work/c.json"; exit 1; }
# 24-bit BMP, rows padded to four bytes: 54 + 48 * 192 bytes.
[ "$(head -c 2 "$work/c.bmp")" = "BM" ] && [ "$(stat -c %s "$work/c.bmp")" -eq $((54 + 48 * 192)) ] || {
  echo "bmp: $(stat -c %s "$work/c.bmp") bytes"; exit 1; }
"$cli" render "$sample" -o "$work/d.jpg" --size 64x48 --json "${roots[@]}" >"$work/d.json"
grep -q '"frameMs":null' "$work/d.json" || { cat "$work/d.json"; exit 1; }
[ "$(head -c 3 "$work/d.jpg" | od -An -tx1 | tr -d ' \n')" = "ffd8ff" ] || { echo "jpeg header"; exit 1; }

"$cli" render "$sample" -o "$work/2d.png" --camera-type 3 --size 64x48 --json "${roots[@]}" >"$work/2d.json"
grep -q '"camera":{"name":"[^"]*","type":3}' "$work/2d.json" || { cat "$work/2d.json"; exit 1; }
"$cli" render "$sample" -o "$work/t.png" --technical --size 64x48 --json "${roots[@]}" >"$work/t.json"
grep -q '"type":4}' "$work/t.json" || { cat "$work/t.json"; exit 1; }

expect() {  # expected status, then the command's arguments; no picture may be left
  local want="$1"; shift
  rm -f "$work/x.png" "$work/x.gif"
  set +e
  msg=$("$cli" render "$@" "${roots[@]}" 2>&1 >/dev/null)
  rc=$?
  set -e
  [ "$rc" -eq "$want" ] || { echo "render $*: exit status $rc, expected $want: $msg"; exit 1; }
  [ -n "$msg" ] || { echo "render $*: no message"; exit 1; }
  [ ! -e "$work/x.png" ] && [ ! -e "$work/x.gif" ] || { echo "render $*: left a picture"; exit 1; }
  [ -z "$(ls -A "$work" | grep '\.tmp$' || true)" ] || { echo "render $*: left a work file"; exit 1; }
}
expect 2 "$sample" -o "$work/x.png" --frobnicate
expect 2 "$sample" -o "$work/x.png" --size 8x8
expect 2 "$sample" -o "$work/x.png" --size 9000x100
expect 2 "$sample" -o "$work/x.png" --frames 0
expect 2 "$sample" -o "$work/x.png" --camera "Gibt es nicht"
expect 2 "$sample" -o "$work/x.png" --camera-type 7
expect 2 "$sample" -o "$work/x.gif"
expect 2 "$sample"
# A layout whose entity section is cut short.
head -c 4000 "$sample" >"$work/kaputt.vmp"
expect 1 "$work/kaputt.vmp" -o "$work/x.png"
expect 1 "$work/gibt-es-nicht.vmp" -o "$work/x.png"
echo "render: ok"
