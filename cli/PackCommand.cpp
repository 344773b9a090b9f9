#include "cli/PackCommand.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string_view>

#include "cli/CliJson.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXPackage.h"

namespace cli {

namespace {

using namespace gx;

constexpr const char* kUsage =
    "Aufruf: velmora-cli pack create PAKET.vma [--level STUFE] DATEI[=NAME] ...\n"
    "        velmora-cli pack list PAKET.vma [--json]\n"
    "        velmora-cli pack extract PAKET.vma NAME [-o DATEI]\n"
    "        velmora-cli pack check PAKET.vma\n"
    "Stufen: 0 ungepackt, 1 schnell, 2 Standard, 3 beste (Vorgabe), 4-12 zlib-Stufe 1-9.\n";

// A usage error: the message, then the usage text.
struct TUsageError {
  std::string Message;
};

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int Create(const std::vector<std::string>& args, std::ostream& out) {
  if (args.empty()) throw TUsageError{"Paketdatei fehlt."};
  const std::string& target = args[0];
  int level = 3;
  std::vector<std::pair<std::string, std::string>> files;  // disk file, entry name
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--level") {
      if (i + 1 >= args.size()) throw TUsageError{"--level ohne Stufe."};
      const std::string& v = args[++i];
      char* end = nullptr;
      long code = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end || code < 0 || code > 12) throw TUsageError{"Ungültige Stufe: " + v};
      level = static_cast<int>(code);
    } else if (a.size() > 1 && a[0] == '-') {
      throw TUsageError{"Unbekannte Option: " + a};
    } else {
      // FILE=NAME, unless the whole argument is an existing file whose name holds '='.
      size_t eq = a.find('=');
      if (eq == std::string::npos || IsRegularFile(a)) {
        std::string name = a;
        for (char& c : name)
          if (c == '/') c = '\\';
        files.emplace_back(a, name);
      } else {
        files.emplace_back(a.substr(0, eq), a.substr(eq + 1));
      }
    }
  }
  TGXPackageWriter writer(target);
  for (const auto& [file, name] : files) {
    TGXFileStream source(file, TGXFileStream::Mode::Read);
    writer.AddFile(source, name, level);
  }
  writer.Finish();
  out << writer.FileCount() << (writer.FileCount() == 1 ? " Datei" : " Dateien") << " gepackt: " << target
      << "\n";
  return 0;
}

int List(const std::vector<std::string>& args, std::ostream& out) {
  std::string package;
  bool json = false;
  for (const auto& a : args) {
    if (a == "--json")
      json = true;
    else if (a.size() > 1 && a[0] == '-')
      throw TUsageError{"Unbekannte Option: " + a};
    else if (package.empty())
      package = a;
    else
      throw TUsageError{"Zu viele Angaben: " + a};
  }
  if (package.empty()) throw TUsageError{"Paketdatei fehlt."};
  TGXPackageReader reader(package);
  if (json) {
    out << "[";
    for (int i = 0; i < reader.FileCount(); ++i) {
      const TGXPackageFile& f = reader.File(i);
      out << (i ? "," : "") << "{\"name\":" << JsonString(f.Name) << ",\"offset\":" << f.Offset
          << ",\"size\":" << f.Size << ",\"compressedSize\":" << f.CompressedSize << ",\"md5\":\""
          << GXDigestToHex(f.Digest) << "\"}";
    }
    out << "]\n";
    return 0;
  }
  char line[160];
  std::snprintf(line, sizeof line, "%10s %10s %10s  %-32s  %s\n", "Position", "Größe", "Gepackt", "MD5",
                "Name");
  out << line;
  for (int i = 0; i < reader.FileCount(); ++i) {
    const TGXPackageFile& f = reader.File(i);
    std::snprintf(line, sizeof line, "%10d %10d %10d  %s  ", f.Offset, f.Size, f.CompressedSize,
                  GXDigestToHex(f.Digest).c_str());
    out << line << f.Name << "\n";
  }
  return 0;
}

int Extract(const std::vector<std::string>& args, std::ostream& out) {
  std::vector<std::string> positional;
  std::string target;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 >= args.size()) throw TUsageError{"-o ohne Datei."};
      target = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      throw TUsageError{"Unbekannte Option: " + args[i]};
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) throw TUsageError{"Paketdatei und Name erwartet."};
  TGXPackageReader reader(positional[0]);
  auto data = reader.Extract(positional[1]);
  if (!data) throw EGXPackageFileOpenError(positional[1], TGXPackage::CanonicalName(positional[1]));
  if (target.empty()) {
    out.write(reinterpret_cast<const char*>(data->Memory()), static_cast<std::streamsize>(data->Size()));
    out.flush();
    if (!out) throw EGXStreamWriteError();
    return 0;
  }
  try {
    TGXFileStream file(target, TGXFileStream::Mode::Create);
    file.WriteBuffer(data->Memory(), data->Size());
    file.Flush();
  } catch (const EGXStreamWriteError&) {
    std::remove(target.c_str());  // no half-written file
    throw;
  }
  return 0;
}

int Check(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-'))
    throw TUsageError{"Paketdatei erwartet."};
  TGXPackageReader reader(args[0]);
  int bad = 0;
  for (int i = 0; i < reader.FileCount(); ++i) {
    std::string reason = reader.Verify(i);
    if (reason.empty()) continue;
    ++bad;
    out << "FEHLER " << reader.FileName(i) << ": " << reason << "\n";
  }
  out << reader.FileCount() << " Einträge geprüft, " << bad << " fehlerhaft.\n";
  return bad ? 1 : 0;
}

}  // namespace

int RunPackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw TUsageError{"Unterbefehl fehlt."};
    std::vector<std::string> rest(args.begin() + 1, args.end());
    const std::string& sub = args[0];
    if (sub == "create") return Create(rest, out);
    if (sub == "list") return List(rest, out);
    if (sub == "extract") return Extract(rest, out);
    if (sub == "check") return Check(rest, out);
    if (sub == "--help" || sub == "-h") {
      out << kUsage;
      return 0;
    }
    throw TUsageError{"Unbekannter Unterbefehl: " + sub};
  } catch (const TUsageError& e) {
    err << e.Message << "\n" << kUsage;
  } catch (const std::exception& e) {
    err << e.what() << "\n";
  }
  return 2;
}

}  // namespace cli
