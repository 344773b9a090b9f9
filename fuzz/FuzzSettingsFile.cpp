// The program's start-up and shut-down with arbitrary bytes as the settings file. Either the
// file is read (it stays as it was, nothing is shown) or it is rescued (moved aside byte for
// byte, one message) - never a crash, and never a file lost. The shut-down then writes a
// settings file that the next start reads without a word.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/RRGlobal.h"

namespace {

namespace fs = std::filesystem;

const std::string& Folder() {
  static const std::string folder = [] {
    std::string pattern = (fs::temp_directory_path() / "velmora-fuzz-settings-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  return folder;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

rr::TRRStartOptions Options(rr::IRRUIService& ui) {
  rr::TRRStartOptions options;
  options.UI = &ui;
  for (const char* root : {"Game", "User", "CommonUser", "Documents", "CommonDocuments", "Temp"})
    options.Roots.push_back({root, Folder() + "/" + root});
  return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string user = Folder() + "/User";
  const std::string file = user + "/Settings.xml";
  const std::string aside = file + ".defekt";
  std::error_code ec;
  fs::remove_all(user, ec);
  fs::create_directories(user);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(file, std::ios::binary) << bytes;

  {
    rr::TRRScriptedUIService ui;
    {
      rr::TRRGlobal global(Options(ui));
      if (fs::exists(aside)) {
        Check(!fs::exists(file));
        Check(ReadAll(aside) == bytes);
        Check(ui.Shown().size() == 1);
      } else {
        Check(ReadAll(file) == bytes);
        Check(ui.Shown().empty());
      }
    }
    Check(ui.Shown().size() <= 1);
  }
  // What the shut-down wrote is read again without a message (and nothing moves aside).
  fs::remove(aside, ec);
  rr::TRRScriptedUIService ui;
  { rr::TRRGlobal global(Options(ui)); }
  Check(ui.Shown().empty() && !fs::exists(aside));
  return 0;
}
