#pragma once
// "velmora-cli glinfo [--json]": the graphics adapter as the engine sees it - vendor, renderer,
// versions, the limits it reads, the surface, depth and multisample formats it offers and the
// texture filter levels the texture-quality setting chooses from. For support: it shows why a
// machine draws the way it does without starting the program.
//
// Exit status: 0 done, 1 no OpenGL 3.3 core context could be made, 2 bad option.

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

int RunGlInfoCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
