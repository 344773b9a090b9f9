#pragma once
// "velmora-cli gap-solve LAYOUT.vmp --from ID[:CONTACT] --to ID[:CONTACT] [--max-pieces N]
// [--tolerance TENTHS] [--create K -o OUT.vmp] [--json]": the gap solver on a layout file. The
// contacts are the pair rule's (or the named contact 0/1 of the active route); the candidates are
// every straight and curve of the first track's system and gauge in the catalogue. Prints the
// progress line with the number of combinations and the solutions in order, or "Keine Lösung
// gefunden."; --create lays solution K as the program does and saves the layout to OUT.
//
// Exit status: 0 done; 1 the layout cannot be read or written, or the tracks cannot be joined;
// 2 wrong use (bad option, an ID that names no track, no solution K).

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

extern const char* const GapSolveCommandUsage;
int RunGapSolveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
