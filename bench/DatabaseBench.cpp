// Asset database speed: opening a database of 100 packages that hold 50,000 catalogue entries
// together (goal: under 1 s including reading, checking and mounting every package), and
// FindAssetIDByPath over it (goal: under 1 µs per lookup, hits and misses alike).
//
// The packages are generated in a fresh temporary folder on first use and removed at exit.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/RRDatabase.h"
#include "app/entities/RREntityGroup.h"

using namespace rr;

namespace {

constexpr int kPackages = 100;
constexpr int kEntriesPerPackage = 500;

std::string EntryPath(int package, int entry) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "Hersteller %03d\\Serie %d\\Bauteil %05d", package, entry / 50, entry);
  return buf;
}

class TBenchDatabase {
 public:
  static TBenchDatabase& Get() {
    static TBenchDatabase instance;
    return instance;
  }
  gx::TGXFileSystem& FileSystem() { return *FFs; }

 private:
  TBenchDatabase() {
    std::string templ = (std::filesystem::temp_directory_path() / "velmora-dbbench-XXXXXX").string();
    FDir = mkdtemp(templ.data());
    std::filesystem::create_directories(FDir + "/Game");
    FFs = std::make_unique<gx::TGXFileSystem>();
    FFs->SetRoot("Game", FDir + "/Game");
    TRRDatabase db(*FFs, {});
    for (int p = 0; p < kPackages; ++p) {
      TRRAsset a(&db);
      a.Name().SetText(gx::GX_LANG_GERMAN, "Paket " + std::to_string(p));
      for (int f = 0; f < 10; ++f) {
        TRRAssetNode* folder = a.Root().AddChild();
        folder->Name().SetText(gx::GX_LANG_GERMAN, "Ordner " + std::to_string(f));
        for (int e = f * kEntriesPerPackage / 10; e < (f + 1) * kEntriesPerPackage / 10; ++e) {
          auto d = std::make_unique<TRREntityGroupDesc>();
          d->SetCataloguePath(EntryPath(p, e));
          d->Name().SetText(gx::GX_LANG_GERMAN, "Bauteil " + std::to_string(e));
          folder->AddDescription(std::move(d));
        }
      }
      char name[32];
      std::snprintf(name, sizeof name, "/Game/p%03d.vma", p);
      a.WritePackage(FDir + name, false);
    }
  }
  ~TBenchDatabase() {
    FFs.reset();
    std::error_code ec;
    std::filesystem::remove_all(FDir, ec);
  }

  std::string FDir;
  std::unique_ptr<gx::TGXFileSystem> FFs;
};

void BM_OpenDatabase(benchmark::State& state) {
  auto& bench = TBenchDatabase::Get();
  for (auto _ : state) {
    TRRDatabase db(bench.FileSystem(), {});
    if (db.Count() != kPackages) state.SkipWithError("packages missing");
    // The first lookup builds the path index; it belongs to opening.
    benchmark::DoNotOptimize(db.FindAssetIDByPath("x"));
  }
  state.counters["entries"] = kPackages * kEntriesPerPackage;
}
BENCHMARK(BM_OpenDatabase)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FindAssetIDByPath(benchmark::State& state) {
  auto& bench = TBenchDatabase::Get();
  TRRDatabase db(bench.FileSystem(), {});
  std::vector<std::string> paths;
  for (int i = 0; i < 1000; ++i) paths.push_back(i % 10 == 9 ? "Fehlt\\" + std::to_string(i) : EntryPath((i * 37) % kPackages, (i * 101) % kEntriesPerPackage));
  db.FindAssetIDByPath("x");
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(db.FindAssetIDByPath(paths[i]));
    if (++i == paths.size()) i = 0;
  }
}
BENCHMARK(BM_FindAssetIDByPath)->Unit(benchmark::kNanosecond);

}  // namespace
