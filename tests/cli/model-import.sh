#!/usr/bin/env bash
# velmora-cli import as a user runs it: 3D models (.3ds with its texture, .x) and a layout imported
# into a new layout at a point, listed with their files; the result read back by info and kept by
# convert; files that do not import, missing companions and wrong use.
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

run 0 new --out "$work/leer.vmp"
mkdir -p "$work/modelle/Tex"
cp "$models/Haus.3ds" "$work/modelle/Bahnhof.3ds"
printf 'Bild' >"$work/modelle/Tex/Boden.png"   # the texture the 3DS file names
cp "$models/Haus-bzip.x" "$work/modelle/Schuppen.x"

# Two models at (10, 0, 5): model objects named after their files, CAD type 4, the texture found.
run 0 import "$work/leer.vmp" "$work/modelle/Bahnhof.3ds" "$work/modelle/Schuppen.x" --out "$work/a.vmp" \
  --at 10,0,5 --json
echo "$out" | grep -q '"source":"'"$work"'/modelle/Bahnhof.3ds","entities":\[{"id":[0-9]*,"kind":"TRRModelDesc","kindId":"{B0051E49-BEC0-4613-81C8-1DE013CB79D2}","name":"Bahnhof","modelFile":"'"$work"'/modelle/Bahnhof.3ds","companions":\["'"$work"'/modelle/Tex/Boden.png"\]}' ||
  fail "3ds: $out"
echo "$out" | grep -q '"name":"Schuppen","modelFile":"'"$work"'/modelle/Schuppen.x","companions":\["'"$work"'/modelle/Tex/Boden.png"\]' ||
  fail "x: $out"
echo "$out" | grep -q '"missing":\[\]' || fail "missing: $out"
run 0 info "$work/a.vmp" --json
# The new layout's light, baseboard and three fixed cameras, and the two models.
echo "$out" | grep -q '"entityCount":7' || fail "count: $out"
echo "$out" | grep -q '"name":"Bahnhof","position":\[10,0.01,5\]' || fail "placed: $out"
echo "$out" | grep -q '"model":{"file":"'"$work"'/modelle/Bahnhof.3ds","companions":\["'"$work"'/modelle/Tex/Boden.png"\],"cadType":4,"enabled":true,"loop":true,"startTime":0,"speed":1}' ||
  fail "info model: $out"
run 0 info "$work/a.vmp"
echo "$out" | grep -q '^    Modell .*/modelle/Bahnhof.3ds, CAD-Typ 4, Animation an, Schleife, Start 0 s, Tempo 1$' ||
  fail "info text: $out"

# A layout imported into another brings its models and baseboard along, never its light or fixed
# cameras; a companion gone meanwhile is named.
rm "$work/modelle/Tex/Boden.png"
run 0 import "$work/a.vmp" "$work/a.vmp" --out "$work/b.vmp"
echo "$out" | grep -q '^3 Objekte importiert, gespeichert: '"$work"'/b.vmp$' || fail "layout: $out"
echo "$out" | grep -q "^  $work/modelle/Tex/Boden.png\$" || fail "missing text: $out"
run 0 info "$work/b.vmp" --json
echo "$out" | grep -q '"entityCount":10' || fail "ten: $out"
# convert keeps every model field.
run 0 convert "$work/b.vmp" "$work/c.vmp"
run 0 info "$work/c.vmp" --json
c=$(echo "$out" | grep -o '"model":{[^}]*}')
run 0 info "$work/b.vmp" --json
[ "$c" = "$(echo "$out" | grep -o '"model":{[^}]*}')" ] || fail "convert: $c"

# A file no reader takes: exit 1, the import message last, nothing written.
printf 'kein Modell\n' >"$work/modelle/text.x"
run 1 import "$work/a.vmp" "$work/modelle/Schuppen.x" "$work/modelle/text.x" --out "$work/d.vmp"
[ "$(echo "$err" | tail -n 1)" = "Fehler beim Importieren von $work/modelle/text.x. Die Datei hat ein unbekanntes Format." ] ||
  fail "unknown: $err"
[ ! -e "$work/d.vmp" ] || fail "written after a failure"
run 1 import "$work/a.vmp" "$work/modelle/fehlt.3ds" --out "$work/d.vmp"
[ ! -e "$work/d.vmp" ] || fail "written after a missing file"
run 1 import "$work/fehlt.vmp" "$work/modelle/Schuppen.x" --out "$work/d.vmp"
[ "$err" = "\"$work/fehlt.vmp\" wurde nicht gefunden." ] || fail "no layout: $err"
run 1 import "$work/a.vmp" "$work/modelle/Schuppen.x" --out "$work/modelle"
echo "$err" | grep -q "ist ein Ordner" || fail "folder: $err"

# Wrong use: exit 2.
run 2 import "$work/a.vmp" "$work/modelle/Schuppen.x"
run 2 import "$work/a.vmp" --out "$work/d.vmp"
run 2 import "$work/a.vmp" "$work/modelle/Schuppen.x" --out "$work/d.vmp" --at 1,2
echo "$err" | grep -q -- "--at erwartet X,Y,Z" || fail "at: $err"
run 2 import "$work/a.vmp" "$work/modelle/Schuppen.x" --out "$work/d.vmp" --at 1,2,nan
run 2 import "$work/a.vmp" "$work/modelle/Schuppen.x" --out
run 2 import "$work/a.vmp" "$work/modelle/Schuppen.x" --out "$work/d.vmp" --schnell
[ ! -e "$work/d.vmp" ] || fail "written after wrong use"
# A model named relative to the working folder is stored with its absolute path: the layout,
# saved elsewhere, still finds it.
(cd "$work/modelle" && "$cli" import "$work/leer.vmp" Schuppen.x --out "$work/e.vmp" "${roots[@]}" >/dev/null 2>&1) ||
  fail "relative import"
run 0 info "$work/e.vmp" --json
echo "$out" | grep -q '"model":{"file":"'"$work"'/modelle/Schuppen.x"' || fail "relative: $out"
echo "cli model import: ok"
