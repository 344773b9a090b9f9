#!/usr/bin/env bash
# Fails when a header or source includes something from a layer above its own, or a system
# library its layer may not use (Qt below the automation layer, OpenGL in the engine core, ...).
# Layers, lowest first; a file may include its own layer and any layer of a lower rank.
set -u
root="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
cd "$root" || exit 2

rank_of() {  # folder of a file -> rank of its layer
  case "$1" in
    engine/core/*) echo 1 ;;
    engine/render/*|engine/media/*) echo 2 ;;
    app/*) echo 3 ;;
    automation/*) echo 4 ;;
    cli/*|gui/*|tools/assetgen/*) echo 5 ;;
    *) echo 0 ;;
  esac
}

# Lowest rank that may include a system header with this prefix (0 = anyone).
system_rank() {
  case "$1" in
    Q*|qt*) echo 4 ;;                          # Qt: automation and above
    epoxy/*|EGL/*|GL/*|GLES*) echo 2 ;;        # OpenGL and EGL: render layer and above
    AL/*) echo 2 ;;                            # OpenAL: media layer and above
    jpeglib.h|png.h) echo 2 ;;                 # texture images: render layer and above
    curl/*|zip.h|squish.h) echo 3 ;;           # application libraries
    *) echo 0 ;;
  esac
}

fail=0
while IFS= read -r file; do
  own=$(rank_of "$file")
  [ "$own" -eq 0 ] && continue
  while IFS= read -r line; do
    num=${line%%:*}
    inc=$(sed -E 's/^[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<<"$line")
    case "$inc" in
      engine/*|app/*|automation/*|cli/*|gui/*|tools/*)
        r=$(rank_of "$inc")
        # render and media are siblings: neither may include the other.
        if [ "$r" -gt "$own" ] || { [ "$r" -eq 2 ] && [ "$own" -eq 2 ] && [ "${inc%%/*}/$(cut -d/ -f2 <<<"$inc")" != "${file%%/*}/$(cut -d/ -f2 <<<"$file")" ]; }; then
          echo "$file:$num: includes $inc from a higher or sibling layer"; fail=1
        fi ;;
      *)
        r=$(system_rank "$inc")
        if [ "$r" -gt "$own" ]; then
          echo "$file:$num: includes $inc, which its layer may not use"; fail=1
        fi ;;
    esac
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include' "$file")
done < <(find engine app automation cli gui tools -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) 2>/dev/null | sort)

if [ "$fail" -ne 0 ]; then
  echo "layering: violations found"; exit 1
fi
echo "layering: ok"
