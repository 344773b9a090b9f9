#!/usr/bin/env bash
# cmake --install as a packager runs it (a staging folder and a prefix): the programs and their
# Data folder under lib/velmora, relative links in bin that the programs follow to find their
# Data (also after the tree has been moved and through a further link), the desktop entry, the
# icons and the file types. The desktop program is checked only where it has been built.
# Usage: install-layout.sh CMAKE BUILDDIR WORKDIR
set -eu
cmake="$1"
build="$2"
work="$3"
rm -rf "$work"
mkdir -p "$work"
fail() {
  echo "install layout: $*" >&2
  exit 1
}

DESTDIR="$work/stage" "$cmake" --install "$build" --prefix /opt/velmora >"$work/install.log" ||
  { cat "$work/install.log"; fail "cmake --install failed"; }
root="$work/stage/opt/velmora"
lib="$root/lib/velmora"

# Programs, and the links to them.
programs=velmora-cli
if [ -e "$lib/velmora" ]; then
  programs="velmora-cli velmora"
elif [ -e "$root/bin/velmora" ] || [ -L "$root/bin/velmora" ]; then
  fail "bin/velmora without lib/velmora/velmora"
fi
for p in $programs; do
  [ -f "$lib/$p" ] && [ ! -L "$lib/$p" ] && [ -x "$lib/$p" ] || fail "lib/velmora/$p is no program"
  [ -L "$root/bin/$p" ] || fail "bin/$p is no symbolic link"
  [ "$(readlink "$root/bin/$p")" = "../lib/velmora/$p" ] || fail "bin/$p points to $(readlink "$root/bin/$p")"
done

# Data: both base packages and the sample layouts, as the build made them, nothing else.
data="$lib/Data"
got=$(cd "$data" && find . -print | LC_ALL=C sort)
want=$'.\n./Basisdaten.vma\n./Basiskatalog.vma\n./Beispielanlagen\n./Beispielanlagen/Gleislücke.vmp\n./Beispielanlagen/Kleine Beispielanlage.vmp'
[ "$got" = "$want" ] || fail "unexpected Data folder: $got"
data_build=$(sed -n 's/^VELMORA_CLI_DATA_DIR:INTERNAL=//p' "$build/CMakeCache.txt")
for f in Basisdaten.vma Basiskatalog.vma "Beispielanlagen/Kleine Beispielanlage.vmp" "Beispielanlagen/Gleislücke.vmp"; do
  cmp "$data_build/$f" "$data/$f" || fail "Data/$f differs from the build's"
done

# Desktop entry: the program, its icon and exactly the three file types the type list defines.
entry="$root/share/applications/velmora.desktop"
types="$root/share/mime/packages/velmora.xml"
[ -f "$entry" ] || fail "no desktop entry"
[ -f "$types" ] || fail "no file type list"
for line in "Type=Application" "Name=3D-Velmora 2013" "Exec=velmora %f" "Icon=velmora" \
  "Categories=Graphics;3DGraphics;Education;"; do
  grep -qxF "$line" "$entry" || fail "desktop entry lacks \"$line\""
done
grep -q "^GenericName=Modellbahn" "$entry" || fail "desktop entry lacks the German generic name"
entry_types=$(sed -n 's/^MimeType=//p' "$entry" | tr ';' '\n' | sed '/^$/d' | LC_ALL=C sort)
defined_types=$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$types" | LC_ALL=C sort)
[ "$entry_types" = $'application/x-velmora-object\napplication/x-velmora-package\napplication/x-velmora-project' ] ||
  fail "desktop entry names the types: $entry_types"
[ "$entry_types" = "$defined_types" ] || fail "the type list defines: $defined_types"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry" || fail "desktop entry invalid"; fi
if command -v xmllint >/dev/null; then xmllint --noout "$types" || fail "file type list is no well-formed XML"; fi

# The file types as the desktop sees them: names and the packages' first bytes.
if command -v update-mime-database >/dev/null; then
  mkdir -p "$work/mime/mime/packages"
  cp "$types" "$work/mime/mime/packages/"
  update-mime-database "$work/mime/mime" 2>/dev/null
  for pair in vmp:project vme:object vma:package; do
    grep -qxF "50:application/x-velmora-${pair#*:}:*.${pair%%:*}" "$work/mime/mime/globs2" ||
      fail "*.${pair%%:*} is not application/x-velmora-${pair#*:}"
  done
  if command -v gio >/dev/null; then
    cp "$data/Basisdaten.vma" "$work/ohne-endung-paket"
    cp "$data/Beispielanlagen/Kleine Beispielanlage.vmp" "$work/ohne-endung-anlage"
    for pair in paket:package anlage:project; do
      type=$(XDG_DATA_HOME="$work/mime" XDG_DATA_DIRS="$work/mime:/usr/share" \
        gio info -a standard::content-type "$work/ohne-endung-${pair%%:*}" | sed -n 's/.*content-type: //p')
      [ "$type" = "application/x-velmora-${pair#*:}" ] || fail "a ${pair%%:*} without extension is $type"
    done
  fi
fi

# Icons in every size, RGBA.
for n in 16 32 48 64 128 256; do
  icon="$root/share/icons/hicolor/${n}x${n}/apps/velmora.png"
  [ -f "$icon" ] || fail "no ${n}x${n} icon"
  header=$(od -An -tu1 -j16 -N10 "$icon" | tr -s ' ' | sed 's/^ //;s/ $//')
  size="0 0 $((n / 256)) $((n % 256))"
  [ "$header" = "$size $size 8 6" ] || fail "${n}x${n} icon: PNG header $header"
done

# The command-line program through its link finds the installed Data as its Game root. Every
# other root goes into the work folder, never the home folder.
roots=()
for r in User CommonUser Documents CommonDocuments Temp; do roots+=(--root "$r=$work/roots/$r"); done
check_program() { # LINK ROOT
  local link="$1" home
  home=$(cd "$2/lib/velmora/Data" && pwd -P)
  "$link" --version | grep -q "^velmora-cli " || fail "$link --version"
  "$link" selfcheck >/dev/null || fail "$link selfcheck"
  "$link" settings --json "${roots[@]}" | grep -qF "\"Game\":\"$home/\"" ||
    fail "$link: Game root is not $home/"
  "$link" catalog check "${roots[@]}" | grep -q "Katalog in Ordnung: 2 Pakete" || fail "$link catalog check"
}
check_program "$root/bin/velmora-cli" "$root"
# Moved elsewhere and started through one more link: the relative links still lead home.
mv "$work/stage/opt/velmora" "$work/verschoben"
ln -s "$work/verschoben/bin/velmora-cli" "$work/noch-ein-link"
check_program "$work/noch-ein-link" "$work/verschoben"

rm -rf "$work"
echo "install layout: ok ($programs)"
