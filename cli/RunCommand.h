#pragma once
// "velmora-cli run LAYOUT.vmp --seconds S [--dt 0.04] [--animations on|off] [--sound] [--out FILE]
// [--json]": runs a layout without a display. The command loads the layout into the program's
// project (with the render core, so models have their parts and sizes, but without a view),
// calls the project's frame step every dt seconds on a fixed clock for S seconds and prints the
// log of what the switches and vehicles reported (time, frame, the condition's name, subject and
// route by name and ID, parameter), then every vehicle's final state. The same layout and options
// give the same bytes. --sound opens the default sound device (vehicles play by their rule);
// --out saves the layout after the run; --animations off runs with animations switched off.
//
// Exit status: 0 run; 1 the layout cannot be loaded (or saved), no graphics; 2 wrong use.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

extern const char* const RunCommandUsage;
int RunRunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
