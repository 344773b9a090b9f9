#pragma once
// "velmora-cli pack": creates, lists, extracts and checks package archives (.vma) for package
// authors and support.
//
//   pack create OUT.vma [--level CODE] FILE[=NAME] ...
//   pack list PKG.vma [--json]
//   pack extract PKG.vma NAME [-o FILE]
//   pack check PKG.vma
//
// Exit status: 0 done, 1 check found damaged entries, 2 failure (the system's message is printed).

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

int RunPackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
