#pragma once
// "velmora-cli model info FILE [--json]": what a model file holds, read without a display. A .3ds
// or .x file shows its format, node tree (name, transform, meshes), meshes (vertices and, per
// sub-mesh, first index, index count and texture name; a colour as "Farbe " and its text, raw in
// JSON) and animation (seconds per frame, end frame, tracks with their key counts per kind). A
// .gxmesh file shows its vertex range, elements, streams and sub-meshes.
//
// FILE is a disk path or a virtual path ("Game:\{...}\Box.gxmesh"). Runs inside the program's
// start-up (Global() exists). Exit status: 0 done, 1 the file is missing or no reader takes it
// (with each reader's reason), 2 bad arguments.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* ModelCommandUsage =
    "Aufruf: velmora-cli model info DATEI [--json]\n"
    "Zeigt, was eine Modelldatei (.3ds, .x) enthält: Format, Knotenbaum, Meshes mit ihren Teilen und "
    "Texturen, Animation; bei einer .gxmesh-Datei Elemente, Datenströme und Teile. DATEI ist ein Pfad "
    "auf der Platte oder im Dateisystem des Programms (\"Game:\\{...}\\Box.gxmesh\").\n";

int RunModelCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
