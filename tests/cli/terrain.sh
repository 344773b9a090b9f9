#!/usr/bin/env bash
# The baseboard on the command line: a shaped new layout, its panel listed by info, heights
# exported as text and pictures, edited, imported into the same panel (ID kept) and written to a
# new layout; wrong use exits 2, failures 1 with the German line.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"
fail() { echo "FEHLER: $*"; exit 1; }
run() {
  local want=$1; shift
  out=$("$cli" "$@" "${roots[@]}" 2>"$work/err"); rc=$?
  err=$(cat "$work/err")
  [ "$rc" -eq "$want" ] || fail "velmora-cli $* gab $rc statt $want: $out $err"
}

# Without options the default board; an L shape takes the shape page's grid unless --grid names one.
run 0 new --out "$work/standard.vmp"
run 0 info "$work/standard.vmp" --json
echo "$out" | grep -q '"panel":{"shape":0,"a":300,"b":150,"c":0,"d":0,"e":0,"f":0,"grid":10,"thickness":5,"points":496,"partitions":1' ||
  fail "default: $out"
run 0 new --out "$work/l.vmp" --shape 1 --size 200,100,50,40 --grid 10 --thickness 3
run 0 info "$work/l.vmp" --json
echo "$out" | grep -q '"panel":{"shape":1,"a":200,"b":100,"c":50,"d":40,"e":0,"f":0,"grid":10,"thickness":3,"points":[0-9]*,"partitions":2' ||
  fail "L: $out"
id=$(echo "$out" | grep -o '"id":[0-9]*,"kind":"TRRPanelDesc"' | grep -o '[0-9]*' | head -1)
[ -n "$id" ] || fail "no panel id: $out"
run 2 new --out "$work/x.vmp" --shape 1 --size 200,100,50,40 --grid 7
run 2 new --out "$work/x.vmp" --shape 9
run 2 new --out "$work/x.vmp" --thickness 500
# The thickness alone keeps the default outline and its 10 cm grid.
run 0 new --out "$work/dick.vmp" --thickness 3
run 0 info "$work/dick.vmp" --json
echo "$out" | grep -q '"panel":{"shape":0,"a":300,"b":150,"c":0,"d":0,"e":0,"f":0,"grid":10,"thickness":3,' ||
  fail "thickness only: $out"

# Export as text, raise one point, import into the same panel.
run 0 terrain export "$work/l.vmp" "$id" "$work/h.csv"
echo "$out" | grep -q "Höhenfeld erfolgreich nach $work/h.csv exportiert." || fail "export text: $out"
grep -q '^3,2,0.000' "$work/h.csv" || fail "csv: $(head -3 "$work/h.csv")"
sed -i 's/^3,2,0.000/3,2,12.500/' "$work/h.csv"
run 0 terrain import "$work/l.vmp" "$id" "$work/h.csv" --out "$work/l2.vmp" --json
run 0 info "$work/l2.vmp" --json
echo "$out" | grep -q "\"id\":$id,\"kind\":\"TRRPanelDesc\"" || fail "id kept: $out"
echo "$out" | grep -q '"heightMin":0,"heightMax":12.5' || fail "heights: $out"

# Pictures: the greys span the height range; imported back with that range.
run 0 terrain export "$work/l2.vmp" "$id" "$work/h.png" --json
echo "$out" | grep -q '"low":0,"high":12.5' || fail "png range: $out"
run 0 terrain export "$work/l2.vmp" "$id" "$work/h.bmp"
run 0 terrain import "$work/l.vmp" "$id" "$work/h.png" --out "$work/l3.vmp" --low 0 --high 25
run 0 info "$work/l3.vmp" --json
echo "$out" | grep -q '"heightMin":0,"heightMax":25' || fail "png import: $out"
run 0 terrain import "$work/l.vmp" "$id" "$work/h.bmp" --out "$work/l4.vmp" --origin 10,0 --high 25
run 0 convert "$work/l4.vmp" "$work/l5.vmp"
run 0 info "$work/l5.vmp" --json
echo "$out" | grep -q '"heightMax":25' || fail "convert: $out"

# The sample's baseboard: listed with its paint, and a headless convert keeps every painted point.
sample="$data/Beispielanlagen/Kleine Beispielanlage.vmp"
run 0 info "$sample" --json
before=$(echo "$out" | grep -o '"panel":{[^]]*]')
echo "$before" | grep -q 'Bodentexturen\\\\Schotter.dds","scale":0.03,"loaded":false,"paintedPoints":[1-9]' ||
  fail "sample panel: $before"
run 0 convert "$sample" "$work/sample.vmp"
run 0 info "$work/sample.vmp" --json
after=$(echo "$out" | grep -o '"panel":{[^]]*]')
[ "$before" = "$after" ] || fail "convert changed the panel: $before / $after"
# Heights imported into the painted baseboard leave its paint as it was.
sid=$(echo "$out" | grep -o '"id":[0-9]*,"kind":"TRRPanelDesc"' | grep -o '[0-9]*' | head -1)
run 0 terrain export "$sample" "$sid" "$work/sample.csv"
run 0 terrain import "$sample" "$sid" "$work/sample.csv" --out "$work/sample2.vmp"
run 0 info "$work/sample2.vmp" --json
paint() { echo "$1" | grep -o '"textures":\[[^]]*]'; }
[ "$(paint "$before")" = "$(paint "$(echo "$out" | grep -o '"panel":{[^]]*]')")" ] ||
  fail "import changed the paint: $(paint "$before")"

# Failures and wrong use.
printf 'kein Bild' >"$work/kaputt.png"
run 1 terrain import "$work/l.vmp" "$id" "$work/kaputt.png" --out "$work/k.vmp"
echo "$err" | grep -q "Das angegebene Höhenfeld konnte nicht geladen werden." || fail "bad picture: $err"
[ ! -e "$work/k.vmp" ] || fail "written after a failure"
run 1 terrain export "$work/l.vmp" 999 "$work/h2.csv"
run 2 terrain export "$work/l.vmp" "$id" "$work/h.jpg"
run 2 terrain import "$work/l.vmp" "$id" "$work/h.csv"
run 2 terrain import "$work/l.vmp" "$id" "$work/h.csv" --out "$work/k.vmp" --origin 5
run 2 terrain frobnicate
echo "ok"
