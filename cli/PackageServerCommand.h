#pragma once
// "velmora-cli package-server --dir DIR [--listen ADDR:PORT] [--public-url URL]": serves the
// packages of a folder to the program's package download.
//
// At start every ".vma" directly in DIR is read (its identifier and revision) and every ".zip"
// is looked into for the packages it holds; a plain package wins over a zip for the same
// identifier. The server answers
// - POST /data/VelmoraApp/VelmoraApp13/Assets/assets.php with "ID=<identifier without braces>":
//   <assets><asset id="{...}" revision="n" url="URL/packages/<file>"/></assets> (URL from
//   --public-url, else the address is relative to the server), or an empty <assets/> for an
//   identifier it does not offer;
// - GET and HEAD /packages/<file> with the file's bytes, also single byte ranges. Only files
//   found at start are served, and only while the name still leads to the very file recorded
//   then (device and inode, never through a symbolic link).
// Port 0 picks a free port; the address actually used is printed. SIGINT or SIGTERM stop it.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/HttpServer.h"
#include "engine/core/GXGuid.h"

namespace cli {

struct TPackageOffer {
  gx::TGXGuid Identifier;
  int32_t Revision = 1;
  std::string FileName;  // name in the folder, as it appears in the address
};

// The files the server may deliver, recorded at start by device and inode.
class TServedFiles {
 public:
  TServedFiles() = default;
  ~TServedFiles();
  TServedFiles(const TServedFiles&) = delete;
  TServedFiles& operator=(const TServedFiles&) = delete;

  // Opens the folder once; later lookups go through this handle, even if the path is changed.
  bool OpenFolder(const std::string& folder);
  // Records name: a regular file directly in the folder, not a symbolic link.
  bool Add(const std::string& name);
  bool Contains(const std::string& name) const { return FFiles.count(name) != 0; }
  // A read descriptor for name while it is still the file recorded at start, with its size
  // now; -1 for any other name or file.
  int Open(const std::string& name, int64_t& size) const;

 private:
  struct TIdentity {
    dev_t Device;
    ino_t Inode;
  };
  int FFolder = -1;
  std::map<std::string, TIdentity> FFiles;
};

class TPackageServer {
 public:
  // Scans folder (see above); unreadable files are listed in Problems(). publicUrl, when set,
  // is the start of every download address ("http://host:port" or with a path).
  explicit TPackageServer(std::string folder, std::string publicUrl = {}, THttpLimits limits = {});
  ~TPackageServer();
  TPackageServer(const TPackageServer&) = delete;
  TPackageServer& operator=(const TPackageServer&) = delete;

  bool FolderFound() const { return FFolderFound; }
  const std::vector<TPackageOffer>& Offers() const { return FOffers; }
  const std::vector<std::string>& Problems() const { return FProblems; }
  // Binds to host:port (0: any free port); the port bound, or -1 with the reason in error.
  int Bind(const std::string& host, int port, std::string* error = nullptr);
  // Serves until Stop (from another thread).
  void Run();
  void Stop();
  // Information requests answered so far.
  int InfoRequests() const { return FInfoRequests.load(); }

  // The information answer for an identifier without braces; base starts every address.
  std::string InfoAnswer(const std::string& identifierText, const std::string& base) const;
  // The answer to one request (the HTTP layer adds framing and limits).
  THttpResponse Handle(const THttpRequest& request);

 private:
  void Scan();
  const TPackageOffer* Find(const gx::TGXGuid& id) const;

  std::string FFolder;
  std::string FPublicUrl;
  bool FFolderFound = false;
  std::vector<TPackageOffer> FOffers;
  std::vector<std::string> FProblems;
  TServedFiles FFiles;
  std::unique_ptr<THttpServer> FServer;
  std::atomic<int> FInfoRequests{0};
};

// Percent-encodes everything but letters, digits and "-._~" (a file name in an address).
std::string UrlEncodePath(std::string_view text);
// The value of key in a form body or query ("a=1&ID=..."; '+' is a blank); empty when absent
// or malformed.
std::string FormValue(std::string_view form, std::string_view key);

int RunPackageServerCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace cli
