#pragma once
// "velmora-cli settings [--json]": the effective settings after start-up - display units, recent
// projects, asset paths, general, render and sound settings and the resolved file-system roots -
// for support and for scripts that need to know where the program keeps its files.
//
// Runs inside the program's start-up (Global() exists). Exit status: 0 done, 2 bad option.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

int RunSettingsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
