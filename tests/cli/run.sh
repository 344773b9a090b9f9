#!/usr/bin/env bash
# "velmora-cli run" on the generated sample layout: the train goes round (every piece entered is
# left again), the station's events stop and start it, the same bytes on every run and the log of
# the golden file, the same pieces with longer steps, a switch set by hand, the night's light,
# nothing moves with animations off, the locomotive sounds on the null sound output, and wrong use
# (exit 2) and a damaged layout (exit 1).
set -eu
golden="$(dirname "${BASH_SOURCE[0]}")/data/run-sample.golden"
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"
sample="$data/Beispielanlagen/Kleine Beispielanlage.vmp"

"$cli" run "$sample" --seconds 60 "${roots[@]}" >"$work/a.txt"
"$cli" run "$sample" --seconds 60 "${roots[@]}" >"$work/b.txt"
cmp "$work/a.txt" "$work/b.txt"
diff -u "$golden" "$work/a.txt" || { echo "run: the log differs from $golden"; exit 1; }

# The train goes round and into the siding by turns: every piece it enters it also leaves, except
# those under it at the start (left, never entered) and at the end (entered, not yet left).
pieces() { grep "$1" "$2" | sed 's/.*(ID \([0-9]*\), Fahrweg.*/\1/' | tr '\n' ' '; }
entered=$(pieces "betritt" "$work/a.txt")
left=$(pieces "verlässt" "$work/a.txt")
[ "$(echo "$entered" | wc -w)" -ge 12 ] || { echo "run: the train entered too few pieces: $entered"; exit 1; }
unmatched=$( (for p in $entered; do echo "+$p"; done; for p in $left; do echo "-$p"; done) |
  awk '{ id = substr($0, 2); n[id] += (substr($0, 1, 1) == "+") ? 1 : -1 }
       END { for (id in n) if (n[id] > 1 || n[id] < -1) bad = bad " " id; else if (n[id] != 0) odd++;
             print (bad == "" ? odd : "bad" bad) }')
case "$unmatched" in bad*) echo "run: pieces entered or left twice in a row:${unmatched#bad} ($entered / $left)"; exit 1 ;; esac
[ "$unmatched" -le 16 ] || { echo "run: $unmatched pieces entered or left without the other"; exit 1; }

# The station's events: the train stops at the signal, waits for the countdown, sets off again
# and throws the turnout; both signals go to stop and back.
for line in "Signal schaltet: \"Einfahrsignal\"" "Signal schaltet: \"Vorsignal Bahnhof\"" \
    "Aktion \"Lokgeschwindigkeit setzen\" von \"Einfahrt Bahnhof\": Geschwindigkeit 0 cm/s" \
    "Countdown läuft ab: \"Aufenthalt\"" \
    "Aktion \"Lokgeschwindigkeit setzen\" von \"Abfahrt\": Geschwindigkeit 25 cm/s" \
    "Aktion \"Weiche schalten\" von \"Abfahrt\"" "Weiche schaltet: \"WR15\""; do
  grep -qF "$line" "$work/a.txt" || { echo "run: no line \"$line\""; exit 1; }
done
# The toggle switch on the desk, set by hand at one second, throws the turnout then.
"$cli" run "$sample" --seconds 2 --set 1:Weichenschalter=1 "${roots[@]}" >"$work/set.txt"
grep -q '^1.000 s  Bild 25  Weiche schaltet: "WR15" .*Stellung 1' "$work/set.txt" || { cat "$work/set.txt"; exit 1; }
# At night the light's preset is the night's.
"$cli" run "$sample" --seconds 0.04 --light Nacht --json "${roots[@]}" >"$work/night.json"
grep -q '"light":"Nacht"' "$work/night.json" || { cat "$work/night.json"; exit 1; }
# The final state lists the events with their flags.
grep -q '"enabled":\[{"id":1,"group":"Ereignisse","enabled":true},{"id":2,"event":"Einfahrt Bahnhof","enabled":true}' \
  "$work/night.json" || { cat "$work/night.json"; exit 1; }

# Longer steps: the same pieces in the same order (the stops last whole steps, so the run is
# compared over its first lap).
"$cli" run "$sample" --seconds 60 --dt 0.2 "${roots[@]}" >"$work/c.txt"
first() { echo "$1" | cut -d' ' -f1-14; }
[ "$(first "$(pieces "betritt" "$work/c.txt")")" = "$(first "$entered")" ] || {
  echo "run --dt 0.2: $(pieces "betritt" "$work/c.txt") instead of $entered"; exit 1; }

# Without animations nothing moves, nothing is reported and no countdown runs.
"$cli" run "$sample" --seconds 10 --animations off --json "${roots[@]}" >"$work/off.json"
grep -q '"events":\[\]' "$work/off.json" || { cat "$work/off.json"; exit 1; }
grep -q '"countdowns":\[\]' "$work/off.json" || { cat "$work/off.json"; exit 1; }
"$cli" run "$sample" --seconds 0.04 --animations off --json "${roots[@]}" >"$work/start.json"
vehicles() { sed 's/.*"vehicles"://' "$1"; }
[ "$(vehicles "$work/off.json")" = "$(vehicles "$work/start.json")" ] || { echo "run: vehicles moved without animations"; exit 1; }

# The locomotive plays its running sound on the null output (the camera stands too far away to
# hear it: the rule's volume there is 0); without --sound it is silent.
ALSOFT_DRIVERS=null "$cli" run "$sample" --seconds 2 --sound --json "${roots[@]}" >"$work/sound.json"
grep -q '"locomotive":true[^}]*"soundPlaying":true,"soundVolume":0.000' "$work/sound.json" || {
  cat "$work/sound.json"; exit 1; }
grep -q '"locomotive":true[^}]*"soundPlaying":false' "$work/start.json" || { cat "$work/start.json"; exit 1; }

# Saved after the run, the layout opens again with the train where it stopped.
"$cli" run "$sample" --seconds 5 --out "$work/after.vmp" "${roots[@]}" >"$work/saved.txt"
"$cli" run "$work/after.vmp" --seconds 0.04 "${roots[@]}" >"$work/reopened.txt"
[ "$(grep -c "ID .* Gleis" "$work/reopened.txt")" -ge 1 ]

expect() {  # expected status, then the command's arguments
  local want="$1"; shift
  set +e
  msg=$("$cli" run "$@" "${roots[@]}" 2>&1 >/dev/null)
  rc=$?
  set -e
  [ "$rc" -eq "$want" ] || { echo "run $*: exit status $rc, expected $want: $msg"; exit 1; }
  [ -n "$msg" ] || { echo "run $*: no message"; exit 1; }
}
expect 2 "$sample" --seconds 10 --frobnicate
expect 2 "$sample" --seconds 0
expect 2 "$sample" --seconds nan
expect 2 "$sample" --seconds 10 --dt 5
expect 2 "$sample" --seconds 10 --animations vielleicht
expect 2 "$sample"
head -c 4000 "$sample" >"$work/kaputt.vmp"
expect 1 "$work/kaputt.vmp" --seconds 1
expect 1 "$work/gibt-es-nicht.vmp" --seconds 1
echo "run: ok"
