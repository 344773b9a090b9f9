#!/usr/bin/env bash
# velmora-cli package-server against hostile and careless use, as a user sees it, all on
# 127.0.0.1: its options and exit codes, a taken port, the Host header never echoed, byte ranges
# beyond the end, slow senders that must not stop the service, a flood of header lines that must
# not grow its memory, a served file swapped for a symbolic link, and a zip bomb in the folder.
# Every server is stopped by its PID; every wait is bounded.
set -u
cli="$1"; data="$2"; work="$3"
rm -rf "$work"; mkdir -p "$work/serve" "$work/bomb" "$work/tmp"
export TMPDIR="$work/tmp"
cp "$data/Basisdaten.vma" "$work/serve/"
pids=()
cleanup() { for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; done; }
trap cleanup EXIT
fail() {
  echo "package-server-hostile: $*"
  for f in "$work"/*.out "$work"/*.err; do [ -s "$f" ] && { echo "== $f"; head -c 3000 "$f"; }; done
  exit 1
}
info=/data/VelmoraApp/VelmoraApp13/Assets/assets.php
id=17A372D8-E05D-4119-AE3F-8D4F79D1D0D9

# start NAME DIR [OPTIONS...]: sets pid, base and port.
start() {
  local name=$1 dir=$2; shift 2
  "$cli" package-server --dir "$dir" --listen 127.0.0.1:0 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pid=$!; pids+=("$pid")
  for _ in $(seq 1 300); do
    grep -q '^Paketserver: ' "$work/$name.out" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  base=$(sed -n 's/^Paketserver: \(http:[^ ]*\).*/\1/p' "$work/$name.out")
  [ -n "$base" ] || fail "$name nicht gestartet"
  port=${base##*:}
}
# stop PID NAME: SIGTERM, a clean end with status 0.
stop() {
  kill -TERM "$1"
  wait "$1" || fail "$2: Ende mit Status $?"
  grep -q '^Paketserver beendet.' "$work/$2.out" || fail "$2: kein sauberes Ende"
}
peak_kb() { sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"; }

# The zip bomb is made in the background while the other cases run: 128 MiB of zeros in one
# ".vma" entry of about 130 KB (a zip written by hand around gzip's deflate data).
(
  head -c 134217728 /dev/zero | gzip -9 -n >"$work/bomb.gz"
  le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
  le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16 & 65535)); }
  gz=$(stat -c %s "$work/bomb.gz"); csize=$((gz - 18)); name=bomb.vma
  tail -c 8 "$work/bomb.gz" | head -c 4 >"$work/crc"
  {
    printf 'PK\x03\x04\x14\x00\x00\x00\x08\x00\x00\x00\x21\x00'; cat "$work/crc"
    le32 $csize; le32 134217728; le16 ${#name}; le16 0; printf %s "$name"
    tail -c +11 "$work/bomb.gz" | head -c $csize
    printf 'PK\x01\x02\x14\x03\x14\x00\x00\x00\x08\x00\x00\x00\x21\x00'; cat "$work/crc"
    le32 $csize; le32 134217728; le16 ${#name}; le16 0; le16 0; le16 0; le16 0; le32 0; le32 0; printf %s "$name"
    printf 'PK\x05\x06\x00\x00\x00\x00\x01\x00\x01\x00'; le32 $((46 + ${#name})); le32 $((30 + ${#name} + csize)); le16 0
  } >"$work/bomb/bomb.zip"
  rm -f "$work/bomb.gz" "$work/crc"
) &
bomber=$!

# Options and exit codes: help 0, wrong use 2, no folder 1 with one German line.
"$cli" package-server --help >"$work/help.out" 2>&1 || fail "--help: Status $?"
grep -q '^Aufruf: velmora-cli package-server' "$work/help.out" || fail "--help ohne Aufruf"
"$cli" package-server --dir "$work/serve" --gibtsnicht >/dev/null 2>&1; [ $? = 2 ] || fail "unbekannte Option nicht 2"
"$cli" package-server --listen 127.0.0.1:0 >/dev/null 2>&1; [ $? = 2 ] || fail "ohne --dir nicht 2"
"$cli" package-server --dir "$work/serve" --listen 127.0.0.1:99999 >/dev/null 2>&1; [ $? = 2 ] || fail "Port 99999 nicht 2"
timeout 20 "$cli" package-server --dir "$work/nicht-da" --listen 127.0.0.1:0 >"$work/nodir.out" 2>"$work/nodir.err"
[ $? = 1 ] || fail "--dir ohne Ordner nicht 1"
grep -q "Der Paketordner $work/nicht-da ist kein Ordner." "$work/nodir.err" || fail "keine Meldung für --dir"

start main "$work/serve"
mainpid=$pid; mainbase=$base; mainport=$port
file="$work/serve/Basisdaten.vma"; size=$(stat -c %s "$file")

# A second server on the same address refuses to start.
timeout 20 "$cli" package-server --dir "$work/serve" --listen "127.0.0.1:$mainport" >"$work/second.out" 2>"$work/second.err"
[ $? = 1 ] || fail "zweiter Server auf Port $mainport nicht mit 1 beendet"
grep -q "Adresse 127.0.0.1:$mainport kann nicht gebunden werden" "$work/second.err" || fail "keine Meldung zum belegten Port"

# The download address is relative: the client's Host header is never echoed.
answer=$(curl -s --max-time 10 -H 'Host: evil.example' -d "ID=$id" "$mainbase$info")
url=$(sed -n 's/.*<asset id="{'$id'}" revision="[0-9]*" url="\([^"]*\)".*/\1/p' <<<"$answer")
[ "$url" = /packages/Basisdaten.vma ] || fail "Adresse nicht relativ: $answer"
curl -s --max-time 10 -o "$work/whole.vma" "$mainbase$url" && cmp -s "$work/whole.vma" "$file" || fail "ganzes Paket"

# Byte ranges: a valid one 206 with exactly those bytes, one beyond the end 416.
code=$(curl -s --max-time 10 -r 10-109 -o "$work/part" -w '%{http_code}' "$mainbase$url")
[ "$code" = 206 ] && cmp -s "$work/part" <(tail -c +11 "$file" | head -c 100) || fail "Bereich 10-109: $code"
curl -s --max-time 10 -r "$((size + 10))-" -D "$work/range.head" -o "$work/range.body" "$mainbase$url"
grep -q '^HTTP/1.1 416' "$work/range.head" || fail "Bereich hinter dem Ende: $(head -1 "$work/range.head")"
grep -qi "^Content-Range: bytes \*/$size" "$work/range.head" || fail "416 ohne Content-Range"
[ ! -s "$work/range.body" ] || fail "416 mit Inhalt"

# Ten clients sending one byte a second: the others are still served at once, and the slow ones
# get 408 when their ten seconds are up, however busy they keep the line.
t0=$(date +%s.%N)
for i in $(seq 1 10); do
  (
    trap '' PIPE
    exec 3<>"/dev/tcp/127.0.0.1/$mainport" || exit 1
    (timeout 20 cat <&3 >"$work/slow$i.answer"; date +%s.%N >"$work/slow$i.end") &
    for c in G E T ' ' / p a c k a g e s / x y; do printf %s "$c" >&3 2>/dev/null || break; sleep 1; done
    wait
  ) &
done
sleep 2
for i in $(seq 1 5); do
  code=$(curl -s --max-time 2 -o /dev/null -w '%{http_code}' -d "ID=$id" "$mainbase$info")
  [ "$code" = 200 ] || fail "Anfrage $i bei langsamen Clients: $code"
  sleep 0.5
done
for _ in $(seq 1 200); do [ "$(ls "$work"/slow*.end 2>/dev/null | wc -l)" = 10 ] && break; sleep 0.1; done
for i in $(seq 1 10); do
  [ -f "$work/slow$i.end" ] || fail "langsamer Client $i nicht beendet"
  grep -q '^HTTP/1.1 408' "$work/slow$i.answer" || fail "langsamer Client $i ohne 408"
  after=$(awk -v a="$t0" -v b="$(cat "$work/slow$i.end")" 'BEGIN { printf "%d", b - a }')
  [ "$after" -ge 9 ] && [ "$after" -le 14 ] || fail "langsamer Client $i nach $after s beendet"
done

# Two million header lines: 431, and the server's memory stays where it was.
before=$(peak_kb "$mainpid")
(
  trap '' PIPE
  exec 3<>"/dev/tcp/127.0.0.1/$mainport" || exit 1
  (timeout 20 cat <&3 >"$work/flood.answer") &
  { printf 'GET /packages/x HTTP/1.1\r\nHost: a\r\n'; yes $'X-Flut: 1234567890\r' | head -n 2000000; } >&3 2>/dev/null
  wait
)
grep -q '^HTTP/1.1 431' "$work/flood.answer" || fail "Kopfzeilenflut ohne 431: $(head -c 100 "$work/flood.answer")"
after=$(peak_kb "$mainpid")
[ $((after - before)) -lt 65536 ] || fail "Speicher nach der Flut um $((after - before)) kB gewachsen"
code=$(curl -s --max-time 2 -o /dev/null -w '%{http_code}' "$mainbase$url")
[ "$code" = 200 ] || fail "nach der Flut: $code"

# The served file swapped for a symbolic link to a secret, then for another file: never served.
echo "GEHEIM-$$" >"$work/secret"
mv "$file" "$work/original.vma"
ln -s "$work/secret" "$file"
code=$(curl -s --max-time 10 -o "$work/swapped" -w '%{http_code}' "$mainbase$url")
{ [ "$code" = 404 ] || [ "$code" = 500 ]; } && ! grep -q GEHEIM "$work/swapped" || fail "Verknüpfung geliefert: $code"
rm "$file"; cp "$work/original.vma" "$file"
code=$(curl -s --max-time 10 -o /dev/null -w '%{http_code}' "$mainbase$url")
[ "$code" = 404 ] || fail "ausgetauschte Datei geliefert: $code"
stop "$mainpid" main

# The zip bomb is refused within the cap: far less than its 128 MiB written, nothing left over.
# The address in answers comes from --public-url.
wait "$bomber" || fail "Zip-Bombe nicht erzeugt"
cp "$data/Basisdaten.vma" "$work/bomb/"
start bomb "$work/bomb" --public-url http://pakete.example:9000/
written=$(sed -n 's/^wchar: //p' "/proc/$pid/io")
grep -q '^Übersprungen: bomb.zip: bomb.vma: entpackt zu groß' "$work/bomb.err" || fail "Zip-Bombe nicht gemeldet"
[ "$written" -lt $((48 * 1048576)) ] || fail "Zip-Bombe: $written Bytes geschrieben"
[ -z "$(ls -A "$work/tmp")" ] || fail "Reste im temporären Ordner: $(ls "$work/tmp")"
answer=$(curl -s --max-time 10 -d "ID=$id" "$base$info")
grep -q 'url="http://pakete.example:9000/packages/Basisdaten.vma"' <<<"$answer" || fail "--public-url: $answer"
stop "$pid" bomb
echo "package-server-hostile: ok"
