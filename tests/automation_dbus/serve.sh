#!/usr/bin/env bash
# The automation interface as other programs use it, inside a session bus of its own
# (dbus-run-session): velmora-cli serve with and without the sample, gdbus calls of every method
# group, the introspection document, signals leaving before the reply (dbus-monitor), an error
# reply, the Python examples driving the sample's train, and the desktop program's registration
# and start by the bus.
#   serve.sh VELMORA-CLI VELMORA DATA-DIR SOURCE-DIR WORK-DIR
set -euo pipefail
cli=$1 desktop=$2 data=$3 src=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
sample="$data/Beispielanlagen/Kleine Beispielanlage.vmp"
roots=(--root "Game=$data")
for r in User CommonUser Documents CommonDocuments Temp; do roots+=(--root "$r=$work/$r"); done
python=/usr/bin/python3

fail() {
  echo "FEHLER: $*" >&2
  for f in "$work"/*.out "$work"/*.err; do [ -s "$f" ] && { echo "--- $f"; tail -20 "$f"; } >&2; done
  exit 1
}
call() { gdbus call --session --timeout 60 -d Velmora.VMPControl -o /VMPControl -m "Velmora.IVMPControl.$1" "${@:2}"; }
expect() {  # expect WHAT METHOD ARGS...: the reply must be exactly WHAT
  local got
  got=$(call "${@:2}" 2>&1) || fail "$2: $got"
  [ "$got" = "$1" ] || fail "$2 ${*:3}: erwartet $1, erhalten $got"
}
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done' EXIT
serve() {  # serve NAME ARGS...: starts velmora-cli serve and waits for its bus names
  "$cli" serve --json "${@:2}" "${roots[@]}" > "$work/$1.out" 2> "$work/$1.err" &
  server=$!
  pids+=($server)
  for _ in $(seq 300); do
    grep -q '"busName":"Velmora.VMPControl"' "$work/$1.out" && return 0
    kill -0 "$server" 2>/dev/null || fail "serve endete vorzeitig"
    sleep 0.2
  done
  fail "serve meldet sich nicht"
}
stop() {  # SIGTERM ends serve cleanly with status 0
  kill -TERM "$server"
  wait "$server" || fail "serve endete nach SIGTERM mit Status $?"
}

# ---- without a layout: cleared values; then a layout loaded through the bus ----
serve leer
gdbus introspect --session -d Velmora.VMPControl -o /VMPControl --xml > "$work/introspect.xml"
cmp -s "$work/introspect.xml" "$src/automation/Velmora.IVMPControl.xml" ||
  fail "die Selbstbeschreibung weicht von automation/Velmora.IVMPControl.xml ab"
expect "(@as [],)" GetEntities 0
expect "(0,)" GetSignalState Signal
expect "('',)" GetProjectFileName
expect "(1,)" GetLengthUnit
expect "(true,)" AnimationsEnabled
call GetAppFileName | grep -q "velmora-cli" || fail "GetAppFileName nennt das Programm nicht"
expect "()" LoadProject "$sample"
expect "('$sample',)" GetProjectFileName
call GetTracks 0 | grep -q "'WR15'" || fail "GetTracks ohne die Weiche"
call GetTrackVehicles 1 | grep -q "Elektrolok Sperber" || fail "GetTrackVehicles ohne die Lok"
expect "(4,)" GetTrackType WR15
expect "(2,)" GetTrackRouteCount WR15
call GetCameras 2 | grep -q "Am Bahnübergang" || fail "GetCameras ohne die gesetzte Kamera"
call GetControllers 0 | grep -q "'" || fail "GetControllers leer"
expect "()" SetLengthUnit 3
call GetPosition "Elektrolok Sperber" | grep -Eq '^\(\[[-0-9.e]+, [-0-9.e]+, [-0-9.e]+\],\)$' ||
  fail "GetPosition liefert keine drei Zahlen"

# A change made by a call is signalled before the call's reply.
signal=$(call GetSignals | sed -E "s/^\(\['([^']*)'.*/\1/")
[ -n "$signal" ] || fail "GetSignals leer"
state=$(call GetSignalState "$signal" | tr -dc '0-9')
dbus-monitor --session "type='signal',interface='Velmora.IVMPControlEvents'" "type='method_return'" \
  > "$work/monitor.out" 2>&1 &
monitor=$!
pids+=($monitor)
sleep 1
call SetSignalState "$signal" $((1 - state)) > /dev/null
sleep 1
kill "$monitor" 2>/dev/null || true
wait "$monitor" 2>/dev/null || true
sig_serial=$(grep -m1 "member=SignalStateChanged" "$work/monitor.out" | sed -E 's/.* serial=([0-9]+).*/\1/')
[ -n "$sig_serial" ] || fail "kein SignalStateChanged gesehen"
sender=$(grep -m1 "member=SignalStateChanged" "$work/monitor.out" | sed -E 's/.* sender=([^ ]+) .*/\1/')
ret_serial=$(grep "method return" "$work/monitor.out" | grep "sender=$sender " | awk -v s="$sig_serial" \
  '{ for (i = 1; i <= NF; i++) if ($i ~ /^serial=/) { n = substr($i, 8) + 0; if (n > s) { print n; exit } } }')
[ -n "$ret_serial" ] || fail "die Antwort kam vor dem Signal"

# A save that cannot be written is one error reply with the program's message.
out=$(call SaveProject "$work/fehlt/Anlage.vmp" 2>&1) && fail "SaveProject ohne Ordner gelang"
echo "$out" | grep -q "Velmora.Error.Unexpected" || fail "falscher Fehler: $out"
stop

# ---- the examples drive the sample's train (in real time: the client answers each event) ----
serve zug "$sample"
"$python" "$src/examples/ereignisse.py" --anzahl 20 --zeitlimit 120 > "$work/ereignisse.out" 2> "$work/ereignisse.err" &
events=$!
pids+=($events)
"$python" "$src/examples/zugsteuerung.py" --runden 1 --zeitlimit 120 > "$work/zug.out" 2> "$work/zug.err" ||
  fail "zugsteuerung.py schaffte keine Runde"
grep -q "Runde 1 beendet" "$work/zug.out" || fail "zugsteuerung.py meldet keine Runde"
wait "$events" || fail "ereignisse.py sah keine 20 Ereignisse"
grep -q "^TrackEntered: " "$work/ereignisse.out" || fail "ereignisse.py sah kein TrackEntered"
grep -q "^TrackLeft: " "$work/ereignisse.out" || fail "ereignisse.py sah kein TrackLeft"
stop

# ---- the desktop program: registration, and a start by the bus for a client ----
export XDG_DATA_HOME="$work/xdg"
service="$XDG_DATA_HOME/dbus-1/services/Velmora.VMPControl.service"
"$desktop" --regserver || fail "--regserver endete mit Status $?"
grep -qx "Exec='$(readlink -f "$desktop")' -Automation" "$service" || fail "Exec-Zeile falsch: $(cat "$service")"
grep -qx "Name=Velmora.VMPControl" "$service" || fail "Name-Zeile fehlt"
"$desktop" /UNREGSERVER || fail "/UNREGSERVER endete mit Status $?"
[ ! -e "$service" ] || fail "/UNREGSERVER ließ die Datei stehen"
"$desktop" -RegServer
# A bus of its own reads the activation file: the first call starts the program, which ends when
# its last client is gone.
mkdir -p "$work/home"
HOME="$work/home" QT_QPA_PLATFORM=offscreen dbus-run-session -- bash -c '
  set -e
  gdbus call --session --timeout 120 -d Velmora.VMPControl -o /VMPControl -m Velmora.IVMPControl.GetAppFileName > "$1/activated.out"
  for _ in $(seq 150); do
    owned=$(gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner Velmora.VMPControl)
    [ "$owned" = "(false,)" ] && exit 0
    sleep 0.2
  done
  echo "das gestartete Programm endete nicht" >&2
  exit 1' _ "$work" 2> "$work/activation.err" || fail "Start durch den Bus: $(cat "$work/activation.err")"
grep -q "$(readlink -f "$desktop")" "$work/activated.out" || fail "gestartet wurde nicht $desktop"
echo "Automatisierung auf dem Sitzungsbus: alles in Ordnung."
