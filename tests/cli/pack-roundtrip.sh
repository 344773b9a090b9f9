#!/usr/bin/env bash
# Runs "velmora-cli pack" as a package author would: create, list, extract, check, and a package
# whose signature is damaged. Everything happens in a fresh temporary folder.
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

printf 'x' | dd of="$dir/p.vma" bs=1 seek=0 conv=notrunc 2>/dev/null
set +e
msg=$("$cli" pack list "$dir/p.vma" 2>&1)
rc=$?
set -e
[ "$rc" -eq 2 ] || { echo "exit status $rc, expected 2"; exit 1; }
[ "$msg" = "Wrong package signature." ] || { echo "message: $msg"; exit 1; }
echo "pack: ok"
