#!/usr/bin/env bash
# The generator writes the same bytes on every run and into any folder, and leaves nothing else
# behind (its work files go when it ends). Usage: assetgen-same-bytes.sh ASSETGEN WORKDIR
set -eu
assetgen="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work/eins" "$work/zwei/tiefer/drin"
export OMP_WAIT_POLICY=passive
"$assetgen" "$work/eins"
"$assetgen" "$work/zwei/tiefer/drin"
a=$(cd "$work/eins" && find . -print | sort)
b=$(cd "$work/zwei/tiefer/drin" && find . -print | sort)
want=$'.\n./Basisdaten.vma\n./Basiskatalog.vma\n./Beispielanlagen\n./Beispielanlagen/Kleine Beispielanlage.vmp'
if [ "$a" != "$want" ] || [ "$b" != "$want" ]; then
  echo "unexpected files:"; echo "$a"; echo "--"; echo "$b"; exit 1
fi
for f in Basisdaten.vma Basiskatalog.vma "Beispielanlagen/Kleine Beispielanlage.vmp"; do
  cmp "$work/eins/$f" "$work/zwei/tiefer/drin/$f"
done
rm -rf "$work"
echo "assetgen: same bytes"
