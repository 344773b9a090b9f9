#!/usr/bin/env bash
# The command line's conventions as a user meets them: every command answers --help, exit status
# 0 success / 1 the work failed / 2 wrong use, one German line per failure (the full report only
# with --verbose), unknown root names refused, "new" never overwrites without --force.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"
fail() { echo "FEHLER: $*"; exit 1; }
# run EXPECTED-STATUS COMMAND...: standard output in $out, standard error in $err.
run() {
  local want=$1; shift
  out=$("$cli" "$@" 2>"$work/err"); rc=$?
  err=$(cat "$work/err")
  [ "$rc" -eq "$want" ] || fail "velmora-cli $* gab $rc statt $want: $out $err"
}

# Every listed command has its own help.
commands=$("$cli" --help | awk '/^Befehle:/{on=1; next} on && /^  [a-z]/{print $1} on && /^$/{on=0}')
[ -n "$commands" ] || fail "keine Befehle in --help"
for c in $commands; do
  run 0 "$c" --help
  echo "$out" | grep -q "velmora-cli $c" || fail "$c --help: $out"
done

run 2 info
run 2 no-such-command
run 2 settings --root Dokumente="$work" ; echo "$err" | grep -q "Dokumente" || fail "root: $err"

# A text file, a folder, a missing file: one line each, exit 1; --verbose adds the report.
printf 'keine Anlage\n' >"$work/text.vmp"
run 1 info "$work/text.vmp" "${roots[@]}"
[ "$err" = "\"$work/text.vmp\" ist keine Projektdatei." ] || fail "text: $err"
run 1 info "$work" "${roots[@]}"
[ "$(echo "$err" | wc -l)" -eq 1 ] || fail "folder: $err"
run 1 convert "$work/fehlt.vmp" "$work/x.vmp" "${roots[@]}"
[ "$err" = "\"$work/fehlt.vmp\" wurde nicht gefunden." ] || fail "missing: $err"

run 0 new --out "$work/a.vmp" "${roots[@]}"
echo "$out" | grep -q "^Neues Projekt mit [0-9]* Objekten gespeichert: $work/a.vmp" || fail "new: $out"
head -c 60 "$work/a.vmp" >"$work/cut.vmp"
run 1 info "$work/cut.vmp" "${roots[@]}"
[ "$err" = "\"$work/cut.vmp\" ist beschädigt." ] || fail "cut: $err"
run 1 info "$work/cut.vmp" --verbose "${roots[@]}"
[ "$(echo "$err" | wc -l)" -gt 1 ] || fail "verbose: $err"

run 1 new --out "$work/a.vmp" "${roots[@]}"
echo "$err" | grep -q -- "--force" || fail "overwrite: $err"
run 0 new --out "$work/a.vmp" --force "${roots[@]}"
run 1 convert "$work/a.vmp" "$work" "${roots[@]}"
echo "$err" | grep -q "ist ein Ordner" || fail "folder output: $err"
echo "cli conventions: ok"
