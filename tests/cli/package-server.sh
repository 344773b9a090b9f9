#!/usr/bin/env bash
# velmora-cli package-server as a user runs it: serves the generated base packages on
# 127.0.0.1 (a free port), answers the information request, delivers the package byte for byte,
# and ends cleanly on SIGTERM.
set -u
cli="$1"; data="$2"; work="$3"
rm -rf "$work"; mkdir -p "$work"
"$cli" package-server --dir "$data" --listen 127.0.0.1:0 >"$work/out" 2>"$work/err" &
pid=$!
fail() { echo "package-server: $*"; cat "$work/out" "$work/err"; kill -TERM "$pid" 2>/dev/null; exit 1; }
for _ in $(seq 1 100); do grep -q '^Paketserver: ' "$work/out" && break; sleep 0.1; done
base=$(sed -n 's/^Paketserver: \(http:[^ ]*\).*/\1/p' "$work/out")
[ -n "$base" ] || fail "nicht gestartet"
info="$base/data/VelmoraApp/VelmoraApp13/Assets/assets.php"
answer=$(curl -s --max-time 10 -d 'ID=17A372D8-E05D-4119-AE3F-8D4F79D1D0D9' "$info")
url=$(sed -n 's/.*<asset id="{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}" revision="[0-9]*" url="\([^"]*\)".*/\1/p' <<<"$answer")
[ -n "$url" ] || fail "keine Adresse in: $answer"
# Without --public-url the address is relative to the server.
case "$url" in /*) url="$base$url" ;; esac
curl -s --max-time 10 -o "$work/paket.vma" "$url" || fail "Download von $url"
cmp -s "$work/paket.vma" "$data/Basisdaten.vma" || fail "Paket unterscheidet sich"
grep -q '<asset ' <<<"$(curl -s --max-time 10 -d 'ID=00000000-0000-0000-0000-000000000001' "$info")" && fail "unbekannte Kennung beantwortet"
[ "$(curl -s -o /dev/null -w '%{http_code}' "$base/packages/..%2Fetc%2Fpasswd")" = 404 ] || fail "fremde Datei geliefert"
kill -TERM "$pid"
wait "$pid" || fail "Ende mit Status $?"
grep -q '^Paketserver beendet.' "$work/out" || fail "kein sauberes Ende"
echo "package-server: ok"
