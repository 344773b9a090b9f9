#pragma once
// "velmora-cli catalog import-tracks FILE.xtp... [--package OUT.vma] [--dry-run] [--json]":
// imports the track pieces of XTrackCAD parameter files into a user package (app/RRTrackLibrary*).
// Prints per file the pieces imported by type, the definitions refused with their reasons and
// the lines skipped; --dry-run converts and reports without writing. Without --package the
// pieces go into "User:\Pakete\Importierte Gleise.vma". A package outside the watched folders
// makes its folder one, so the catalogue finds it at the next start.
//
// Nothing is written when a file cannot be read. Exit status: 0 done (refused definitions are
// reported, not failures), 1 a file could not be read or the package not written, 2 wrong use.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* TrackImportUsage =
    "Aufruf: velmora-cli catalog import-tracks DATEI.xtp... [--package PAKET.vma] [--dry-run] [--json]\n";
inline constexpr const char* DefaultTrackPackage = "User:\\Pakete\\Importierte Gleise.vma";

// args: the files and options after "import-tracks". Runs inside the program's start-up.
int RunTrackImportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
