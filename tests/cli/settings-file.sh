#!/usr/bin/env bash
# The settings file as a user meets it with "velmora-cli settings": a damaged file is moved aside
# with one message on standard error and the exit status of a normal run; hand-edited values
# that read as their defaults are named on standard error; a linked file is written through.
# Every root lies in a fresh folder below the build tree, the base packages are the Game root.
set -eu
cli="$1"
work="$2"
data="$3"
rm -rf "$work"
mkdir -p "$work"
roots=()
for r in CommonUser Documents CommonDocuments Temp; do roots+=(--root "$r=$work/$r"); done
roots+=(--root "Game=$data")
user="$work/User"
mkdir -p "$user"
fail() { echo "$*"; exit 1; }

run() {  # run the settings command; sets $out, $err, $rc
  set +e
  out=$("$cli" settings --json --root "User=$user" "${roots[@]}" 2>"$work/err")
  rc=$?
  set -e
  err=$(cat "$work/err")
}

# A damaged file (the end tag is missing): moved aside before anything is written.
printf '<Application><GeneralSettings><LengthUnit>3</LengthUnit>' >"$user/Settings.xml"
cp "$user/Settings.xml" "$work/damaged"
echo "vorige Kopie" >"$user/Settings.xml.defekt"
run
[ "$rc" -eq 0 ] || fail "exit status $rc ($err)"
cmp "$work/damaged" "$user/Settings.xml.defekt" || fail "the damaged file was not kept"
[ "$(grep -c 'beschädigt' <<<"$err")" -eq 1 ] || fail "expected one message: $err"
grep -qF "Die Einstellungsdatei „$user/Settings.xml“ war beschädigt (XML-Fehler: End-Tag fehlt" <<<"$err" ||
  fail "message: $err"
grep -qF "und wurde nach „$user/Settings.xml.defekt“ verschoben. Es gelten die Standardeinstellungen." <<<"$err" ||
  fail "message: $err"
grep -q '"lengthUnit":{"index":0' <<<"$out" || fail "not the defaults: $out"
head -c 15 "$user/Settings.xml" | grep -q '^<Application>' || fail "no fresh settings file"

# The next run reads the fresh file without a word.
run
[ "$rc" -eq 0 ] && [ -z "$err" ] || fail "second run: $rc $err"

# Values that read as their defaults or are clamped: one line each on standard error.
printf '<Application><GeneralSettings><LengthUnit>7</LengthUnit><Animations>true</Animations></GeneralSettings></Application>' \
  >"$user/Settings.xml"
run
[ "$rc" -eq 0 ] || fail "exit status $rc ($err)"
grep -qxF 'Einstellung GeneralSettings/LengthUnit: „7“ liegt außerhalb von 0 bis 4, es gilt 4.' <<<"$err" || fail "$err"
grep -qxF 'Einstellung GeneralSettings/Animations: „true“ ist keine ganze Zahl, es gilt 1.' <<<"$err" || fail "$err"
[ "$(wc -l <<<"$err")" -eq 2 ] || fail "expected two lines: $err"

# A linked settings file: the link stays, its target gets the new content.
mkdir -p "$work/dotfiles"
printf '<Application><GeneralSettings><LengthUnit>2</LengthUnit></GeneralSettings></Application>' \
  >"$work/dotfiles/velmora.xml"
rm "$user/Settings.xml"
ln -s ../dotfiles/velmora.xml "$user/Settings.xml"
run
[ "$rc" -eq 0 ] || fail "exit status $rc ($err)"
grep -q '"lengthUnit":{"index":2' <<<"$out" || fail "the link was not read: $out"
[ -L "$user/Settings.xml" ] || fail "the link was replaced"
grep -q '<RecentProject0>' "$work/dotfiles/velmora.xml" || fail "the target was not written"

# A folder in the file's place is reported, not silently never saved.
rm "$user/Settings.xml"
mkdir "$user/Settings.xml"
run
[ "$rc" -eq 0 ] || fail "exit status $rc ($err)"
grep -qF "An der Stelle der Einstellungsdatei „$user/Settings.xml“ liegt ein Ordner." <<<"$err" || fail "$err"
echo "ok"
