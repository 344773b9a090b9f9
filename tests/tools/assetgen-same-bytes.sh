#!/usr/bin/env bash
# The generator writes the same bytes on every run and into any folder, and leaves nothing else
# behind (its work files go when it ends). With DESKTOPDIR (the desktop pictures the build painted)
# the desktop pictures are painted once more elsewhere and compared with the build's.
# Usage: assetgen-same-bytes.sh ASSETGEN WORKDIR [DESKTOPDIR]
set -eu
assetgen="$1"
work="$2"
desktop="${3:-}"
rm -rf "$work"
mkdir -p "$work/eins" "$work/zwei/tiefer/drin"
export OMP_WAIT_POLICY=passive
"$assetgen" "$work/eins"
"$assetgen" "$work/zwei/tiefer/drin"
a=$(cd "$work/eins" && find . -print | sort)
b=$(cd "$work/zwei/tiefer/drin" && find . -print | sort)
want=$'.\n./Basisdaten.vma\n./Basiskatalog.vma\n./Beispielanlagen\n./Beispielanlagen/Gleislücke.vmp\n./Beispielanlagen/Kleine Beispielanlage.vmp'
if [ "$a" != "$want" ] || [ "$b" != "$want" ]; then
  echo "unexpected files:"; echo "$a"; echo "--"; echo "$b"; exit 1
fi
for f in Basisdaten.vma Basiskatalog.vma "Beispielanlagen/Kleine Beispielanlage.vmp" "Beispielanlagen/Gleislücke.vmp"; do
  cmp "$work/eins/$f" "$work/zwei/tiefer/drin/$f"
done

if [ -n "$desktop" ]; then
  # A folder that does not exist yet, several levels down.
  out="$work/bilder/noch/nicht/da"
  "$assetgen" --desktop "$out"
  got=$(cd "$out" && find . -print | LC_ALL=C sort)
  want=$'.\n./Background.jpg\n./velmora-128.png\n./velmora-16.png\n./velmora-256.png\n./velmora-32.png\n./velmora-48.png\n./velmora-64.png'
  if [ "$got" != "$want" ]; then
    echo "unexpected desktop files:"; echo "$got"; exit 1
  fi
  for f in Background.jpg velmora-16.png velmora-32.png velmora-48.png velmora-64.png velmora-128.png velmora-256.png; do
    cmp "$desktop/$f" "$out/$f"
  done
  [ "$(od -An -tx1 -N3 "$out/Background.jpg" | tr -d ' \n')" = "ffd8ff" ] || { echo "Background.jpg is no JPEG"; exit 1; }
  # PNG header: width and height (big-endian), 8 bits, colour type 6 (RGBA).
  for n in 16 32 48 64 128 256; do
    header=$(od -An -tu1 -j16 -N10 "$out/velmora-$n.png" | tr -s ' ' | sed 's/^ //;s/ $//')
    size="0 0 $((n / 256)) $((n % 256))"
    [ "$header" = "$size $size 8 6" ] || { echo "velmora-$n.png: header $header"; exit 1; }
  done
  # Wrong use: exit status 2 and the usage; a file where the folder should be: status 1, one line.
  set +e
  "$assetgen" --desktop 2>"$work/err"; status=$?
  set -e
  [ "$status" = 2 ] && grep -q "assetgen --desktop AUSGABEORDNER" "$work/err" || { echo "usage: status $status"; cat "$work/err"; exit 1; }
  : >"$work/eine-datei"
  set +e
  "$assetgen" --desktop "$work/eine-datei" 2>"$work/err"; status=$?
  set -e
  [ "$status" = 1 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -q "^assetgen: " "$work/err" ||
    { echo "file as folder: status $status"; cat "$work/err"; exit 1; }
fi
rm -rf "$work"
echo "assetgen: same bytes"
