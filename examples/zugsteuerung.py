#!/usr/bin/python3
"""Fährt eine Lok über die Anlage, die 3D-Velmora gerade zeigt, und hält sie auf der Hauptstrecke.

Aufruf: zugsteuerung.py [--lok NAME] [--geschwindigkeit CM_PRO_S] [--runden N] [--zeitlimit SEKUNDEN]

Die Lok (ohne --lok die erste Lok der Anlage) fährt mit der Geschwindigkeit los. Jedes Mal, wenn
sie ein Gleis erreicht (Ereignis TrackEntered) und wenn die Anlage selbst eine Weiche umstellt
(ActiveTrackRouteChanged), stellt das Programm jede Weiche, die nicht auf Fahrweg 0 steht, zurück
auf die Hauptstrecke. Gleise heißen oft gleich (nach ihrem Katalogteil); eine Runde ist darum
beendet, wenn die Lok wieder nahe dem Punkt ist, an dem sie losfuhr, nachdem sie sich mindestens
einen halben Meter davon entfernt hat. Nach den Runden hält die Lok an. Exit-Status 1, wenn das
Zeitlimit vorher abläuft.
"""
import argparse
import math
import sys
import time

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

BUS_NAME = "Velmora.VMPControl"
OBJECT = "/VMPControl"
INTERFACE = "Velmora.IVMPControl"
EVENTS = "Velmora.IVMPControlEvents"
SWITCH_TYPES = (4, 5, 6)  # Weiche, Kreuzungsweiche, Dreiwegweiche
FAR_CM = 50    # so weit muss sich die Lok entfernen ...
NEAR_CM = 20   # ... und so nah wieder herankommen


def main():
    parser = argparse.ArgumentParser(description="Fährt eine Lok Runden über die Anlage.")
    parser.add_argument("--lok", help="Name der Lok (ohne: die erste Lok der Anlage)")
    parser.add_argument("--geschwindigkeit", type=float, default=50, help="Zielgeschwindigkeit in cm/s")
    parser.add_argument("--runden", type=int, default=1)
    parser.add_argument("--zeitlimit", type=float, default=300, help="Sekunden")
    args = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    vmp = dbus.Interface(bus.get_object(BUS_NAME, OBJECT), INTERFACE)
    vmp.SetLengthUnit(1)  # Zentimeter, für diese Verbindung
    if not vmp.GetProjectFileName() and not vmp.GetEntities(0):
        print("In 3D-Velmora ist keine Anlage geöffnet.", file=sys.stderr)
        return 1
    locos = [str(n) for n in vmp.GetTrackVehicles(1)]
    lok = args.lok or (locos[0] if locos else None)
    if not lok or lok.lower() not in (n.lower() for n in locos):
        print(f"Keine Lok {lok or ''} auf der Anlage.".replace("  ", " "), file=sys.stderr)
        return 1
    tracks = vmp.GetTracks(0)
    switches = sorted({str(t) for code in SWITCH_TYPES for t in vmp.GetTracks(code)})
    print(f"Lok {lok}, {len(tracks)} Gleise, Weichen: {', '.join(switches) or 'keine'}", flush=True)

    loop = GLib.MainLoop()
    start = [float(v) for v in vmp.GetPosition(lok)]
    state = {"far": False, "entered": 0, "laps": 0, "result": 1}
    started = time.monotonic()

    def set_main_line():
        for name in switches:
            if vmp.GetActiveTrackRoute(name) != 0:
                vmp.SetActiveTrackRoute(name, 0)
                print(f"  Weiche {name} auf Fahrweg 0 gestellt", flush=True)

    def on_entered(track, vehicle, route):
        if str(vehicle).lower() != lok.lower():
            return
        set_main_line()
        state["entered"] += 1
        distance = math.dist(start, [float(v) for v in vmp.GetPosition(lok)])
        if distance > FAR_CM:
            state["far"] = True
        elif state["far"] and distance < NEAR_CM:
            state["laps"] += 1
            state["far"] = False
            print(f"Runde {state['laps']} beendet nach {time.monotonic() - started:.1f} s "
                  f"({state['entered']} Gleise befahren)", flush=True)
            if state["laps"] >= args.runden:
                vmp.SetTrackVehicleSpeed(lok, 0.0)
                state["result"] = 0
                loop.quit()

    def on_timeout():
        print(f"Zeitlimit erreicht: {state['laps']} von {args.runden} Runden.", file=sys.stderr)
        loop.quit()
        return False

    def on_route_changed(track, route):
        # The layout's own events may throw a turnout; it goes back before the train gets there.
        if str(track) in switches and route != 0:
            set_main_line()

    bus.add_signal_receiver(on_entered, signal_name="TrackEntered", dbus_interface=EVENTS, path=OBJECT)
    bus.add_signal_receiver(on_route_changed, signal_name="ActiveTrackRouteChanged", dbus_interface=EVENTS,
                            path=OBJECT)
    set_main_line()
    vmp.SetTrackVehicleSpeed(lok, dbus.Double(args.geschwindigkeit))
    GLib.timeout_add(int(args.zeitlimit * 1000), on_timeout)
    loop.run()
    return state["result"]


if __name__ == "__main__":
    sys.exit(main())
