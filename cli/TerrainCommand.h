#pragma once
// "velmora-cli terrain export LAYOUT.vmp PANEL-ID OUT.png|bmp|txt|csv [--json]": writes the
// panel's heights as an 8-bit grey PNG, a 24-bit BMP or "x,y,height" lines and names the height
// range the greys span.
// "velmora-cli terrain import LAYOUT.vmp PANEL-ID IN.png|bmp|jpg|jpeg|txt|csv --out OUT.vmp
// [--low CM] [--high CM] [--origin X,Y] [--json]": the panel's heights from the file (greys
// spanning --low ... --high, default 0 ... 100 cm; the origin in cm, default 0,0), the same panel
// kept (ID, place, links, paint), the layout written to OUT as a whole.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* TerrainCommandUsage =
    "Aufruf: velmora-cli terrain export PROJEKT PLATTEN-ID DATEI.png|bmp|txt|csv [--json]\n"
    "       velmora-cli terrain import PROJEKT PLATTEN-ID DATEI.png|bmp|jpg|jpeg|txt|csv --out AUSGABE "
    "[--low CM] [--high CM] [--origin X,Y] [--json]\n"
    "export schreibt die Höhen einer Bodenplatte als Graustufenbild oder Textdatei (Zeilen \"x,y,Höhe\"); "
    "import setzt die Höhen der Bodenplatte aus einer solchen Datei (Grauwerte von --low bis --high, "
    "ohne Angabe 0 bis 100 cm; Ursprung --origin in cm) und schreibt das Projekt nach AUSGABE. PLATTEN-ID "
    "ist "
    "die ID, die info zeigt.\n";

int RunTerrainCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
