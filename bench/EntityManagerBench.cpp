// Entity manager lookups and ID renumbering at layout scale: a manager holding 100,000 entities
// answers FindByID (a table index, independent of the number of entities) and FindByName (a
// scan in ID order, the worst case being a name that is not there); renumbering 100,000
// descriptions with 400,000 entity references - four per description, all inside the set so that
// every pass rewrites all of them - should take well under 100 ms.

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "app/RREntityIDProcessor.h"
#include "app/RREntityManager.h"
#include "app/RRProjectHost.h"
#include "app/RRUIService.h"
#include "app/entities/RREntityGroup.h"
#include "engine/core/GXSceneNode.h"

using namespace rr;

namespace {

constexpr int kEntities = 100000;

struct TBenchProject : IRRProjectHost {
  gx::TGXSceneNode Root{"Root"};
  TRRScriptedUIService Ui;
  gx::TGXNode* ProjectNode() override { return &Root; }
  IRRUIService& UI() override { return Ui; }
  TRRHistory* History() override { return nullptr; }
  TRRClipboard* Clipboard() override { return nullptr; }
  void SetModified() override {}
};

struct TBenchManager {
  TBenchProject Project;
  std::unique_ptr<TRREntityManager> Manager = std::make_unique<TRREntityManager>(Project);
  TBenchManager() {
    for (int i = 0; i < kEntities; ++i) {
      TRREntityGroupDesc d;
      d.SetID(Manager->NextID());
      d.Name().SetUserText("Objekt Nr. " + std::to_string(i + 1) + " Gebäude");
      Manager->ReserveIDs(1);
      Manager->CreateEntity(nullptr, d);
    }
  }
  ~TBenchManager() {
    Project.Root.DeleteChildren();
    Manager.reset();
  }
};

TBenchManager& Shared() {
  static TBenchManager m;
  return m;
}

void BM_FindByID(benchmark::State& state) {
  TRREntityManager& m = *Shared().Manager;
  std::mt19937 rng(1);
  std::uniform_int_distribution<int32_t> id(1, kEntities);
  for (auto _ : state) benchmark::DoNotOptimize(m.FindByID(id(rng)));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindByID);

void BM_FindByName_Last(benchmark::State& state) {
  TRREntityManager& m = *Shared().Manager;
  const std::string name = "OBJEKT NR. " + std::to_string(kEntities) + " GEBÄUDE";
  for (auto _ : state) benchmark::DoNotOptimize(m.FindByName(nullptr, name));
  state.SetItemsProcessed(state.iterations() * kEntities);
}
BENCHMARK(BM_FindByName_Last)->Unit(benchmark::kMillisecond);

class TRefDesc : public TRREntityDescription {
 public:
  int32_t Refs[3] = {0, 0, 0};
  void GetPropertyAccess(TRRPropertyAccessList& list) override {
    TRREntityDescription::GetPropertyAccess(list);
    for (int32_t& r : Refs) list.Add<TRREntityIDRefAccess>(r);
  }
};

void BM_RenumberList(benchmark::State& state) {
  TRREntityDescriptionList list(true);
  std::mt19937 rng(2013);
  std::uniform_int_distribution<int32_t> inside(1, kEntities);
  for (int i = 0; i < kEntities; ++i) {
    auto d = std::make_unique<TRefDesc>();
    d->SetID(i + 1);
    d->SetLinkTarget(inside(rng));
    d->Refs[0] = inside(rng);
    d->Refs[1] = inside(rng);
    d->Refs[2] = inside(rng);
    list.Add(std::move(d));
  }
  int32_t next = 1;
  for (auto _ : state) {
    int32_t used = TRREntityIDProcessor::RenumberList(list, next);
    next = next == 1 ? kEntities + 1 : 1;
    benchmark::DoNotOptimize(used);
  }
  state.counters["descriptions"] = kEntities;
  state.counters["references"] = kEntities * 4;
}
BENCHMARK(BM_RenumberList)->Unit(benchmark::kMillisecond);

}  // namespace
