// Reading and converting XTrackCAD parameter files: the whole installed library (Debian's
// xtrkcad-common, about 4,000 definitions in 260 files; skipped when it is not installed) and one
// of our own test libraries. The files are read into memory once; each iteration parses and
// converts all of them.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/RRTrackLibrary.h"
#include "app/RRTrackLibraryConvert.h"

namespace {

struct TText {
  std::string Name, Bytes;
};

std::vector<TText> Load(const std::filesystem::path& folder, const std::string& only = {}) {
  std::vector<TText> files;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return files;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    if (e.path().extension() != ".xtp" || (!only.empty() && e.path().filename() != only)) continue;
    std::ifstream in(e.path(), std::ios::binary);
    files.push_back({e.path().string(), std::string(std::istreambuf_iterator<char>(in), {})});
  }
  std::sort(files.begin(), files.end(), [](const TText& a, const TText& b) { return a.Name < b.Name; });
  return files;
}

void Convert(benchmark::State& state, const std::vector<TText>& files) {
  if (files.empty()) {
    state.SkipWithError("no parameter files");
    return;
  }
  int64_t definitions = 0, imported = 0;
  for (auto _ : state) {
    definitions = imported = 0;
    for (const TText& f : files) {
      rr::TRRTrackLibraryFile library = rr::RRReadTrackLibrary(f.Bytes, f.Name);
      std::vector<rr::TRRTrackLibraryPiece> pieces = rr::RRConvertTrackLibrary(library);
      definitions += static_cast<int64_t>(pieces.size());
      for (const auto& p : pieces) imported += p.Description ? 1 : 0;
      benchmark::DoNotOptimize(pieces.data());
    }
  }
  state.counters["definitions"] = static_cast<double>(definitions);
  state.counters["imported"] = static_cast<double>(imported);
  state.counters["definitions/s"] =
      benchmark::Counter(static_cast<double>(definitions), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_InstalledLibrary(benchmark::State& state) {
  static const std::vector<TText> files = Load("/usr/share/xtrkcad/params");
  Convert(state, files);
}
BENCHMARK(BM_InstalledLibrary)->Unit(benchmark::kMillisecond);

void BM_OwnTestLibrary(benchmark::State& state) {
  static const std::vector<TText> files =
      Load(std::filesystem::path(__FILE__).parent_path().parent_path() / "tests/app/data/tracklib",
           "Nordmark Profilgleis H0.xtp");
  Convert(state, files);
}
BENCHMARK(BM_OwnTestLibrary)->Unit(benchmark::kMicrosecond);

}  // namespace
