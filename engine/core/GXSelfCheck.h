#pragma once
// A quick check that the engine's foundation works on this machine: the math conventions, the
// exception texts and the libraries the engine links (zlib, MD5, XML). Used by the command-line
// program's "selfcheck" and by support.

#include <string>
#include <vector>

namespace gx {

struct TGXSelfCheckItem {
  std::string Name;
  bool Passed = false;
  std::string Detail;
};

std::vector<TGXSelfCheckItem> RunEngineSelfCheck();

}  // namespace gx
