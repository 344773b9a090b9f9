// Package reading speed. Extracting every entry of a package of about 200 MB (random, text-like
// and mesh-like data) is compared with plain zlib inflate of the same streams read from the same
// file in the same run: the reader should stay within 1.3x of it. Opening a package of 20,000
// entries (directory inflate, check and sort) should take well under 50 ms.
//
// The packages are generated in a fresh temporary folder on first use and removed at exit.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/core/GXPackage.h"

using namespace gx;

namespace {

class TBenchPackages {
 public:
  static TBenchPackages& Get() {
    static TBenchPackages instance;
    return instance;
  }

  std::string Large, Many;
  int64_t LargeBytes = 0, LargeUncompressed = 0;

 private:
  TBenchPackages() {
    std::string templ = (std::filesystem::temp_directory_path() / "velmora-bench-XXXXXX").string();
    FDir = mkdtemp(templ.data());
    Large = FDir + "/large.vma";
    Many = FDir + "/many.vma";
    MakeLarge();
    MakeMany();
    std::fprintf(stderr, "large package: %.1f MB (%.1f MB uncompressed), many: %d entries\n",
                 LargeBytes / 1e6, LargeUncompressed / 1e6, 20000);
  }
  ~TBenchPackages() { std::filesystem::remove_all(FDir); }

  void MakeLarge() {
    std::mt19937 rng(20130101);
    const char* words[] = {"Gleis", "Weiche", "Signal", "Bahnhof", "Brücke", "Tunnel", "Lokomotive", "Wagen"};
    TGXPackageWriter w(Large);
    const int kEntry = 1 << 20;
    for (int i = 0; i < 218; ++i) {
      std::vector<uint8_t> data(kEntry);
      switch (i % 8) {
        default:  // already compressed (textures, sounds)
          for (auto& b : data) b = static_cast<uint8_t>(rng());
          break;
        case 5: {  // text and XML
          std::string text;
          while (text.size() < data.size())
            text += std::string(words[rng() % 8]) + " " + std::to_string(rng() % 1000) + "\n";
          std::copy(text.begin(), text.begin() + kEntry, data.begin());
          break;
        }
        case 6:
        case 7: {  // mesh vertices: floats on a smooth surface
          float* f = reinterpret_cast<float*>(data.data());
          for (int k = 0; k < kEntry / 4; ++k)
            f[k] = std::sin(k * 0.01f) * 100.0f + static_cast<float>(k % 7);
          break;
        }
      }
      TGXMemoryStream s(std::move(data));
      w.AddFile(s, "Daten\\Eintrag" + std::to_string(i) + ".bin", 3);
      LargeUncompressed += kEntry;
    }
    w.Finish();
    LargeBytes = static_cast<int64_t>(std::filesystem::file_size(Large));
  }

  void MakeMany() {
    TGXPackageWriter w(Many);
    for (int i = 0; i < 20000; ++i) {
      std::string text = "Objekt " + std::to_string(i * 7919 % 20000);
      TGXMemoryStream s(std::vector<uint8_t>(text.begin(), text.end()));
      w.AddFile(
          s,
          "Katalog\\{" + std::to_string(i % 97) + "}\\Modell" + std::to_string(i * 7919 % 20000) + ".gxmesh",
          3);
    }
    w.Finish();
  }

  std::string FDir;
};

void BM_ReaderExtractAll(benchmark::State& state) {
  auto& p = TBenchPackages::Get();
  TGXPackageReader reader(p.Large);
  for (auto _ : state) {
    for (int i = 0; i < reader.FileCount(); ++i) benchmark::DoNotOptimize(reader.ExtractAt(i));
  }
  state.SetBytesProcessed(state.iterations() * p.LargeUncompressed);
}

// The same streams, read with pread from the same file and inflated into a reused buffer.
void BM_RawInflateAll(benchmark::State& state) {
  auto& p = TBenchPackages::Get();
  std::vector<TGXPackageFile> entries;
  {
    TGXPackageReader reader(p.Large);
    for (int i = 0; i < reader.FileCount(); ++i) entries.push_back(reader.File(i));
  }
  int fd = open(p.Large.c_str(), O_RDONLY);
  std::vector<uint8_t> in, out;
  for (auto _ : state) {
    for (const auto& e : entries) {
      in.resize(e.CompressedSize);
      out.resize(e.Size);
      if (pread(fd, in.data(), in.size(), e.Offset) != static_cast<ssize_t>(in.size()))
        state.SkipWithError("pread");
      uLongf len = out.size();
      if (uncompress(out.data(), &len, in.data(), in.size()) != Z_OK || len != out.size())
        state.SkipWithError("inflate");
      benchmark::DoNotOptimize(out.data());
    }
  }
  close(fd);
  state.SetBytesProcessed(state.iterations() * p.LargeUncompressed);
}

void BM_OpenPackage20000(benchmark::State& state) {
  auto& p = TBenchPackages::Get();
  for (auto _ : state) {
    TGXPackageReader reader(p.Many);
    benchmark::DoNotOptimize(reader.FileCount());
  }
}

void BM_LookupIn20000(benchmark::State& state) {
  auto& p = TBenchPackages::Get();
  TGXPackageReader reader(p.Many);
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        reader.IndexOf("katalog\\{" + std::to_string(i % 97) + "}\\MODELL" + std::to_string(i) + ".GXMESH"));
    i = (i + 1) % 20000;
  }
}

}  // namespace

BENCHMARK(BM_ReaderExtractAll)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawInflateAll)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OpenPackage20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LookupIn20000)->Unit(benchmark::kMicrosecond);
