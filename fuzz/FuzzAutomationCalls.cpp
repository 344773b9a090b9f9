// The automation object's operations with arbitrary names, codes and numbers, as a client on the
// bus could send them, on a small layout (a track, a switch, a locomotive, a signal, a
// controller, the new project's light and cameras). Each input is a sequence of calls: one byte
// picks the operation, then a name (one of the layout's, its upper-case form or random bytes),
// integers and floats from the next bytes (NaN, infinities, huge values and 0 included). After
// the calls every entity's world matrix and every vehicle's speed must be finite, and the layout
// must write.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRController.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackRoute.h"
#include "automation/VMPControl.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXScene.h"

using namespace rr;

namespace {

struct TReader {
  const uint8_t* P;
  size_t N;
  uint8_t Byte() { return N ? (--N, *P++) : 0; }
  int32_t Int() {
    int32_t v = 0;
    for (int i = 0; i < 4; ++i) v = int32_t(uint32_t(v) << 8 | Byte());
    return v;
  }
  float Float() {
    switch (Byte() & 7) {
      case 0:
        return NAN;
      case 1:
        return INFINITY;
      case 2:
        return -INFINITY;
      case 3:
        return 0;
      case 4:
        return 3e38f;
      default: {
        const int32_t bits = Int();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
      }
    }
  }
};

const char* const kNames[] = {"Gerade", "WEICHE", "Lok", "Signal", "Regler", "Tag", "", "Unbekannt"};

std::string Name(TReader& r) {
  const uint8_t pick = r.Byte();
  if (pick < 200) return kNames[pick % 8];
  std::string s(r.Byte() % 16, '\0');
  for (char& c : s) c = char(r.Byte());
  return s;
}

template <class D>
TRREntity* Add(TRREntityManager& m, D& d, const char* name) {
  d.Name().SetUserText(name);
  d.SetID(m.NextID());
  m.ReserveIDs(1);
  return m.CreateEntity(nullptr, d);
}

bool Finite(const gx::TGXMatrix& m) {
  for (int i = 0; i < 16; ++i)
    if (!std::isfinite(m.m[i / 4][i % 4])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TRRScriptedUIService ui;
  gx::TGXFileSystem fs;
  TRRProjectServices services;
  services.UI = &ui;
  services.FileSystem = &fs;
  TRRProject project(std::move(services));
  if (!project.NewProject({})) return 0;
  TRREntityManager& m = *project.Manager();
  TRRTrackDesc straight(TRRTrackType::Straight), turnout(TRRTrackType::Switch);
  for (TRRTrackDesc* d : {&straight, &turnout})
    for (int i = 0; i < (d == &turnout ? 2 : 1); ++i) {
      auto route = std::make_unique<TRRTrackRouteDesc>();
      route->L1 = 100;
      d->AddRoute(std::move(route));
    }
  TRREntity* track = Add(m, straight, "Gerade");
  Add(m, turnout, "Weiche");
  TRRTrackVehicleDesc loco;
  loco.TrackID = track->ID();
  loco.HasEngine = true;
  Add(m, loco, "Lok");
  TRRSignalDesc signal;
  Add(m, signal, "Signal");
  TRRControllerDesc regulator;
  Add(m, regulator, "Regler");

  TRRPlainAutomationHost host(&project);
  TVMPControl c(host);
  TReader r{data, size};
  for (int calls = 0; r.N && calls < 64; ++calls) {
    const std::string n = Name(r);
    try {
      switch (r.Byte() % 40) {
        case 0:
          c.GetCameras(r.Int());
          break;
        case 1:
          c.SetActiveCamera(n);
          break;
        case 2:
          c.GetTrackVehicles(r.Int());
          break;
        case 3:
          c.SetTrackVehicleSpeed(n, r.Float());
          break;
        case 4:
          c.StartAnimation(n, r.Int(), r.Byte() & 1);
          break;
        case 5:
          c.ResetAnimation(n, r.Byte() & 1);
          break;
        case 6:
          c.SetSignalState(n, r.Int());
          break;
        case 7:
          c.GetTracks(r.Int());
          break;
        case 8:
          c.SetActiveTrackRoute(n, r.Int());
          break;
        case 9:
          c.GetControllers(r.Int());
          break;
        case 10:
          c.SetControllerValue(n, r.Float());
          break;
        case 11:
          c.SetPosition(n, r.Float(), r.Float(), r.Float());
          break;
        case 12:
          c.SetRotation(n, r.Float(), r.Float(), r.Float());
          break;
        case 13:
          c.SetScaling(n, r.Float());
          break;
        case 14:
          c.GetEntities(r.Int());
          break;
        case 15:
          c.LinkEntities(n, Name(r));
          break;
        case 16:
          c.UnlinkEntity(n);
          break;
        case 17:
          c.SetSimulationMode(r.Int());
          break;
        case 18:
          c.SetLengthUnit(r.Int());
          break;
        case 19:
          c.SetAngularUnit(r.Int());
          break;
        case 20:
          c.GetTrackRouteLength(n, r.Int());
          break;
        case 21:
          c.SelectEntity(n, r.Byte() & 1);
          break;
        case 22:
          c.SetLight(r.Int(), r.Int(), r.Int(), r.Byte() & 1);
          break;
        case 23:
          c.GetEntityWidth(n);
          break;
        case 24:
          c.GetRotation(n);
          break;
        case 25:
          c.GetPosition(n);
          break;
        case 26:
          c.GetScaling(n);
          break;
        case 27:
          c.GetTrackVehicleSpeed(n);
          break;
        case 28:
          c.GetControllerValue(n);
          break;
        case 29:
          c.StopAnimation(n);
          break;
        case 30:
          c.EnableAnimations(r.Byte() & 1);
          break;
        case 31:
          project.Tick();
          break;
        default:
          c.GetEntityType(n);
          break;
      }
    } catch (const EAutomationError&) {
    }
  }
  project.Scene()->Root()->Update(false);
  for (int i = 0; i < m.EntitySlotCount(); ++i) {
    TRREntity* e = m.EntitySlot(i);
    if (!e) continue;
    if (!Finite(e->WorldMatrix())) __builtin_trap();
    if (auto* v = dynamic_cast<TRRTrackVehicle*>(e); v && !std::isfinite(v->TargetSpeed())) __builtin_trap();
  }
  gx::TGXMemoryStream out;
  if (project.Events() && project.ProjectNode())
    TRRProjectSerializer(out).WriteProject(*project.ProjectNode(), "/tmp/fuzz/anlage.vmp", {},
                                           *project.Events(), nullptr);
  return 0;
}
