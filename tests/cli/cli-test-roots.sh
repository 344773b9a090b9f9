# Sourced by the command-line tests that run the program's start-up: arguments CLI WORK DATA give
# the program, a work folder made afresh, and the generated Data folder. Sets cli, work, data and
# roots: every root in the work folder (never the home folder), the Data folder as Game.
cli="$1"
work="$2"
data="$3"
rm -rf "$work"
mkdir -p "$work"
roots=()
for r in User CommonUser Documents CommonDocuments Temp; do roots+=(--root "$r=$work/$r"); done
roots+=(--root "Game=$data")
