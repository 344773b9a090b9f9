#!/usr/bin/env bash
# Runs "velmora-cli pack" as a package author would: create, list, extract (one entry and all),
# check, help and exit statuses, colliding names, a package bomb, and a damaged signature.
# Everything happens in a fresh temporary folder.
set -eu
cli="$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

printf 'Hallo Welt' >"$dir/a.txt"
head -c 100000 /dev/urandom >"$dir/b.bin"
"$cli" pack create "$dir/p.vma" "$dir/a.txt=Texte\\a.txt" "$dir/b.bin=b.bin" >/dev/null
"$cli" pack list "$dir/p.vma" --json | grep -q '"name":"Texte\\\\a.txt"'
"$cli" pack extract "$dir/p.vma" 'texte/A.TXT' -o "$dir/out.txt"
cmp "$dir/a.txt" "$dir/out.txt"
"$cli" pack extract "$dir/p.vma" b.bin | cmp - "$dir/b.bin"
"$cli" pack check "$dir/p.vma" >/dev/null

# Every entry into a folder in one run, sub-folders from the backslashes in the names.
"$cli" pack extract "$dir/p.vma" --all -o "$dir/all" >/dev/null
cmp "$dir/a.txt" "$dir/all/Texte/a.txt"
cmp "$dir/b.bin" "$dir/all/b.bin"

# Help succeeds; wrong use exits with 2, failed work with 1.
"$cli" pack --help | grep -q 'extract PAKET.vma --all -o ORDNER'
"$cli" pack check --help >/dev/null
expect() {  # expect STATUS MESSAGE-PATTERN COMMAND...
  local want="$1" pattern="$2" msg rc
  shift 2
  set +e
  msg=$("$@" 2>&1 >/dev/null)
  rc=$?
  set -e
  [ "$rc" -eq "$want" ] || { echo "$*: exit status $rc, expected $want ($msg)"; exit 1; }
  [[ "$msg" == $pattern ]] || { echo "$*: message: $msg"; exit 1; }
}
expect 2 'Unbekannte Option: --bogus*' "$cli" pack extract "$dir/p.vma" --bogus
printf 'x' >"$dir/A.TXT"
expect 1 "Die Einträge \"a.txt\" (aus $dir/a.txt) und \"A.TXT\" (aus $dir/A.TXT) haben im Paket denselben Namen." \
  "$cli" pack create "$dir/dup.vma" "$dir/a.txt=a.txt" "$dir/A.TXT=A.TXT"
[ ! -e "$dir/dup.vma" ] || { echo "a package with colliding names was written"; exit 1; }

# A small package whose entry inflates to 700 MB is checked in bounded memory. Without the
# address sanitizer (which reserves terabytes of address space) the address space is limited;
# with it the resident size is watched while the check runs.
truncate -s 700M "$dir/null.bin"
"$cli" pack create "$dir/bomb.vma" "$dir/null.bin=null.bin" >/dev/null
rm "$dir/null.bin"
[ "$(stat -c %s "$dir/bomb.vma")" -lt 2000000 ] || { echo "the bomb is not small"; exit 1; }
if ldd "$cli" | grep -q libasan; then
  "$cli" pack check "$dir/bomb.vma" >"$dir/check.out" &
  pid=$!
  peak=0
  while kill -0 "$pid" 2>/dev/null; do
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$rss" ] && [ "$rss" -gt "$peak" ] && peak=$rss
    sleep 0.05
  done
  wait "$pid"
  [ "$peak" -lt 300000 ] || { echo "pack check of the bomb peaked at $peak KiB resident"; exit 1; }
else
  (ulimit -v 600000 && "$cli" pack check "$dir/bomb.vma" >"$dir/check.out")
fi
grep -qx '1 Einträge geprüft, 0 fehlerhaft.' "$dir/check.out"

printf 'x' | dd of="$dir/p.vma" bs=1 seek=0 conv=notrunc 2>/dev/null
expect 1 'Wrong package signature.' "$cli" pack list "$dir/p.vma"
echo "pack: ok"
