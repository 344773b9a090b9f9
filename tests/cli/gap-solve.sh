#!/usr/bin/env bash
# "velmora-cli gap-solve" on the sample "Gleislücke.vmp" as a user runs it: the gap between the
# facing ends of its two runs has solutions, the first one laid closes it (only the outer ends stay
# open), and wrong use (exit 2) and an unreadable layout (exit 1).
set -u
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"
sample="$data/Beispielanlagen/Gleislücke.vmp"
fail() { echo "gap-solve: $*"; exit 1; }
# run EXPECTED-STATUS COMMAND...: standard output in $out, standard error in $err.
run() {
  local want=$1; shift
  out=$("$cli" "$@" 2>"$work/err"); rc=$?
  err=$(cat "$work/err")
  [ "$rc" -eq "$want" ] || fail "velmora-cli $* gave $rc instead of $want: $out $err"
}
# "ID FROM TO" for route 0 of every track, from the text listing of info.
ends() {
  "$cli" info "$1" "${roots[@]}" |
    awk '/^  [0-9]+ / { id = $1 } /^ +Fahrweg 0:/ && id { print id, $(NF-2), $NF; id = "" }'
}

ends "$sample" >"$work/before.txt"
[ "$(grep -c ' 0$\| 0 ' "$work/before.txt")" -eq 4 ] || fail "the sample should have four open ends: $(cat "$work/before.txt")"
# The end of the first run (open at its end) and the start of the second (open at its start).
from=$(awk '$2 != 0 && $3 == 0 { print $1; exit }' "$work/before.txt")
to=$(awk '$2 == 0 && $3 != 0 { id = $1 } END { print id }' "$work/before.txt")
[ -n "$from" ] && [ -n "$to" ] && [ "$from" != "$to" ] || fail "no facing ends: $(cat "$work/before.txt")"

run 0 gap-solve "$sample" --from "$from" --to "$to" --json "${roots[@]}"
echo "$out" | grep -q '^{"file":.*"system":"Profilgleis".*"candidates":[1-9][0-9]*,"combinations":[1-9][0-9]*,"solutions":\[\[{"name":' ||
  fail "no solution: $out"
echo "$out" | grep -q '"asset":"{[0-9A-F-]*}","entry":[01]}' || fail "pieces without asset or entry: $out"
run 0 gap-solve "$sample" --from "$from" --to "$to" "${roots[@]}"
echo "$out" | head -1 | grep -q '^Berechne Kombinationen (max\. [0-9.]*):$' || fail "progress line: $out"
echo "$out" | grep -q '^Lösung 1 von [0-9]*: ' || fail "solution lines: $out"

# Laying the first solution closes the gap: only the two outer ends stay open.
run 0 gap-solve "$sample" --from "$from" --to "$to" --create 1 -o "$work/closed.vmp" --json "${roots[@]}"
echo "$out" | grep -q '"created":{"solution":1,' || fail "nothing laid: $out"
ends "$work/closed.vmp" >"$work/after.txt"
[ "$(grep -c ' 0$\| 0 ' "$work/after.txt")" -eq 2 ] || fail "the gap is still open: $(cat "$work/after.txt")"
grep -q "^$from [1-9][0-9]* [1-9][0-9]*$" "$work/after.txt" || fail "track $from is not joined: $(cat "$work/after.txt")"
grep -q "^$to [1-9][0-9]* [1-9][0-9]*$" "$work/after.txt" || fail "track $to is not joined: $(cat "$work/after.txt")"
# With one piece there is nothing: the message, no list.
run 0 gap-solve "$sample" --from "$from" --to "$to" --max-pieces 1 "${roots[@]}"
echo "$out" | grep -q '^Keine Lösung gefunden\.$' || fail "one piece: $out"

# Wrong use: exit 2; a layout that cannot be read or tracks that cannot be joined: exit 1.
run 2 gap-solve "$sample" --from "$from" "${roots[@]}"
run 2 gap-solve "$sample" --from "$from" --to "$to" --max-pieces 6 "${roots[@]}"
run 2 gap-solve "$sample" --from "$from" --to "$to" --tolerance 0 "${roots[@]}"
run 2 gap-solve "$sample" --from "$from:2" --to "$to" "${roots[@]}"
run 2 gap-solve "$sample" --from 99999 --to "$to" "${roots[@]}"
run 2 gap-solve "$sample" --from "$from" --to "$to" --create 1 "${roots[@]}"
run 2 gap-solve "$sample" --from "$from" --to "$to" --max-pieces 1 --create 1 -o "$work/x.vmp" "${roots[@]}"
run 1 gap-solve "$work/fehlt.vmp" --from 1 --to 2 "${roots[@]}"
[ "$(echo "$err" | wc -l)" -eq 1 ] || fail "missing file: $err"
# Both outer ends of the closed layout lie far apart but are free; the inner ones are joined now.
run 1 gap-solve "$work/closed.vmp" --from "$from:1" --to "$to:0" "${roots[@]}"
echo "$err" | grep -q "^Inkompatible Gleise: Die ausgewählten Gleise bieten keine freien Kontaktmöglichkeiten" ||
  fail "joined ends: $err"
echo "gap-solve: ok"
