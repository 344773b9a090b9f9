#pragma once
// The layout-file commands of velmora-cli; each runs inside the program's start-up (Global()
// exists) and uses the program's one project.
//
// "velmora-cli new [--out FILE]": a new layout with the default objects, saved to FILE
//   ("Neues Projekt.vmp" in the working folder when not given).
// "velmora-cli info FILE [--json]": the file's header, version, thumbnail size and track-parameter
//   lists, and after loading every entity (ID, kind, name, position, rotation, link and the key
//   data of its kind) and the event section.
// "velmora-cli convert IN OUT": reads a layout (.vmp, versions 8 to 12) or an object file (.vme,
//   any readable form) and writes it in the current form; a layout keeps its thumbnail.
//
// Exit status: 0 done, 1 the file could not be read or written (reported), 2 bad arguments.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

int RunNewCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
