#pragma once
// "velmora-cli parts-list LAYOUT.vmp [--format csv|html] [-o FILE] [--date TEXT] [--json]": the
// parts list of a layout (TRRPartsList), written to FILE or standard output in the bytes the
// desktop program saves. --date replaces the date and time (reproducible files); --json lists the
// rows and the file written.
//
// Exit status: 0 done, 1 the layout cannot be loaded or the file cannot be written, 2 wrong use.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

extern const char* const PartsListCommandUsage;
int RunPartsListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
