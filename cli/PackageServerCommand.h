#pragma once
// "velmora-cli package-server --dir DIR [--listen ADDR:PORT]": serves the packages of a folder to
// the program's package download.
//
// At start every ".vma" directly in DIR is read (its identifier and revision) and every ".zip"
// is looked into for the packages it holds; a plain package wins over a zip for the same
// identifier. The server answers
// - POST /data/VelmoraApp/VelmoraApp13/Assets/assets.php with "ID=<identifier without braces>":
//   <assets><asset id="{...}" revision="n" url="http://host/packages/<file>"/></assets>, or an
//   empty <assets/> for an identifier it does not offer;
// - GET and HEAD /packages/<file> with the file's bytes (only files it found at start).
// Port 0 picks a free port; the address actually used is printed. SIGINT or SIGTERM stop it.

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXGuid.h"

namespace httplib {
class Server;
}

namespace cli {

struct TPackageOffer {
  gx::TGXGuid Identifier;
  int32_t Revision = 1;
  std::string FileName;  // name in the folder, as it appears in the address
};

class TPackageServer {
 public:
  // Scans folder (see above); unreadable files are listed in Problems().
  explicit TPackageServer(std::string folder);
  ~TPackageServer();
  TPackageServer(const TPackageServer&) = delete;
  TPackageServer& operator=(const TPackageServer&) = delete;

  const std::vector<TPackageOffer>& Offers() const { return FOffers; }
  const std::vector<std::string>& Problems() const { return FProblems; }
  // Binds to host:port (0: any free port); the port bound, or -1.
  int Bind(const std::string& host, int port);
  // Serves until Stop (from another thread).
  void Run();
  void Stop();
  // Information requests answered so far.
  int InfoRequests() const { return FInfoRequests.load(); }

  // The information answer for a form body ("ID=..."); base is "http://host:port".
  std::string InfoAnswer(const std::string& identifierText, const std::string& base) const;

 private:
  void Scan();
  const TPackageOffer* Find(const gx::TGXGuid& id) const;

  std::string FFolder;
  std::string FHost;
  int FPort = -1;
  std::vector<TPackageOffer> FOffers;
  std::vector<std::string> FProblems;
  std::unique_ptr<httplib::Server> FServer;
  std::atomic<int> FInfoRequests{0};
};

// Percent-encodes everything but letters, digits and "-._~" (a file name in an address).
std::string UrlEncodePath(std::string_view text);

int RunPackageServerCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
