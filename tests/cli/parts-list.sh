#!/usr/bin/env bash
# "velmora-cli parts-list" on the generated sample layout: the rows of the oval and the siding,
# both file forms byte by byte where they are fixed (code page, CRLF, captions), standard output
# and a file giving the same bytes, the JSON form, and wrong use (2) and unreadable input (1).
set -eu
. "$(dirname "${BASH_SOURCE[0]}")/cli-test-roots.sh" "$@"
sample="$data/Beispielanlagen/Kleine Beispielanlage.vmp"
fail() { echo "parts-list: $*"; exit 1; }

"$cli" parts-list "$sample" --format csv --date "01.02.2026 03:04:05" "${roots[@]}" >"$work/a.csv"
"$cli" parts-list "$sample" -o "$work/b.csv" --date "01.02.2026 03:04:05" "${roots[@]}" >"$work/said.txt"
cmp "$work/a.csv" "$work/b.csv" || fail "standard output and file differ"
grep -qx "Stückliste erfolgreich gespeichert unter $work/b.csv." "$work/said.txt" || fail "$(cat "$work/said.txt")"
# Windows-1252 with CRLF after every line: "Stückliste" has the byte FC, no line lacks its CR.
printf 'St\xfcckliste - 3D-Velmora 2013\r\nKleine Beispielanlage\r\nErstellt am 01.02.2026 03:04:05\r\n\r\nGleissystem;Name;Anzahl;Beschreibung\r\n' >"$work/head.csv"
head -c "$(stat -c %s "$work/head.csv")" "$work/a.csv" | cmp - "$work/head.csv" || fail "the header lines differ"
[ "$(grep -c $'\r$' "$work/a.csv")" -eq "$(wc -l <"$work/a.csv")" ] || fail "a line without CR"
# The oval's twelve 30-degree curves are one row, counted first (the most pieces).
sed -n 6p "$work/a.csv" | grep -q '^Profilgleis;R1 30° links;12;' ||
  sed -n 6p "$work/a.csv" | iconv -f WINDOWS-1252 -t UTF-8 | grep -q '^Profilgleis;R1 30° links;12;' ||
  fail "first row: $(sed -n 6p "$work/a.csv" | iconv -f WINDOWS-1252 -t UTF-8)"

"$cli" parts-list "$sample" -o "$work/c.html" --date D "${roots[@]}" >/dev/null
iconv -f WINDOWS-1252 -t UTF-8 "$work/c.html" >"$work/c.utf8.html"
grep -q $'^<h1>Stückliste - 3D-Velmora 2013</h1>\r$' "$work/c.utf8.html" || fail "html title"
grep -q $'^<td>R1 30° links</td>\r$' "$work/c.utf8.html" || fail "html row"
[ "$(grep -c '^<tr>' "$work/c.html")" -ge 4 ] || fail "html rows"

"$cli" parts-list "$sample" --json "${roots[@]}" >"$work/d.json"
grep -q '^{"file":null,"project":"Kleine Beispielanlage","format":"html","tracks":[0-9]*,"rows":\[{' "$work/d.json" ||
  fail "json: $(cat "$work/d.json")"
tracks=$(sed 's/.*"tracks":\([0-9]*\).*/\1/' "$work/d.json")
sum=$(grep -o '"count":[0-9]*' "$work/d.json" | awk -F: '{ n += $2 } END { print n }')
[ "$tracks" -ge 16 ] && [ "$tracks" -eq "$sum" ] || fail "json counts: $tracks / $sum"

status() { set +e; "$cli" "$@" >/dev/null 2>"$work/err"; echo $?; set -e; }
[ "$(status parts-list "$sample" --format pdf "${roots[@]}")" -eq 2 ] || fail "unknown format"
[ "$(status parts-list "${roots[@]}")" -eq 2 ] || fail "no layout"
[ "$(status parts-list "$work/fehlt.vmp" "${roots[@]}")" -eq 1 ] || fail "missing layout"
[ "$(status parts-list "$sample" -o "$work/kein/ordner.csv" "${roots[@]}")" -eq 1 ] || fail "unwritable output"
[ ! -e "$work/kein" ] || fail "a folder was made"
echo "parts-list: ok"
