#include "cli/PackCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <ostream>
#include <string_view>

#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXAtomicFile.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXPackage.h"
#include "engine/core/GXStrings.h"

namespace cli {

namespace {

using namespace gx;

constexpr const char* kCreateUsage =
    "Aufruf: velmora-cli pack create PAKET.vma [--level STUFE] DATEI[=NAME] ...\n"
    "Stufen: 0 ungepackt, 1 schnell, 2 Standard, 3 beste (Vorgabe), 4-12 zlib-Stufe 1-9.\n";
constexpr const char* kListUsage = "Aufruf: velmora-cli pack list PAKET.vma [--json]\n";
constexpr const char* kExtractUsage =
    "Aufruf: velmora-cli pack extract PAKET.vma NAME [-o DATEI]\n"
    "        velmora-cli pack extract PAKET.vma --all -o ORDNER\n"
    "Mit --all werden alle Einträge in den Ordner entpackt (Unterordner nach den Namen im Paket).\n";
constexpr const char* kCheckUsage = "Aufruf: velmora-cli pack check PAKET.vma\n";
constexpr const char* kUsage =
    "Aufruf: velmora-cli pack create PAKET.vma [--level STUFE] DATEI[=NAME] ...\n"
    "        velmora-cli pack list PAKET.vma [--json]\n"
    "        velmora-cli pack extract PAKET.vma NAME [-o DATEI]\n"
    "        velmora-cli pack extract PAKET.vma --all -o ORDNER\n"
    "        velmora-cli pack check PAKET.vma\n"
    "        velmora-cli pack UNTERBEFEHL --help\n"
    "Stufen: 0 ungepackt, 1 schnell, 2 Standard, 3 beste (Vorgabe), 4-12 zlib-Stufe 1-9.\n"
    "Exit-Status: 0 erledigt, 1 fehlgeschlagen (Paket unlesbar oder beschädigt), 2 falscher Aufruf.\n";

// A usage error: the message, then the usage text (exit status 2).
struct TUsageError {
  std::string Message;
};
// Work that cannot be done with what was given (exit status 1).
struct TWorkError {
  std::string Message;
};

// Writes into a file descriptor (an extracted entry).
class TFdStream : public TGXStream {
 public:
  explicit TFdStream(int fd) : FFd(fd) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    const char* p = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (done < count) {
      ssize_t n = ::write(FFd, p + done, static_cast<size_t>(count - done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += n;
    }
    FPos += done;
    return done;
  }
  int64_t Seek(int64_t, TGXSeekOrigin) override { return FPos; }
  int64_t Size() const override { return FPos; }

 private:
  int FFd;
  int64_t FPos = 0;
};

// Writes into an output stream (an entry extracted to standard output).
class TOstreamStream : public TGXStream {
 public:
  explicit TOstreamStream(std::ostream& out) : FOut(out) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    FOut.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(count));
    if (!FOut) return 0;
    FPos += count;
    return count;
  }
  int64_t Seek(int64_t, TGXSeekOrigin) override { return FPos; }
  int64_t Size() const override { return FPos; }

 private:
  std::ostream& FOut;
  int64_t FPos = 0;
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
  // Two names the same ignoring case would be one entry: say which arguments collide before
  // anything is written (the writer alone could only say that some name exists).
  std::map<std::string, size_t> seen;  // folded canonical name -> index in files
  for (size_t i = 0; i < files.size(); ++i) {
    std::string canonical = TGXPackage::CanonicalName(files[i].second);
    if (canonical.empty()) continue;  // the writer names the invalid name
    auto [it, fresh] = seen.emplace(LowerCaseText(canonical), i);
    if (fresh) continue;
    const auto& [firstFile, firstName] = files[it->second];
    throw TWorkError{"Die Einträge \"" + TGXPackage::CanonicalName(firstName) + "\" (aus " + firstFile +
                     ") und \"" + canonical + "\" (aus " + files[i].first +
                     ") haben im Paket denselben Namen."};
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

// The disk path below dir for an entry name, or empty when the name would leave dir (absolute,
// a drive, "." or "..", NUL). The reader only hands out canonical names; this holds whatever it
// is given.
std::string PathBelow(const std::string& dir, const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos || name.find('/') != std::string::npos) return {};
  if (name.size() >= 2 && name[1] == ':') return {};  // "C:\..." or "C:..."
  std::string path = dir;
  size_t start = 0;
  for (;;) {
    size_t end = name.find('\\', start);
    std::string_view segment(name.data() + start, (end == std::string::npos ? name.size() : end) - start);
    if (segment.empty() || segment == "." || segment == "..") return {};
    path += '/';
    path += segment;
    if (end == std::string::npos) return path;
    start = end + 1;
  }
}

// Creates the folders of path below dir; a folder that exists must be a real folder, not a
// symbolic link (which could lead outside dir).
void MakeParents(const std::string& dir, const std::string& path) {
  for (size_t slash = path.find('/', dir.size() + 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0777) == 0) continue;
    struct stat st;
    if (errno != EEXIST || ::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw TWorkError{"Ordner kann nicht angelegt werden: " + folder};
  }
}

// Inflates entry index into the file at path; with below, never through a symbolic link (the
// names come from the package). A failed entry leaves no regular file behind.
void ExtractToFile(TGXPackageReader& reader, int index, const std::string& path, bool below) {
  struct stat target;
  if (!below && (::stat(path.c_str(), &target) != 0 || S_ISREG(target.st_mode))) {
    // The file the user named replaces an old one only when complete, and an interrupted
    // extraction leaves nothing (a link there is written through). Devices and pipes such as
    // /dev/null are written into below.
    TGXAtomicFile file(path);
    reader.ExtractTo(index, file);
    file.Commit();
    return;
  }
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (below ? O_NOFOLLOW : 0), 0666);
  if (fd < 0) throw EGXFileOpenError("Datei kann nicht geöffnet werden: " + path);
  struct stat st;
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  try {
    TFdStream file(fd);
    reader.ExtractTo(index, file);
    int rc = ::close(fd);
    fd = -1;
    if (rc != 0) throw EGXStreamWriteError();
  } catch (...) {
    if (fd >= 0) ::close(fd);
    if (regular) ::unlink(path.c_str());
    throw;
  }
}

int ExtractAll(TGXPackageReader& reader, std::string dir, std::ostream& out) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir)) throw TWorkError{"Ordner kann nicht angelegt werden: " + dir};
  // Every name is checked before the first file is written.
  std::vector<std::string> paths;
  for (int i = 0; i < reader.FileCount(); ++i) {
    paths.push_back(PathBelow(dir, reader.FileName(i)));
    if (paths.back().empty()) throw TWorkError{"Unzulässiger Name im Paket: " + reader.FileName(i)};
  }
  for (int i = 0; i < reader.FileCount(); ++i) {
    MakeParents(dir, paths[i]);
    ExtractToFile(reader, i, paths[i], true);
  }
  out << reader.FileCount() << (reader.FileCount() == 1 ? " Datei" : " Dateien") << " entpackt: " << dir
      << "\n";
  return 0;
}

int Extract(const std::vector<std::string>& args, std::ostream& out) {
  std::vector<std::string> positional;
  std::string target;
  bool all = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o") {
      if (i + 1 >= args.size()) throw TUsageError{"-o ohne Datei."};
      target = args[++i];
    } else if (args[i] == "--all") {
      all = true;
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      throw TUsageError{"Unbekannte Option: " + args[i]};
    } else {
      positional.push_back(args[i]);
    }
  }
  if (all) {
    if (positional.size() != 1) throw TUsageError{"Mit --all nur die Paketdatei angeben."};
    if (target.empty()) throw TUsageError{"--all braucht -o ORDNER."};
    TGXPackageReader reader(positional[0]);
    return ExtractAll(reader, target, out);
  }
  if (positional.size() != 2) throw TUsageError{"Paketdatei und Name erwartet."};
  TGXPackageReader reader(positional[0]);
  int index = reader.IndexOf(positional[1]);
  if (index < 0) throw EGXPackageFileOpenError(positional[1], TGXPackage::CanonicalName(positional[1]));
  if (target.empty()) {
    TOstreamStream stream(out);
    reader.ExtractTo(index, stream);
    out.flush();
    if (!out) throw EGXStreamWriteError();
    return 0;
  }
  ExtractToFile(reader, index, target, false);
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
  return bad ? ExitFailed : ExitOK;
}

}  // namespace

int RunPackCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const char* usage = kUsage;
  try {
    if (args.empty()) throw TUsageError{"Unterbefehl fehlt."};
    std::vector<std::string> rest(args.begin() + 1, args.end());
    const std::string& sub = args[0];
    if (sub == "--help" || sub == "-h") {
      out << kUsage;
      return ExitOK;
    }
    using TRun = int (*)(const std::vector<std::string>&, std::ostream&);
    struct TSub {
      const char* Name;
      TRun Run;
      const char* Usage;
    };
    static const TSub kSubs[] = {{"create", Create, kCreateUsage},
                                 {"list", List, kListUsage},
                                 {"extract", Extract, kExtractUsage},
                                 {"check", Check, kCheckUsage}};
    for (const TSub& s : kSubs) {
      if (sub != s.Name) continue;
      usage = s.Usage;
      for (const auto& a : rest)
        if (a == "--help" || a == "-h") {
          out << s.Usage;
          return ExitOK;
        }
      return s.Run(rest, out);
    }
    throw TUsageError{"Unbekannter Unterbefehl: " + sub};
  } catch (const TUsageError& e) {
    err << e.Message << "\n" << usage;
    return ExitUsage;
  } catch (const TWorkError& e) {
    return Fail(err, e.Message);
  } catch (const std::exception& e) {
    return Fail(err, e.what(), std::current_exception());  // the full report with --verbose
  }
}

}  // namespace cli
