// Description record speed: writing and reading 100,000 descriptions (20,000 groups with four
// children each, names, catalogue paths and placements as a layout has them) through a memory
// stream. Reading should reach at least 50 MB/s of record data. The figures are bytes and
// descriptions per second.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntityGroup.h"
#include "engine/core/GXStream.h"

using namespace rr;

namespace {

constexpr int kGroups = 20000;
constexpr int kChildren = 4;
constexpr int kDescriptions = kGroups * (1 + kChildren);

void Fill(TRREntityDescription& d, std::mt19937& rng, int id) {
  static const char* names[] = {"Gleis G1", "Weiche links", "Bahnhof Kleinstadt", "Signal Hp1", "Baum", "Gruppe"};
  std::uniform_real_distribution<float> pos(-500, 500);
  d.SetAssetID(gx::TGXGuid::NewGuid());
  d.SetCataloguePath("Gleise\\H0\\Hersteller " + std::to_string(id % 7));
  d.SetID(id);
  d.Name().SetText(gx::GX_LANG_GERMAN, names[id % 6] + std::string(" ") + std::to_string(id));
  if (id % 3 == 0) d.Description().SetText(gx::GX_LANG_GERMAN, "Beschreibung für Objekt " + std::to_string(id));
  d.SetPosition({pos(rng), pos(rng) * 0.1f, pos(rng)});
  d.SetRotation(gx::GXQuaternionRotationAxis({0, 1, 0}, pos(rng) * 0.01f));
  d.SetLinkTarget(id % 5 == 0 ? id - 1 : 0);
}

std::vector<std::unique_ptr<TRREntityDescription>> MakeLayout() {
  std::mt19937 rng(2013);
  std::vector<std::unique_ptr<TRREntityDescription>> layout;
  int id = 1;
  for (int g = 0; g < kGroups; ++g) {
    auto group = TRREntityGroupDesc::StaticClass().Create();
    Fill(*group, rng, id++);
    for (int c = 0; c < kChildren; ++c) Fill(*TRREntityGroupDesc::StaticClass().Create(group.get()), rng, id++);
    layout.push_back(std::move(group));
  }
  return layout;
}

const std::vector<std::unique_ptr<TRREntityDescription>>& Layout() {
  static const auto layout = MakeLayout();
  return layout;
}

void WriteAll(gx::TGXMemoryStream& s) {
  for (const auto& d : Layout()) TRREntityDescription::WriteRecord(*d, s);
}

void BM_WriteDescriptions(benchmark::State& state) {
  Layout();  // built outside the timing (fresh GUIDs are slow to make)
  int64_t bytes = 0;
  for (auto _ : state) {
    gx::TGXMemoryStream s;
    WriteAll(s);
    bytes = s.Size();
    benchmark::DoNotOptimize(s.Memory());
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.SetItemsProcessed(state.iterations() * kDescriptions);
  state.counters["record_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_WriteDescriptions)->Unit(benchmark::kMillisecond);

void BM_ReadDescriptions(benchmark::State& state) {
  gx::TGXMemoryStream s;
  WriteAll(s);
  int64_t read = 0;
  for (auto _ : state) {
    s.SetPosition(0);
    read = 0;
    while (s.Remaining() > 0) {
      auto d = TRREntityDescription::ReadRecord(s);
      read += 1 + d->ChildCount();
      benchmark::DoNotOptimize(d.get());
    }
  }
  if (read != kDescriptions) state.SkipWithError("wrong number of descriptions read");
  state.SetBytesProcessed(state.iterations() * s.Size());
  state.SetItemsProcessed(state.iterations() * kDescriptions);
}
BENCHMARK(BM_ReadDescriptions)->Unit(benchmark::kMillisecond);

}  // namespace
