#!/usr/bin/python3
"""Zeigt jedes Ereignis, das 3D-Velmora über den Sitzungsbus meldet.

Aufruf: ereignisse.py [--anzahl N] [--zeitlimit SEKUNDEN]

Ohne --anzahl läuft das Programm, bis es mit Strg+C beendet wird. Es braucht ein laufendes
3D-Velmora (oder "velmora-cli serve") und das python3 der Distribution mit python3-dbus und
python3-gi.
"""
import argparse
import sys

import dbus
import dbus.mainloop.glib
from gi.repository import GLib

BUS_NAME = "Velmora.VMPControl"
OBJECT = "/VMPControl"
EVENTS = "Velmora.IVMPControlEvents"


def main():
    parser = argparse.ArgumentParser(description="Zeigt die Ereignisse von 3D-Velmora.")
    parser.add_argument("--anzahl", type=int, default=0, help="endet nach so vielen Ereignissen")
    parser.add_argument("--zeitlimit", type=float, default=0, help="endet nach so vielen Sekunden (Exit-Status 1)")
    args = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    loop = GLib.MainLoop()
    seen = 0
    result = 0

    def on_event(*values, member=None):
        nonlocal seen
        seen += 1
        print(f"{member}: " + ", ".join(str(v) for v in values), flush=True)
        if args.anzahl and seen >= args.anzahl:
            loop.quit()

    def on_timeout():
        nonlocal result
        print(f"Zeitlimit erreicht nach {seen} Ereignissen.", file=sys.stderr)
        result = 1
        loop.quit()
        return False

    bus.add_signal_receiver(on_event, dbus_interface=EVENTS, path=OBJECT, member_keyword="member")
    # Ask once so that the program runs (it may be started by the bus) before events are awaited.
    bus.get_object(BUS_NAME, OBJECT).GetLengthUnit(dbus_interface="Velmora.IVMPControl")
    print("Warte auf Ereignisse von 3D-Velmora ...", flush=True)
    if args.zeitlimit > 0:
        GLib.timeout_add(int(args.zeitlimit * 1000), on_timeout)
    try:
        loop.run()
    except KeyboardInterrupt:
        pass
    return result


if __name__ == "__main__":
    sys.exit(main())
