#pragma once
// Downloading packages that a layout needs but the database lacks.
//
// Protocol (the server is velmora-cli package-server or any server answering the same way):
// - information request: POST <server>/data/VelmoraApp/VelmoraApp13/Assets/assets.php, content
//   type application/x-www-form-urlencoded, body "ID=" + the identifier without braces in upper
//   case. The answer is an XML document whose root element's first child element carries the
//   attributes "revision" (an integer) and "url" (the package or a zip archive of packages; a
//   path beginning with '/' is taken relative to the server). No element: nothing to download.
// - HEAD on the url for the total size, then GET writing the body into a temporary file.
//
// Everything that comes from the server is untrusted: only http and https are followed, answers
// and files beyond TRRDownloadLimits are refused, a downloaded package must carry the
// identifier that was asked for, and zip entries are taken only when their names stay inside
// the folder they are extracted to.
//
// TRRPackageRequests holds the state of one project load: the answer to the download question
// (asked once per load), the identifiers already tried (each tried once per load) and whether
// the "no server" message was shown.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RRUIService.h"
#include "engine/core/GXGuid.h"

namespace rr {

class TRRDatabase;

inline constexpr const char* RRPackageInfoPath = "/data/VelmoraApp/VelmoraApp13/Assets/assets.php";
inline constexpr const char* RRCaptionPackageDownload = "Paketdownload";
inline constexpr const char* RRTextPackageDownloadQuestion =
    "Ein Objekt referenziert eine Datei, die in keinem Datenbankpaket gefunden werden konnte.\r\n\r\nSoll der Velmora "
    "im Internet nach verfügbaren Paketen suchen und diese automatisch herunterladen?";
inline constexpr const char* RRTextNoPackageServer =
    "Ein Objekt referenziert eine Datei, die in keinem Datenbankpaket gefunden werden konnte.\r\n\r\nEs ist kein "
    "Paketserver eingestellt (Einstellung DBSettings/PackageServer), daher können fehlende Datenbankpakete nicht "
    "automatisch heruntergeladen werden.";
inline constexpr const char* RRCaptionAutoDownload = "Automatischer Paketdownload";
inline constexpr const char* RRTextSearchingPackages = "Suche nach Datenbankaktualisierungen im Internet...";
inline constexpr const char* RRTextLoadingPackage = "Lade Datenbankpaket...";
inline constexpr const char* RRTextLoadingPackageOf = "Lade Datenbankpaket... (%s von %s)";

struct TRRDownloadLimits {
  // An information answer is a few hundred bytes.
  int64_t MaxAnswerSize = 1 << 20;
  // Package positions are 32-bit, so no package reaches 2 GiB; a zip of packages is bounded alike.
  int64_t MaxPackageSize = int64_t(1) << 30;
  // Entries looked at in a zip archive, and packages taken from it.
  int MaxZipEntries = 10000;
  int MaxZipPackages = 64;
  // Bytes a zip entry may inflate to per byte it takes in the archive, once it is past
  // MinRatioCheckedSize (0: no such bound). Packages hold compressed data, so a real one
  // hardly shrinks in a zip; a zip bomb does, a thousandfold.
  double MaxInflateRatio = 0;
  int64_t MinRatioCheckedSize = int64_t(32) << 20;
  // Seconds to connect, and seconds without a single byte before a transfer is given up.
  long ConnectTimeout = 15;
  long StallTimeout = 60;
};

// "ID=..." form encoding: letters, digits and '-' pass, blank is '+', any other byte "%xx".
std::string RRFormEncode(std::string_view text);
// "%d KB" (bytes div 1024) up to 1048575 bytes, else "%.2f MB" with the decimal separator of
// the number format in use.
std::string RRFormatDownloadSize(int64_t bytes);
// The download address in an information answer, when its first element has a revision of at
// least minRevision and a url; relative addresses are joined with server.
std::optional<std::string> RRParsePackageInfo(std::string_view answer, int32_t minRevision, const std::string& server);
// Whether a zip entry name stays inside the folder it is extracted to (no "..", no absolute
// path, no drive letter, either separator).
bool RRIsSafeArchiveEntryName(std::string_view name);
// Extracts every ".vma" entry of the zip archive into folder under a fresh random name and
// returns the files written. Unsafe names, oversized entries and damaged data are skipped (each
// with its reason in skipped, when given); a file that is not a zip archive gives nothing.
std::vector<std::string> RRExtractZipPackages(const std::string& zipFile, const std::string& folder,
                                              const TRRDownloadLimits& limits = {},
                                              std::vector<std::string>* skipped = nullptr);

// One package download (the worker's part). Touches nothing of the database.
class TRRAssetDownloader {
 public:
  TRRAssetDownloader(std::string server, const gx::TGXGuid& identifier, int32_t minRevision,
                     TRRDownloadLimits limits = {});
  // Information request, HEAD and GET with progress; stops when progress is cancelled. Never
  // raises: a failure leaves OutputFileName empty and says why in Failure().
  void Execute(IRRProgress& progress);
  const std::string& OutputFileName() const { return FOutputFileName; }
  const std::string& Failure() const { return FFailure; }

 private:
  bool Run(IRRProgress& progress);

  std::string FServer;
  gx::TGXGuid FIdentifier;
  int32_t FMinRevision;
  TRRDownloadLimits FLimits;
  std::string FOutputFileName;
  std::string FFailure;
};

class TRRPackageRequests {
 public:
  // server gives the configured server address (empty: downloads are off).
  TRRPackageRequests(TRRDatabase& database, IRRUIService& ui, std::function<std::string()> server);

  // Asked with the relative path of a missing packaged file. True when a package with the
  // identifier the path names was downloaded and added (as temporary).
  bool Request(const std::string& relativePath);
  // A new load: ask again, try every package again.
  void Reset();
  TRRDownloadLimits& Limits() { return FLimits; }

 private:
  bool AddDownloaded(const std::string& file, const gx::TGXGuid& identifier);

  TRRDatabase& FDatabase;
  IRRUIService& FUI;
  std::function<std::string()> FServer;
  TRRDownloadLimits FLimits;
  TRRAnswer FAnswer = TRRAnswer::None;
  std::vector<gx::TGXGuid> FAttempted;
  bool FNoServerShown = false;
};

}  // namespace rr
