// Layout files: writing and reading a generated layout of 10,000 pieces and 1,000 further
// objects, next to plain zlib on the same entity section (inflate, and deflate at level 9) in the
// same run. Goals: reading within twice the inflate time, writing within 1.3 times the deflate
// time, reading under half a second.
//
// The pieces are straight track pieces of a catalogue system, laid end to end in 100 rows; the
// further objects are groups with one member each.

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <memory>
#include <vector>

#include "app/RRBareProjectHost.h"
#include "app/RREntityIDProcessor.h"
#include "app/RREntityManager.h"
#include "app/RREntitySerializer.h"
#include "app/RRProject.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RREntityGroup.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackCatalogue.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXScene.h"

namespace {

using THost = rr::TRRBareProjectHost<rr::TRRScriptedUIService>;

struct TLayout {
  THost Host;
  std::unique_ptr<rr::TRREntityManager> Manager;
  std::unique_ptr<rr::IRRProjectEventSection> Events = rr::RRCreateEventSection();
  std::vector<uint8_t> File;
  std::vector<uint8_t> Section;     // the uncompressed content of the entity block
  std::vector<uint8_t> Compressed;  // the entity block as stored

  TLayout() {
    Manager = std::make_unique<rr::TRREntityManager>(Host, nullptr, &Host.Scene);
    rr::TRRTrackSystemDefinition system = rr::RRReadTrackSystem(
        "<Gleissystem hersteller=\"Brettmann\" system=\"Profilgleis\" spurweite=\"H0\" bettung=\"ja\">"
        "<Gerade name=\"G1\" laenge=\"188.3\"/></Gleissystem>",
        "bench");
    const rr::TRRTrackDesc& straight = *system.Pieces.at(0);
    for (int i = 0; i < 10000; ++i) {
      std::unique_ptr<rr::TRREntityDescription> d = straight.Clone();
      d->SetID(Manager->NextID());
      d->SetPosition({static_cast<float>(i / 100) * 30.0f, 0.0f, static_cast<float>(i % 100) * 18.83f});
      Manager->ReserveIDs(1);
      Manager->CreateEntity(nullptr, *d);
    }
    for (int i = 0; i < 1000; ++i) {
      rr::TRREntityGroupDesc d;
      d.SetID(Manager->NextID());
      d.Name().SetUserText("Gebäude " + std::to_string(i));
      d.SetPosition({static_cast<float>(i % 30) * 23.0f, 0.0f, -100.0f - static_cast<float>(i / 30) * 23.0f});
      d.SetRotation({0, 0.3826834f, 0, 0.9238795f});
      auto member = std::make_unique<rr::TRREntityGroupDesc>();
      member->SetID(d.ID() + 1);
      member->Name().SetUserText("Teil");
      member->SetLinkTarget(d.ID());
      d.AddChild(std::move(member));
      Manager->ReserveIDs(2);
      Manager->CreateEntity(nullptr, d);
    }
    Host.Scene.Root()->Update(false);
    gx::TGXMemoryStream s;
    rr::TRRProjectSerializer(s).WriteProject(*Host.Scene.Root(), "/tmp/bench/anlage.vmp", {}, *Events, nullptr);
    File = s.Data();
    // The entity block: behind the 22-byte header, flag, three counts and the section header.
    gx::TGXMemoryStream in(File);
    in.SetPosition(22 + 1 + 12 + 22);
    int64_t start = in.Position();
    Section = rr::RRInflateBlock(in, "bench");
    Compressed.assign(File.begin() + start, File.begin() + in.Position());
  }
  ~TLayout() { Host.Scene.Root()->DeleteChildren(); }
};

TLayout& Layout() {
  static TLayout layout;
  return layout;
}

void BM_ReadProject(benchmark::State& state) {
  TLayout& l = Layout();
  for (auto _ : state) {
    gx::TGXMemoryStream s(l.File);
    rr::TRRProjectSerializer ser(s);
    rr::TRREntityDescriptionList list(true);
    ser.ReadProject("/tmp/bench/anlage.vmp", nullptr, list);
    benchmark::DoNotOptimize(list.Count());
  }
  state.counters["bytes"] = static_cast<double>(l.File.size());
}

// Reading, renumbering and creating every entity under a fresh scene.
void BM_LoadProjectWithEntities(benchmark::State& state) {
  TLayout& l = Layout();
  for (auto _ : state) {
    THost host;
    {
      rr::TRREntityManager manager(host, nullptr, &host.Scene);
      gx::TGXMemoryStream s(l.File);
      rr::TRRProjectSerializer ser(s);
      rr::TRREntityDescriptionList list(true);
      ser.ReadProject("/tmp/bench/anlage.vmp", nullptr, list);
      auto events = rr::RRCreateEventSection();
      ser.ReadEvents(*events);
      manager.ReserveIDs(rr::TRREntityIDProcessor::RenumberList(list, manager.NextID(), events.get()));
      for (rr::TRREntityDescription* d : list) manager.CreateEntity(nullptr, *d);
      host.Scene.Root()->Update(false);
      host.Scene.Root()->DeleteChildren();
    }
  }
}

void BM_SaveProject(benchmark::State& state) {
  TLayout& l = Layout();
  for (auto _ : state) {
    gx::TGXMemoryStream s;
    rr::TRRProjectSerializer(s).WriteProject(*l.Host.Scene.Root(), "/tmp/bench/anlage.vmp", {}, *l.Events, nullptr);
    benchmark::DoNotOptimize(s.Data().size());
  }
}

void BM_RawInflate(benchmark::State& state) {
  TLayout& l = Layout();
  std::vector<uint8_t> out(l.Section.size());
  for (auto _ : state) {
    uLongf size = static_cast<uLongf>(out.size());
    uncompress(out.data(), &size, l.Compressed.data(), static_cast<uLong>(l.Compressed.size()));
    benchmark::DoNotOptimize(size);
  }
  state.counters["bytes"] = static_cast<double>(l.Section.size());
}

void BM_RawDeflate9(benchmark::State& state) {
  TLayout& l = Layout();
  std::vector<uint8_t> out(compressBound(static_cast<uLong>(l.Section.size())));
  for (auto _ : state) {
    uLongf size = static_cast<uLongf>(out.size());
    compress2(out.data(), &size, l.Section.data(), static_cast<uLong>(l.Section.size()), 9);
    benchmark::DoNotOptimize(size);
  }
  state.counters["bytes"] = static_cast<double>(l.Compressed.size());
}

}  // namespace

BENCHMARK(BM_ReadProject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawInflate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadProjectWithEntities)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveProject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawDeflate9)->Unit(benchmark::kMillisecond);
