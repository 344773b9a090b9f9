#include "app/RRAssetDownloader.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <pugixml.hpp>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>

#include "app/RRAssetFileLoader.h"
#include "app/RRDatabase.h"
#include "app/RRUnits.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

namespace fs = std::filesystem;

void InitCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TCurlHandle {
  CURL* H = curl_easy_init();
  curl_slist* Headers = nullptr;
  ~TCurlHandle() {
    if (Headers) curl_slist_free_all(Headers);
    if (H) curl_easy_cleanup(H);
  }
};

// What the transfer callbacks share.
struct TTransfer {
  IRRProgress* Progress = nullptr;
  int64_t Limit = 0;
  int64_t Received = 0;
  int64_t Total = 1;
  bool ReportBytes = false;
  bool TooLarge = false;
  std::string* Answer = nullptr;
  std::FILE* File = nullptr;
  int64_t LastShown = -1;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  size_t n = size * count;
  if (t->Received + static_cast<int64_t>(n) > t->Limit) {
    t->TooLarge = true;
    return 0;  // ends the transfer with a write error
  }
  t->Received += static_cast<int64_t>(n);
  if (t->Answer) t->Answer->append(data, n);
  if (t->File && std::fwrite(data, 1, n, t->File) != n) return 0;
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* t = static_cast<TTransfer*>(user);
  if (!t->Progress) return 0;
  if (t->Progress->Cancelled()) return 1;
  if (t->ReportBytes && t->Received != t->LastShown) {
    t->LastShown = t->Received;
    std::string text = RRTextLoadingPackageOf;
    text.replace(text.find("%s"), 2, RRFormatDownloadSize(t->Received));
    text.replace(text.find("%s"), 2, RRFormatDownloadSize(t->Total));
    t->Progress->SetText(text);
    t->Progress->SetProgress(std::min(t->Received, t->Total), t->Total);
  }
  return 0;
}

void CommonOptions(TCurlHandle& c, const std::string& url, const TRRDownloadLimits& limits, TTransfer& t) {
  curl_easy_setopt(c.H, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c.H, CURLOPT_NOSIGNAL, 1L);
  // Answers name further addresses: never let them reach local files or other protocols.
  curl_easy_setopt(c.H, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c.H, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c.H, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c.H, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(c.H, CURLOPT_CONNECTTIMEOUT, limits.ConnectTimeout);
  curl_easy_setopt(c.H, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c.H, CURLOPT_LOW_SPEED_TIME, limits.StallTimeout);
  curl_easy_setopt(c.H, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c.H, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(c.H, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c.H, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c.H, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(c.H, CURLOPT_XFERINFODATA, &t);
}

std::string ServerBase(std::string server) {
  server = std::string(gx::TrimText(server));
  while (!server.empty() && server.back() == '/') server.pop_back();
  return server;
}

bool EndsWithVma(std::string_view name) {
  return name.size() > 4 && gx::SameText(name.substr(name.size() - 4), RRAssetExtension);
}

}  // namespace

std::string RRFormEncode(std::string_view text) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string RRFormatDownloadSize(int64_t bytes) {
  char buf[64];
  if (bytes <= 1048575) {
    std::snprintf(buf, sizeof buf, "%lld KB", static_cast<long long>(bytes / 1024));
    return buf;
  }
  // Printed in the C form, then given the separator of the number format in use.
  auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(bytes) / 1048576.0, std::chars_format::fixed, 2);
  std::string text(buf, r.ptr);
  size_t dot = text.find('.');
  if (dot != std::string::npos) text.replace(dot, 1, RRDecimalSeparator());
  return text + " MB";
}

std::optional<std::string> RRParsePackageInfo(std::string_view answer, int32_t minRevision, const std::string& server) {
  pugi::xml_document doc;
  if (!doc.load_buffer(answer.data(), answer.size())) return std::nullopt;
  pugi::xml_node root = doc.document_element();
  // The first child element: text or whitespace before it is no answer.
  pugi::xml_node item = root.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
  if (!item) return std::nullopt;
  std::string_view revisionText = item.attribute("revision").value();
  int32_t revision = 0;
  auto [end, ec] = std::from_chars(revisionText.data(), revisionText.data() + revisionText.size(), revision);
  if (revisionText.empty() || ec != std::errc() || end != revisionText.data() + revisionText.size()) return std::nullopt;
  if (revision < minRevision) return std::nullopt;
  std::string url(gx::TrimText(item.attribute("url").value()));
  if (url.empty()) return std::nullopt;
  if (url.front() == '/') url = ServerBase(server) + url;
  return url;
}

bool RRIsSafeArchiveEntryName(std::string_view name) {
  if (name.empty() || name.size() > 1024) return false;
  if (name.front() == '/' || name.front() == '\\') return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == ':') return false;  // control characters; drive letters and streams
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("/\\", start);
    std::string_view part = name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part == "..") return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

std::vector<std::string> RRExtractZipPackages(const std::string& zipFile, const std::string& folder,
                                              const TRRDownloadLimits& limits,
                                              std::vector<std::string>* skipped) {
  std::vector<std::string> out;
  auto skip = [&](std::string_view name, const char* why) {
    if (skipped) skipped->push_back(std::string(name) + ": " + why);
  };
  int error = 0;
  zip_t* archive = zip_open(zipFile.c_str(), ZIP_RDONLY, &error);
  if (!archive) return out;
  static std::mt19937 random{std::random_device{}()};
  zip_int64_t count = zip_get_num_entries(archive, 0);
  // Bytes written, also of entries refused on the way, and what the whole archive may inflate to.
  int64_t extractedTotal = 0;
  int64_t totalAllowed = limits.MaxPackageSize;
  std::error_code sizeError;
  uintmax_t archiveSize = fs::file_size(zipFile, sizeError);
  if (limits.MaxInflateRatio > 0 && !sizeError) {
    double byRatio = limits.MaxInflateRatio * static_cast<double>(archiveSize);
    totalAllowed = std::min(
        totalAllowed, std::max(limits.MinRatioCheckedSize, static_cast<int64_t>(std::min(byRatio, 9e18))));
  }
  for (zip_int64_t i = 0; i < count && i < limits.MaxZipEntries; ++i) {
    if (static_cast<int>(out.size()) >= limits.MaxZipPackages) break;
    zip_stat_t st;
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
      continue;
    std::string_view name(st.name);
    if (name.empty() || name.back() == '/' || !EndsWithVma(name)) continue;
    if (!RRIsSafeArchiveEntryName(name)) {
      skip(name, "unsicherer Name");
      continue;
    }
    if ((st.valid & ZIP_STAT_SIZE) && static_cast<int64_t>(st.size) > limits.MaxPackageSize) {
      skip(name, "zu groß");
      continue;
    }
    // What the entry may inflate to. The stored size bounds the bytes libzip reads, so the ratio
    // holds whatever the archive claims about the inflated size.
    int64_t allowed = limits.MaxPackageSize;
    if (limits.MaxInflateRatio > 0 && (st.valid & ZIP_STAT_COMP_SIZE)) {
      double byRatio = limits.MaxInflateRatio * static_cast<double>(st.comp_size);
      allowed = std::min(allowed,
                         std::max(limits.MinRatioCheckedSize, static_cast<int64_t>(std::min(byRatio, 9e18))));
    }
    zip_file_t* entry = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (!entry) {
      skip(name, "nicht lesbar");
      continue;
    }
    // A fresh name of our own: the entry's name never becomes a path.
    std::string target;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
      target = UniqueFileName(folder + "/" + std::to_string(random() % 10000) + RRAssetExtension);
      fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    const char* why = fd >= 0 ? nullptr : "nicht schreibbar";
    int64_t written = 0;
    char buf[65536];
    while (!why) {
      zip_int64_t n = zip_fread(entry, buf, sizeof buf);
      if (n < 0) why = "beschädigt";
      if (n <= 0) break;
      written += n;
      // The stored sizes are the archive's claim; the bytes actually read are what counts.
      if (written > allowed || extractedTotal + written > totalAllowed) why = "entpackt zu groß";
      for (zip_int64_t done = 0; !why && done < n;) {
        ssize_t w = write(fd, buf + done, static_cast<size_t>(n - done));
        if (w <= 0)
          why = "nicht schreibbar";
        else
          done += w;
      }
    }
    zip_fclose(entry);
    if (fd >= 0 && close(fd) != 0 && !why) why = "nicht schreibbar";
    extractedTotal += written;
    if (why) {
      if (fd >= 0) unlink(target.c_str());
      skip(name, why);
      continue;
    }
    out.push_back(target);
  }
  zip_discard(archive);
  return out;
}

// ---- downloader ---------------------------------------------------------------------------------

TRRAssetDownloader::TRRAssetDownloader(std::string server, const gx::TGXGuid& identifier, int32_t minRevision,
                                       TRRDownloadLimits limits)
    : FServer(std::move(server)), FIdentifier(identifier), FMinRevision(minRevision), FLimits(limits) {}

void TRRAssetDownloader::Execute(IRRProgress& progress) {
  FOutputFileName.clear();
  FFailure.clear();
  try {
    Run(progress);
  } catch (const std::exception& e) {
    FFailure = e.what();
  } catch (...) {
    FFailure = "?";
  }
  if (FOutputFileName.empty() && FFailure.empty()) FFailure = "no package";
}

bool TRRAssetDownloader::Run(IRRProgress& progress) {
  InitCurl();
  progress.SetText(RRTextSearchingPackages);

  // Information request.
  std::string id = FIdentifier.ToString();
  std::string body = "ID=" + RRFormEncode(gx::UpperCaseText(id.substr(1, id.size() - 2)));
  std::string answer;
  {
    TCurlHandle c;
    TTransfer t;
    t.Progress = &progress;
    t.Limit = FLimits.MaxAnswerSize;
    t.Answer = &answer;
    CommonOptions(c, ServerBase(FServer) + RRPackageInfoPath, FLimits, t);
    c.Headers = curl_slist_append(c.Headers, "Content-Type: application/x-www-form-urlencoded");
    curl_easy_setopt(c.H, CURLOPT_HTTPHEADER, c.Headers);
    curl_easy_setopt(c.H, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(c.H, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    CURLcode rc = curl_easy_perform(c.H);
    if (rc != CURLE_OK) {
      FFailure = t.TooLarge ? "information answer too large" : curl_easy_strerror(rc);
      return false;
    }
  }
  std::optional<std::string> url = RRParsePackageInfo(answer, FMinRevision, FServer);
  if (!url) {
    FFailure = "no package offered";
    return false;
  }
  if (progress.Cancelled()) return false;

  progress.SetText(RRTextLoadingPackage);
  int64_t total = 1;
  {
    TCurlHandle c;
    TTransfer t;
    t.Progress = &progress;
    t.Limit = 0;
    CommonOptions(c, *url, FLimits, t);
    curl_easy_setopt(c.H, CURLOPT_NOBODY, 1L);
    // A server that refuses HEAD still gets its GET; the size is then unknown.
    if (curl_easy_perform(c.H) == CURLE_OK) {
      curl_off_t length = -1;
      if (curl_easy_getinfo(c.H, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0) {
        if (length > FLimits.MaxPackageSize) {
          FFailure = "package too large";
          return false;
        }
        total = length;
      }
    }
  }
  if (progress.Cancelled()) return false;

  std::string file = TempFileName();
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (!out) {
    unlink(file.c_str());
    FFailure = "cannot write " + file;
    return false;
  }
  TCurlHandle c;
  TTransfer t;
  t.Progress = &progress;
  t.Limit = FLimits.MaxPackageSize;
  t.Total = total;
  t.ReportBytes = true;
  t.File = out;
  CommonOptions(c, *url, FLimits, t);
  curl_easy_setopt(c.H, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(FLimits.MaxPackageSize));
  CURLcode rc = curl_easy_perform(c.H);
  bool ok = rc == CURLE_OK && !progress.Cancelled();
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    unlink(file.c_str());
    FFailure = t.TooLarge ? "package too large" : progress.Cancelled() ? "cancelled" : curl_easy_strerror(rc);
    return false;
  }
  OnProgress(&t, 0, 0, 0, 0);
  FOutputFileName = file;
  return true;
}

// ---- requests of one load -----------------------------------------------------------------------

TRRPackageRequests::TRRPackageRequests(TRRDatabase& database, IRRUIService& ui, std::function<std::string()> server)
    : FDatabase(database), FUI(ui), FServer(std::move(server)) {}

void TRRPackageRequests::Reset() {
  FAnswer = TRRAnswer::None;
  FAttempted.clear();
  FNoServerShown = false;
}

bool TRRPackageRequests::Request(const std::string& relativePath) {
  if (FAnswer == TRRAnswer::No) return false;
  size_t brace = relativePath.find('{');
  if (brace == std::string::npos || relativePath.size() - brace < 38) return false;
  std::optional<gx::TGXGuid> id = gx::TGXGuid::TryParse(std::string_view(relativePath).substr(brace, 38));
  if (!id) return false;
  // A file missing from an installed package is no reason to download anything.
  if (FDatabase.FindAsset(*id) || std::find(FAttempted.begin(), FAttempted.end(), *id) != FAttempted.end())
    return false;
  std::string server = FServer ? std::string(gx::TrimText(FServer())) : std::string();
  if (server.empty()) {
    FAttempted.push_back(*id);
    if (!FNoServerShown) FUI.ShowMessage(RRTextNoPackageServer, RRCaptionPackageDownload, TRRMessageIcon::Information);
    FNoServerShown = true;
    return false;
  }
  if (FAnswer != TRRAnswer::Yes) {
    FAnswer = FUI.Ask(RRTextPackageDownloadQuestion, RRCaptionPackageDownload, TRRButtons::YesNo);
    if (FAnswer != TRRAnswer::Yes) return false;
  }
  // Tried once per load, whatever comes of it.
  FAttempted.push_back(*id);
  TRRAssetDownloader downloader(server, *id, 0, FLimits);
  try {
    RRRunWithProgress(FUI, RRCaptionAutoDownload, RRTextSearchingPackages, true,
                      [&](IRRProgress& p) { downloader.Execute(p); });
  } catch (...) {
    return false;
  }
  if (downloader.OutputFileName().empty()) return false;
  return AddDownloaded(downloader.OutputFileName(), *id);
}

bool TRRPackageRequests::AddDownloaded(const std::string& file, const gx::TGXGuid& identifier) {
  std::vector<TRRAsset*> added;
  bool keepFile = false;
  if (FDatabase.AddPackage(file, true)) {
    added.push_back(FDatabase.Item(FDatabase.Count() - 1));
    keepFile = true;
  } else {
    std::string folder = fs::path(file).parent_path().string();
    for (const std::string& extracted : RRExtractZipPackages(file, folder, FLimits)) {
      if (FDatabase.AddPackage(extracted, true)) added.push_back(FDatabase.Item(FDatabase.Count() - 1));
      else unlink(extracted.c_str());
    }
  }
  // The server must deliver what was asked for; anything else is not taken.
  bool wanted = std::any_of(added.begin(), added.end(), [&](TRRAsset* a) { return a->Identifier() == identifier; });
  if (!wanted) {
    for (TRRAsset* a : added) FDatabase.RemovePackage(a);
    keepFile = false;
  }
  if (!keepFile) unlink(file.c_str());
  return wanted;
}

}  // namespace rr
