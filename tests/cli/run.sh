#!/usr/bin/env bash
# "velmora-cli run" on the generated sample layout: the train goes round (every piece entered is
# left again, in the order of the oval), the same bytes on every run and the log of the golden
# file, the same pieces with longer steps, nothing moves with animations off, the locomotive
# sounds on the null sound output, and wrong use (exit 2) and a damaged layout (exit 1).
set -eu
golden="$(dirname "${BASH_SOURCE[0]}")/data/run-sample.golden"
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"
sample="$data/Beispielanlagen/Kleine Beispielanlage.vmp"

"$cli" run "$sample" --seconds 60 "${roots[@]}" >"$work/a.txt"
"$cli" run "$sample" --seconds 60 "${roots[@]}" >"$work/b.txt"
cmp "$work/a.txt" "$work/b.txt"
diff -u "$golden" "$work/a.txt" || { echo "run: the log differs from $golden"; exit 1; }

# Each piece the train enters it leaves again, in the same order.
pieces() { grep "$1" "$2" | sed 's/.*(ID \([0-9]*\), Fahrweg.*/\1/' | tr '\n' ' '; }
entered=$(pieces "betritt" "$work/a.txt")
left=$(pieces "verlässt" "$work/a.txt")
[ "$(echo "$entered" | wc -w)" -ge 12 ] || { echo "run: the train entered too few pieces: $entered"; exit 1; }
# The pieces under the train at the start are left without having been entered; after them the
# train leaves the pieces in the order it entered them.
matched=no
for skip in 0 1 2 3 4 5 6 7 8; do
  rest=$(echo "$left" | cut -d' ' -f$((skip + 1))- )
  case "$entered" in "$rest"*) matched=yes; break ;; esac
done
[ "$matched" = yes ] || { echo "run: entered $entered but left $left"; exit 1; }

# Longer steps: the same pieces in the same order.
"$cli" run "$sample" --seconds 60 --dt 0.2 "${roots[@]}" >"$work/c.txt"
[ "$(pieces "betritt" "$work/c.txt")" = "$entered" ] || {
  echo "run --dt 0.2: $(pieces "betritt" "$work/c.txt") instead of $entered"; exit 1; }

# Without animations nothing moves and nothing is reported.
"$cli" run "$sample" --seconds 10 --animations off --json "${roots[@]}" >"$work/off.json"
grep -q '"events":\[\]' "$work/off.json" || { cat "$work/off.json"; exit 1; }
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
