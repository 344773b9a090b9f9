#pragma once
// "velmora-cli import LAYOUT.vmp FILE... --out OUT.vmp [--at X,Y,Z] [--json]": loads the layout,
// imports every file into it as the import of the desktop program does (an object file, a 3D
// model (.3ds, .x) or a layout, tried in that order), each placed at the point given by --at
// (the camera target; the origin when not given), and writes the result to OUT, which replaces
// an existing file only once it is complete. The listing names the new objects (ID, kind, name,
// model file and companions) and the files they name that cannot be found.
//
// Exit status: 0 done, 1 a file that does not import or a file that cannot be read or written
// (nothing is written then), 2 wrong use.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* ImportCommandUsage =
    "Aufruf: velmora-cli import PROJEKT DATEI... --out AUSGABE [--at X,Y,Z] [--json]\n"
    "Lädt die Projektdatei, importiert jede DATEI (Objektdatei .vme, 3D-Modell .3ds/.x oder Projektdatei "
    ".vmp) an den Punkt --at (ohne: den Ursprung) und schreibt das Ergebnis nach AUSGABE. Genannt werden die "
    "neuen Objekte und die Dateien, die sie nennen, aber nicht gefunden werden.\n";

int RunImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
