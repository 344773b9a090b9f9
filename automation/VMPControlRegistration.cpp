#include "automation/VMPControlRegistration.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "automation/Velmora_TLB.h"
#include "engine/core/GXAtomicFile.h"

namespace rr {

namespace fs = std::filesystem;

namespace {

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return s;
}

}  // namespace

TRRAutomationSwitches RRTakeAutomationSwitches(std::vector<std::string>& args) {
  TRRAutomationSwitches result;
  std::erase_if(args, [&](const std::string& a) {
    size_t skip = 0;
    if (a.starts_with("--"))
      skip = 2;
    else if (a.starts_with("-") || a.starts_with("/"))
      skip = 1;
    if (skip == 0) return false;
    const std::string word = Upper(a.substr(skip));
    bool* flag = word == "AUTOMATION"    ? &result.Automation
                 : word == "EMBEDDING"   ? &result.Embedding
                 : word == "REGSERVER"   ? &result.RegServer
                 : word == "UNREGSERVER" ? &result.UnregServer
                                         : nullptr;
    if (flag) *flag = true;
    return flag != nullptr;
  });
  return result;
}

std::string RRActivationFilePath() {
  fs::path base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
    base = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home == '/')
    base = fs::path(home) / ".local" / "share";
  else
    return {};
  return (base / "dbus-1" / "services" / (std::string(RRAutomationBusName) + ".service")).string();
}

std::string RRQuoteForBus(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string RRActivationFileText(const std::string& programPath) {
  return std::string("[D-BUS Service]\nName=") + RRAutomationBusName +
         "\nExec=" + RRQuoteForBus(programPath) + " -Automation\n";
}

void RRWriteActivationFile(const std::string& programPath) {
  const std::string path = RRActivationFilePath();
  if (path.empty())
    throw std::runtime_error(
        "Die Anmeldung am Sitzungsbus ist nicht möglich: kein Benutzerordner (HOME) bekannt.");
  if (programPath.empty() || programPath.front() != '/')
    throw std::runtime_error(
        "Die Anmeldung am Sitzungsbus ist nicht möglich: der Programmpfad ist unbekannt.");
  try {
    fs::create_directories(fs::path(path).parent_path());
    const std::string text = RRActivationFileText(programPath);
    gx::TGXAtomicFile::WriteFile(path, text.data(), text.size());
  } catch (const std::exception& e) {
    throw std::runtime_error("Die Datei \"" + path + "\" kann nicht geschrieben werden: " + e.what());
  }
}

void RRRemoveActivationFile() {
  const std::string path = RRActivationFilePath();
  if (path.empty()) return;
  std::error_code ec;
  fs::remove(path, ec);
  if (ec && fs::exists(path))
    throw std::runtime_error("Die Datei \"" + path + "\" kann nicht gelöscht werden: " + ec.message());
}

}  // namespace rr
