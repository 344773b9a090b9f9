#!/usr/bin/env bash
# velmora-cli model info as a user runs it: the primitives of the shared base package by their
# virtual paths, a .3ds file, one .x model in every form (all read the same), and the failures.
set -u
models="$4"
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"
fail() { echo "FEHLER: $*"; exit 1; }
run() {
  local want=$1; shift
  out=$("$cli" "$@" "${roots[@]}" 2>"$work/err"); rc=$?
  err=$(cat "$work/err")
  [ "$rc" -eq "$want" ] || fail "velmora-cli $* gab $rc statt $want: $out $err"
}
shared='Game:\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}'

# The primitives: engine meshes, 3DS and DirectX models, each 10 units across on y = 0.
for f in Box Sphere Cylinder Ramp; do
  run 0 model info "$shared\\$f.gxmesh" --json
  echo "$out" | grep -q '"format":"gxmesh"' || fail "$f: $out"
  echo "$out" | grep -q '"usage":"POSITION".*"usage":"NORMAL".*"usage":"TEXCOORD"' || fail "$f elements: $out"
  echo "$out" | grep -q '"streams":\[{"stride":32,' || fail "$f stream: $out"
done
run 0 model info "$shared\\Box.gxmesh"
echo "$out" | grep -q '^Ecken: 24 ab 0$' || fail "box text: $out"
for f in Plane.3ds Circle.3ds Pyramid.x RoundArch.x; do
  run 0 model info "$shared\\$f" --json
  case $f in *.3ds) want=3DS ;; *) want=X ;; esac
  echo "$out" | grep -q "^{\"format\":\"$want\"" || fail "$f format: $out"
  echo "$out" | grep -Eq '"boundsMin":\[-5,0,-?[0-9.]+\],"boundsMax":\[5,' || fail "$f bounds: $out"
done

# A 3DS model with a node tree, a texture and a colour, and an animation.
run 0 model info "$models/Haus.3ds"
echo "$out" | grep -q '^Format: 3DS$' || fail "3ds: $out"
echo "$out" | grep -q 'Teil 0: erster Index 0, 6 Indizes, Textur "Tex\\Boden.png"' || fail "3ds texture: $out"
echo "$out" | grep -q 'Teil 1: erster Index 6, 6 Indizes, Farbe FFFF8000' || fail "3ds colour: $out"
echo "$out" | grep -q '^    "Tuer" Position (2, 0, 0)' || fail "3ds node: $out"
echo "$out" | grep -q '^  "Tuer": 2 Positionen, 3 Drehungen, 0 Skalierungen$' || fail "3ds track: $out"
run 0 model info "$models/Haus.3ds" --json
echo "$out" | grep -q '"texture":"\\u0000FFFF8000"' || fail "3ds colour json: $out"

# One .x model in every form reads the same.
run 0 model info "$models/Haus-text.x" --json
text=$out
echo "$text" | grep -q '"animation":{"secondsPerFrame":0.04,"endFrame":50,' || fail "x animation: $text"
for f in Haus-binary.x Haus-tzip.x Haus-bzip.x Haus-64.x; do
  run 0 model info "$models/$f" --json
  [ "$out" = "$text" ] || fail "$f differs: $out"
done

# Failures: one line with each reader's reason, exit 1; wrong use, exit 2.
printf 'kein Modell\n' >"$work/text.bin"
run 1 model info "$work/text.bin"
echo "$err" | grep -q 'Unknown 3DS file.*Unknown DirectX file' || fail "reasons: $err"
[ "$(echo "$err" | wc -l)" -eq 1 ] || fail "one line: $err"
head -c 100 "$models/Haus-tzip.x" >"$work/cut.x"
run 1 model info "$work/cut.x"
[ "$err" = "\"$work/cut.x\" ist kein lesbares Modell: Unknown DirectX file." ] || fail "cut: $err"
run 1 model info "$work/fehlt.3ds"
[ "$err" = "\"$work/fehlt.3ds\" wurde nicht gefunden." ] || fail "missing: $err"
run 2 model
run 2 model list
run 2 model info
run 2 model info a.x b.x
run 2 model info a.x --yaml
run 0 model --help
echo "$out" | grep -q "velmora-cli model info DATEI" || fail "help: $out"
run 0 model info --help
echo "model info: ok"
