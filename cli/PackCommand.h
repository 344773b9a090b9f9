#pragma once
// "velmora-cli pack": creates, lists, extracts and checks package archives (.vma) for package
// authors and support.
//
//   pack create OUT.vma [--level CODE] FILE[=NAME] ...
//   pack list PKG.vma [--json]
//   pack extract PKG.vma NAME [-o FILE]
//   pack extract PKG.vma --all -o DIR
//   pack check PKG.vma
//   pack [SUBCOMMAND] --help
//
// Exit status: 0 done, 1 the work failed (unreadable or damaged package, failed check, colliding
// names; the system's message is printed), 2 wrong use (the message and the usage text).

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

int RunPackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
