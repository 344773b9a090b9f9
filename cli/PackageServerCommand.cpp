#include "cli/PackageServerCommand.h"

#include <httplib.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

#include "app/RRAssetDownloader.h"
#include "app/RRDatabase.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXStrings.h"

namespace cli {

namespace {

namespace fs = std::filesystem;

bool HasExtension(const std::string& name, const char* ext) {
  size_t n = std::char_traits<char>::length(ext);
  return name.size() > n && gx::SameText(std::string_view(name).substr(name.size() - n), ext);
}

std::string XmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// The packages a database finds in folder (its Game root): identifier, revision, file name.
std::vector<TPackageOffer> ReadPackages(const std::string& folder, std::vector<std::string>& problems) {
  gx::TGXFileSystem fileSystem;
  fileSystem.SetRoot("Game", folder + "/");
  rr::TRRDatabase db(fileSystem, {});
  std::vector<TPackageOffer> out;
  for (int i = 0; i < db.Count(); ++i)
    out.push_back({db.Item(i)->Identifier(), db.Item(i)->Revision(), fs::path(db.Item(i)->FileName()).filename().string()});
  for (const auto& p : db.Problems()) problems.push_back(p.FileName + ": " + p.Reason);
  return out;
}

// A Host header is echoed into addresses only when it looks like one.
bool SaneHost(const std::string& host) {
  return !host.empty() && host.size() < 256 && std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
  });
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

TPackageServer::TPackageServer(std::string folder) : FFolder(std::move(folder)) { Scan(); }

TPackageServer::~TPackageServer() { Stop(); }

void TPackageServer::Scan() {
  std::error_code ec;
  if (!fs::is_directory(FFolder, ec)) {
    FProblems.push_back(FFolder + ": kein Ordner");
    return;
  }
  // Plain packages first: a package wins over a zip holding the same identifier.
  for (const TPackageOffer& o : ReadPackages(FFolder, FProblems)) FOffers.push_back(o);
  std::vector<std::string> zips;
  for (fs::directory_iterator it(FFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    std::string name = it->path().filename().string();
    if (it->is_regular_file(ec2) && HasExtension(name, ".zip")) zips.push_back(name);
  }
  std::sort(zips.begin(), zips.end());
  for (const std::string& name : zips) {
    char tmpl[] = "/tmp/velmora-serveXXXXXX";
    if (!mkdtemp(tmpl)) continue;
    std::string dir = tmpl;
    rr::RRExtractZipPackages((fs::path(FFolder) / name).string(), dir);
    for (const TPackageOffer& o : ReadPackages(dir, FProblems))
      if (!Find(o.Identifier)) FOffers.push_back({o.Identifier, o.Revision, name});
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
  std::optional<gx::TGXGuid> id = gx::TGXGuid::TryParse("{" + std::string(gx::TrimText(identifierText)) + "}");
  if (const TPackageOffer* o = id ? Find(*id) : nullptr)
    answer += "  <asset id=\"" + o->Identifier.ToString() + "\" revision=\"" + std::to_string(o->Revision) +
              "\" url=\"" + XmlText(base + "/packages/" + UrlEncodePath(o->FileName)) + "\"/>\n";
  return answer + "</assets>\n";
}

int TPackageServer::Bind(const std::string& host, int port) {
  FServer = std::make_unique<httplib::Server>();
  FServer->set_payload_max_length(64 * 1024);
  FHost = host;
  FServer->Post(rr::RRPackageInfoPath, [this](const httplib::Request& req, httplib::Response& res) {
    ++FInfoRequests;
    std::string id = req.has_param("ID") ? req.get_param_value("ID") : std::string();
    if (id.empty() && req.body.rfind("ID=", 0) == 0) id = req.body.substr(3);
    std::string host = req.get_header_value("Host");
    std::string base = "http://" + (SaneHost(host) ? host : FHost + ":" + std::to_string(FPort));
    res.set_content(InfoAnswer(id, base), "text/xml; charset=utf-8");
  });
  FServer->Get(R"(/packages/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
    std::string name = req.matches[1];
    auto it = std::find_if(FOffers.begin(), FOffers.end(), [&](const TPackageOffer& o) { return o.FileName == name; });
    std::error_code ec;
    std::string path = (fs::path(FFolder) / name).string();
    uintmax_t size = it == FOffers.end() ? 0 : fs::file_size(path, ec);
    if (it == FOffers.end() || ec) {
      res.status = 404;
      return;
    }
    auto in = std::make_shared<std::ifstream>(path, std::ios::binary);
    res.set_content_provider(static_cast<size_t>(size), "application/octet-stream",
                             [in](size_t offset, size_t length, httplib::DataSink& sink) {
                               char buf[65536];
                               in->clear();
                               in->seekg(static_cast<std::streamoff>(offset));
                               in->read(buf, static_cast<std::streamsize>(std::min(length, sizeof buf)));
                               std::streamsize n = in->gcount();
                               if (n <= 0) return false;
                               sink.write(buf, static_cast<size_t>(n));
                               return true;
                             });
  });
  if (port == 0) FPort = FServer->bind_to_any_port(host);
  else FPort = FServer->bind_to_port(host, port) ? port : -1;
  return FPort;
}

void TPackageServer::Run() {
  if (FServer && FPort >= 0) FServer->listen_after_bind();
}

void TPackageServer::Stop() {
  if (FServer) FServer->stop();
}

int RunPackageServerCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string dir, listen = "127.0.0.1:8080";
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--dir" && i + 1 < args.size()) dir = args[++i];
    else if (args[i] == "--listen" && i + 1 < args.size()) listen = args[++i];
    else {
      err << "Unbekannte Option: " << args[i] << "\nAufruf: velmora-cli package-server --dir ORDNER [--listen ADRESSE:PORT]\n";
      return 2;
    }
  }
  size_t colon = listen.rfind(':');
  int port = -1;
  if (colon != std::string::npos) {
    try {
      size_t used = 0;
      port = std::stoi(listen.substr(colon + 1), &used);
      if (used != listen.size() - colon - 1) port = -1;
    } catch (...) {
      port = -1;
    }
  }
  if (dir.empty() || port < 0 || port > 65535) {
    err << "Aufruf: velmora-cli package-server --dir ORDNER [--listen ADRESSE:PORT]\n";
    return 2;
  }
  std::string host = listen.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);

  // SIGINT and SIGTERM are taken by a waiting thread, which stops the server the normal way.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  TPackageServer server(dir);
  for (const std::string& p : server.Problems()) err << "Übersprungen: " << p << "\n";
  int bound = server.Bind(host, port);
  if (bound < 0) {
    err << "Der Paketserver kann nicht an " << listen << " gebunden werden.\n";
    return 1;
  }
  out << "Paketserver: http://" << (host.find(':') != std::string::npos ? "[" + host + "]" : host) << ":" << bound
      << " (" << server.Offers().size() << " Pakete aus " << dir << ")" << std::endl;
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
  return 0;
}

}  // namespace cli
