#!/usr/bin/env bash
# Writes the seed inputs of FuzzPackageReader into fuzz/corpus/FuzzPackageReader/: small packages
# in the target's framed form ('D', data area length, data area, plain directory) for the cases
# the reader must refuse (shared bytes, duplicate names, NUL in names, stated sizes) and a sound
# one beside them, so the fuzzer starts at every check. Run it again after changing the cases;
# the fuzzer is then started with the folder as its corpus:
#   build/fuzz/fuzz/FuzzPackageReader fuzz/corpus/FuzzPackageReader -max_total_time=120
set -eu
out="$(cd "$(dirname "$0")" && pwd)/corpus/FuzzPackageReader"
mkdir -p "$out"

# Bytes as \xNN escapes for printf.
hex() { printf '\\x%02x' "$@"; }
bytes() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n' | sed 's/../\\x&/g'; }
le32() { hex $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
be32() { hex $(($1 >> 24 & 255)) $(($1 >> 16 & 255)) $(($1 >> 8 & 255)) $(($1 & 255)); }
# A zlib stream holding TEXT in one stored block (header, block, Adler-32).
zstored() {
  local text="$1" n=${#1} a=1 b=0 i c
  for ((i = 0; i < n; i++)); do
    printf -v c '%d' "'${text:i:1}"
    a=$(((a + c) % 65521)); b=$(((b + a) % 65521))
  done
  printf '%s%s%s' "$(hex 0x78 0x01 0x01 $((n & 255)) $((n >> 8)) $((~n & 255)) $((~n >> 8 & 255)))" \
    "$(bytes "$text")" "$(be32 $(((b << 16) | a)))"
}
# A directory record: NAME (ASCII in UTF-16LE, '|' for a NUL), offset, size, compressed size, a
# zero digest.
record() {
  local units len=$((${#1} * 2))
  units=$(bytes "$1" | sed 's/\\x7c/\\x00/g; s/\\x\(..\)/\\x\1\\x00/g')
  printf '%s%s%s%s%s%s' "$(le32 $len)" "$units" "$(le32 "$2")" "$(le32 "$3")" "$(le32 "$4")" \
    "$(printf '\\x00%.0s' {1..16})"
}
# seed FILE AREA COUNT RECORDS...: the framed input.
seed() {
  local file="$1" area="$2" count="$3"
  shift 3
  local len
  len=$(printf "$area" | wc -c)
  { printf 'D'; printf "$(hex "$len")"; printf "$area"; printf "$(le32 "$count")"; for r in "$@"; do printf "$r"; done; } \
    >"$out/$file"
}

# Two entries: "Hallo" at 16 (16 bytes of zlib), "Welt!" at 32.
a=$(zstored Hallo)
b=$(zstored 'Welt!')
area="$a$b"
seed sound "$area" 2 "$(record A.txt 16 5 16)" "$(record 'tex\b.dds' 32 5 16)"
seed duplicate-case "$area" 2 "$(record A.txt 16 5 16)" "$(record a.TXT 32 5 16)"
seed duplicate-canonical "$area" 2 "$(record A.txt 16 5 16)" "$(record 'x\..\A.txt' 32 5 16)"
seed nul-name "$area" 1 "$(record 'A|.txt' 16 5 16)"
seed overlap-same "$area" 2 "$(record A.txt 16 5 16)" "$(record B.txt 16 5 16)"
seed overlap-inside "$area" 2 "$(record A.txt 16 5 16)" "$(record B.txt 20 5 12)"
seed overlap-header "$area" 1 "$(record A.txt 8 5 16)"
seed overlap-directory "$area" 1 "$(record A.txt 32 5 17)"
seed size-above-ratio "$area" 1 "$(record A.txt 16 16576 16)"
seed size-above-cap "$area" 1 "$(record A.txt 16 1073741825 16)"
seed size-max "$area" 1 "$(record A.txt 16 2147483647 16)"
seed size-short "$area" 2 "$(record A.txt 16 4 16)" "$(record B.txt 32 6 16)"
echo "$(ls "$out" | wc -l) seeds in $out"
