#include "cli/PackageServerCommand.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <thread>

#include "app/RRAssetDownloader.h"
#include "app/RRDatabase.h"
#include "app/RRMarkup.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXStrings.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

constexpr int kExitOK = 0, kExitFailed = 1, kExitUsage = 2;
constexpr const char* kPackagePrefix = "/packages/";
constexpr const char* kUsage =
    "Aufruf: velmora-cli package-server --dir ORDNER [--listen ADRESSE:PORT] [--public-url URL]\n"
    "Stellt die Pakete eines Ordners (.vma und Pakete in .zip) zum Download bereit.\n"
    "  --dir ORDNER       der Ordner mit den Paketen (nur was beim Start dort liegt, wird geliefert)\n"
    "  --listen ADR:PORT  Adresse und Port (Standard 127.0.0.1:8080; Port 0 wählt einen freien)\n"
    "  --public-url URL   Anfang der Download-Adressen in den Antworten (Standard: relativ zum Server)\n"
    "SIGINT oder SIGTERM beenden den Server.\n";

bool HasExtension(const std::string& name, const char* ext) {
  size_t n = std::char_traits<char>::length(ext);
  return name.size() > n && gx::SameText(std::string_view(name).substr(name.size() - n), ext);
}

// The packages a database finds in folder (its Game root): identifier, revision, file name.
std::vector<TPackageOffer> ReadPackages(const std::string& folder, std::vector<std::string>& problems) {
  gx::TGXFileSystem fileSystem;
  fileSystem.SetRoot("Game", folder + "/");
  rr::TRRDatabase db(fileSystem, {});
  std::vector<TPackageOffer> out;
  for (int i = 0; i < db.Count(); ++i)
    out.push_back({db.Item(i)->Identifier(), db.Item(i)->Revision(),
                   fs::path(db.Item(i)->FileName()).filename().string()});
  for (const auto& p : db.Problems()) problems.push_back(p.FileName + ": " + p.Reason);
  return out;
}

// Zips are unpacked only to learn which packages they hold. Packages are compressed already, so
// a real one hardly shrinks in a zip; past 32 MiB an entry (and the whole zip) may inflate to at
// most 50 times its stored size, and never beyond the 1 GiB a download may have.
rr::TRRDownloadLimits ZipScanLimits() {
  rr::TRRDownloadLimits limits;
  limits.MaxInflateRatio = 50;
  limits.MinRatioCheckedSize = int64_t(32) << 20;
  return limits;
}

// An address the answers may start with: http(s), no blanks, quotes or control characters.
bool IsPlainUrl(const std::string& url) {
  bool scheme = url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0;
  return scheme && url.size() < 2048 && std::all_of(url.begin(), url.end(), [](unsigned char c) {
           return c > 0x20 && c < 0x7F && c != '"' && c != '<' && c != '>' && c != '\\';
         });
}

THttpResponse TextAnswer(int status, std::string text = {}) {
  THttpResponse r;
  r.Status = status;
  r.Body = text.empty() ? std::string(HttpReason(status)) + "\n" : std::move(text);
  r.Headers.push_back({"Content-Type", "text/plain; charset=utf-8"});
  return r;
}

}  // namespace

std::string UrlEncodePath(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string FormValue(std::string_view form, std::string_view key) {
  while (!form.empty()) {
    size_t amp = form.find('&');
    std::string_view pair = form.substr(0, amp);
    form = amp == std::string_view::npos ? std::string_view() : form.substr(amp + 1);
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos || pair.substr(0, eq) != key) continue;
    std::string value(pair.substr(eq + 1)), decoded;
    std::replace(value.begin(), value.end(), '+', ' ');
    return PercentDecode(value, decoded) ? decoded : std::string();
  }
  return {};
}

// ---- the files served ---------------------------------------------------------------------------

TServedFiles::~TServedFiles() {
  if (FFolder >= 0) close(FFolder);
}

bool TServedFiles::OpenFolder(const std::string& folder) {
  if (FFolder >= 0) close(FFolder);
  FFolder = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return FFolder >= 0;
}

bool TServedFiles::Add(const std::string& name) {
  struct stat st {};
  if (FFolder < 0 || name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
    return false;
  if (fstatat(FFolder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return false;
  FFiles[name] = {st.st_dev, st.st_ino};
  return true;
}

int TServedFiles::Open(const std::string& name, int64_t& size) const {
  auto it = FFiles.find(name);
  if (it == FFiles.end()) return -1;
  // O_NOFOLLOW: a name turned into a symbolic link is refused; O_NONBLOCK: a pipe put in its
  // place cannot hold the server. What is opened must still be the file recorded at start.
  int fd = openat(FFolder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_dev != it->second.Device ||
      st.st_ino != it->second.Inode) {
    close(fd);
    return -1;
  }
  size = st.st_size;
  return fd;
}

// ---- the server ---------------------------------------------------------------------------------

TPackageServer::TPackageServer(std::string folder, std::string publicUrl, THttpLimits limits)
    : FFolder(std::move(folder)), FPublicUrl(std::move(publicUrl)) {
  while (!FPublicUrl.empty() && FPublicUrl.back() == '/') FPublicUrl.pop_back();
  FServer = std::make_unique<THttpServer>([this](const THttpRequest& r) { return Handle(r); }, limits);
  Scan();
}

TPackageServer::~TPackageServer() { Stop(); }

void TPackageServer::Scan() {
  std::error_code ec;
  if (!fs::is_directory(FFolder, ec) || !FFiles.OpenFolder(FFolder)) {
    FProblems.push_back(FFolder + ": kein Ordner");
    return;
  }
  FFolderFound = true;
  auto offer = [&](const TPackageOffer& o) {
    if (Find(o.Identifier)) return;
    if (FFiles.Contains(o.FileName) || FFiles.Add(o.FileName))
      FOffers.push_back(o);
    else
      FProblems.push_back(o.FileName +
                          ": keine gewöhnliche Datei (symbolische Verknüpfung?), nicht angeboten");
  };
  // Plain packages first: a package wins over a zip holding the same identifier.
  for (const TPackageOffer& o : ReadPackages(FFolder, FProblems)) offer(o);
  std::vector<std::string> zips;
  for (fs::directory_iterator it(FFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    std::string name = it->path().filename().string();
    if (it->symlink_status(ec2).type() == fs::file_type::regular && HasExtension(name, ".zip"))
      zips.push_back(name);
  }
  std::sort(zips.begin(), zips.end());
  const rr::TRRDownloadLimits limits = ZipScanLimits();
  for (const std::string& name : zips) {
    std::string dir = (fs::temp_directory_path(ec) / "velmora-serve-XXXXXX").string();
    if (!mkdtemp(dir.data())) {
      FProblems.push_back(name + ": kein temporärer Ordner zum Entpacken");
      continue;
    }
    std::vector<std::string> skipped;
    rr::RRExtractZipPackages((fs::path(FFolder) / name).string(), dir, limits, &skipped);
    for (const std::string& s : skipped) FProblems.push_back(name + ": " + s);
    for (const TPackageOffer& o : ReadPackages(dir, FProblems)) offer({o.Identifier, o.Revision, name});
    fs::remove_all(dir, ec);
  }
}

const TPackageOffer* TPackageServer::Find(const gx::TGXGuid& id) const {
  for (const TPackageOffer& o : FOffers)
    if (o.Identifier == id) return &o;
  return nullptr;
}

std::string TPackageServer::InfoAnswer(const std::string& identifierText, const std::string& base) const {
  std::string answer = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<assets>\n";
  // Built by appending: "{" + std::string(...) makes GCC 12 warn of an overlap (-Wrestrict).
  std::string braced = "{";
  braced.append(gx::TrimText(identifierText)).append("}");
  std::optional<gx::TGXGuid> id = gx::TGXGuid::TryParse(braced);
  if (const TPackageOffer* o = id ? Find(*id) : nullptr)
    answer += "  <asset id=\"" + o->Identifier.ToString() + "\" revision=\"" + std::to_string(o->Revision) +
              "\" url=\"" + rr::RREscapeMarkup(base + kPackagePrefix + UrlEncodePath(o->FileName)) + "\"/>\n";
  return answer + "</assets>\n";
}

THttpResponse TPackageServer::Handle(const THttpRequest& request) {
  const bool read = request.Method == "GET" || request.Method == "HEAD";
  if (request.Path == rr::RRPackageInfoPath) {
    if (request.Method != "POST") {
      THttpResponse r = TextAnswer(405);
      r.Headers.push_back({"Allow", "POST"});
      return r;
    }
    ++FInfoRequests;
    std::string id = FormValue(request.Body, "ID");
    if (id.empty()) id = FormValue(request.Query, "ID");
    // The address comes from the configuration or is relative: never from the client's Host.
    THttpResponse r;
    r.Body = InfoAnswer(id, FPublicUrl);
    r.Headers.push_back({"Content-Type", "text/xml; charset=utf-8"});
    return r;
  }
  if (request.Path.rfind(kPackagePrefix, 0) != 0) return TextAnswer(404);
  if (!read) {
    THttpResponse r = TextAnswer(405);
    r.Headers.push_back({"Allow", "GET, HEAD"});
    return r;
  }
  int64_t size = 0;
  int fd = FFiles.Open(request.Path.substr(std::char_traits<char>::length(kPackagePrefix)), size);
  if (fd < 0) return TextAnswer(404);
  const std::string* rangeHeader = request.Header("Range");
  TByteRange range = ParseByteRange(rangeHeader ? *rangeHeader : std::string(), size);
  THttpResponse r;
  r.Headers.push_back({"Accept-Ranges", "bytes"});
  if (range.Kind == TByteRange::TKind::Unsatisfiable) {
    close(fd);
    r.Status = 416;
    r.Headers.push_back({"Content-Range", "bytes */" + std::to_string(size)});
    return r;
  }
  r.Headers.push_back({"Content-Type", "application/octet-stream"});
  r.File = fd;
  r.FileOffset = range.First;
  r.FileLength = range.Last - range.First + 1;
  if (range.Kind == TByteRange::TKind::Part) {
    r.Status = 206;
    r.Headers.push_back({"Content-Range", "bytes " + std::to_string(range.First) + "-" +
                                              std::to_string(range.Last) + "/" + std::to_string(size)});
  }
  return r;
}

int TPackageServer::Bind(const std::string& host, int port, std::string* error) {
  return FServer->Bind(host, port, error);
}

void TPackageServer::Run() { FServer->Run(); }

void TPackageServer::Stop() { FServer->Stop(); }

// ---- the command --------------------------------------------------------------------------------

int RunPackageServerCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string dir, listen = "127.0.0.1:8080", publicUrl;
  bool haveDir = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return kExitOK;
    }
    std::string* value = a == "--dir"          ? &dir
                         : a == "--listen"     ? &listen
                         : a == "--public-url" ? &publicUrl
                                               : nullptr;
    if (!value) {
      err << "Unbekannte Option: " << a << "\n" << kUsage;
      return kExitUsage;
    }
    if (i + 1 >= args.size()) {
      err << "Der Option " << a << " fehlt ihr Wert.\n" << kUsage;
      return kExitUsage;
    }
    *value = args[++i];
    haveDir = haveDir || value == &dir;
  }
  if (!haveDir || dir.empty()) {
    err << "Die Option --dir fehlt.\n" << kUsage;
    return kExitUsage;
  }
  size_t colon = listen.rfind(':');
  int port = -1;
  if (colon != std::string::npos && colon + 1 < listen.size() && listen.size() - colon <= 6 &&
      std::all_of(listen.begin() + static_cast<long>(colon) + 1, listen.end(),
                  [](unsigned char c) { return std::isdigit(c); }))
    port = std::stoi(listen.substr(colon + 1));
  if (port < 0 || port > 65535) {
    err << "Ungültige Adresse für --listen: " << listen << " (erwartet ADRESSE:PORT)\n";
    return kExitUsage;
  }
  if (!publicUrl.empty() && !IsPlainUrl(publicUrl)) {
    err << "Ungültige Adresse für --public-url: " << publicUrl << " (erwartet http://… oder https://…)\n";
    return kExitUsage;
  }
  std::string host = listen.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);

  // SIGINT and SIGTERM are taken by a waiting thread, which stops the server the normal way.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  TPackageServer server(dir, publicUrl);
  if (!server.FolderFound()) {
    err << "Der Paketordner " << dir << " ist kein Ordner.\n";
    return kExitFailed;
  }
  for (const std::string& p : server.Problems()) err << "Übersprungen: " << p << "\n";
  std::string why;
  int bound = server.Bind(host, port, &why);
  if (bound < 0) {
    err << "Adresse " << listen << " kann nicht gebunden werden: " << why << ".\n";
    return kExitFailed;
  }
  out << "Paketserver: http://" << (host.find(':') != std::string::npos ? "[" + host + "]" : host) << ":"
      << bound << " (" << server.Offers().size() << " Pakete aus " << dir << ")" << std::endl;
  for (const TPackageOffer& o : server.Offers())
    out << "  " << o.Identifier.ToString() << "  Revision " << o.Revision << "  " << o.FileName << std::endl;
  std::thread waiter([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
  });
  server.Run();
  // The server may also have ended on its own: wake the waiter.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  out << "Paketserver beendet." << std::endl;
  return kExitOK;
}

}  // namespace cli
