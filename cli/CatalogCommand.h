#pragma once
// "velmora-cli catalog list [--json]": the packages of the asset database (identifier, name,
// author, revision, file, read-only and temporary marks) and each package's folder tree with its
// entries (kind, name, catalogue path), plus the package files that could not be used.
// "velmora-cli catalog check": every package readable, every file a catalogue entry refers to
// present; prints what is wrong.
// "velmora-cli catalog import-tracks ...": XTrackCAD parameter files into a user package
// (TrackImportCommand.h).
//
// Runs inside the program's start-up (Global() exists). Exit status: 0 done (check: sound),
// 1 check found faults, 2 bad arguments or no program state.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

int RunCatalogCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
