// Description records and old property-bag nodes read from arbitrary bytes. The first byte
// chooses the reader. A record that reads must write back to a form that reads again and then
// writes the same bytes (the record form is stable after one round). A model description that
// reads also becomes a model entity (as a command that does not draw makes it) whose description
// writes the same model payload again; a light description becomes a light that keeps its
// presets and an index within them; a camera description becomes a camera of a known type with a
// finite placement that is not active by itself; a vehicle description becomes a vehicle with
// bounded speeds; the scenery kinds become entities with a finite size, a bay count within its
// limits and a known primitive type; a mast keeps its connection unless it names itself.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "app/entities/RREntityDescription.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/RRController.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "app/entities/track/RRCatenary.h"
#include "engine/core/GXStream.h"
#include "engine/render/GXCamera.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  gx::TGXMemoryStreamAdapter stream(const_cast<uint8_t*>(data + 1), static_cast<int64_t>(size - 1));
  try {
    if (data[0] & 1) {
      auto bag = rr::TRREntityDescription_10::ReadFromStream(stream);
      if (const rr::TRRDescriptionClass* cls = bag->DescriptionClass()) {
        auto d = cls->Create();
        std::string model;
        d->LoadFromPropertyBag(*bag, model);
      }
      return 0;
    }
    auto d = rr::TRREntityDescription::ReadRecord(stream);
    gx::TGXMemoryStream once;
    rr::TRREntityDescription::WriteRecord(*d, once);
    once.SetPosition(0);
    auto again = rr::TRREntityDescription::ReadRecord(once);
    if (once.Position() != once.Size()) __builtin_trap();
    gx::TGXMemoryStream twice;
    rr::TRREntityDescription::WriteRecord(*again, twice);
    if (twice.Data() != once.Data()) __builtin_trap();
    auto clone = again->Clone();
    (void)clone;
    if (auto* light = dynamic_cast<rr::TRRLightDesc*>(again.get())) {
      // A light keeps its presets (finite, as read) and clamps its index into them.
      gx::TGXSceneNode root;
      auto* entity = static_cast<rr::TRRLight*>(rr::TRRLight::StaticClass().Create(&root, nullptr, *light));
      std::unique_ptr<rr::TRREntityDescription> back = entity->CreateDescription();
      auto* l = dynamic_cast<rr::TRRLightDesc*>(back.get());
      if (!l || !(l->Presets() == light->Presets()) || l->ActiveIndex() < 0 ||
          (!l->Presets().empty() && l->ActiveIndex() >= int32_t(l->Presets().size())))
        __builtin_trap();
      for (const rr::TRRLightParameter& p : l->Presets())
        for (float v : {p.Ambient.x, p.Ambient.y, p.Ambient.z, p.Diffuse.x, p.Diffuse.y, p.Diffuse.z})
          if (!std::isfinite(v)) __builtin_trap();
    } else if (auto* camera = dynamic_cast<rr::TRRCameraDesc*>(again.get())) {
      // A camera of a known type with a finite orientation, never active by itself, and a frame
      // (link, look-at target, far plane) that keeps its placement finite.
      gx::TGXSceneNode root;
      const rr::TRREntityClass& cls = dynamic_cast<rr::TRRCockpitDesc*>(camera) ? rr::TRRCockpit::StaticClass()
                                                                                : rr::TRRCamera::StaticClass();
      auto* entity = static_cast<rr::TRRCamera*>(cls.Create(&root, nullptr, *camera));
      root.Update(false);
      entity->Animate(true, 0.04f);
      entity->FrameEntities({entity});
      root.Update(false);
      std::unique_ptr<rr::TRREntityDescription> back = entity->CreateDescription();
      auto* c = dynamic_cast<rr::TRRCameraDesc*>(back.get());
      if (!c || c->Type() >= rr::RRCameraTypeCount || c->Type() != camera->Type() || c->Active() ||
          !gx::GXIsFinite(entity->WorldRotation()) || !std::isfinite(entity->WorldPosition().x) ||
          !std::isfinite(entity->EngineCamera()->FarPlane()))
        __builtin_trap();
    } else if (auto* panel = dynamic_cast<rr::TRRPanelDesc*>(again.get())) {
      // A panel is built whole or refused; one that builds writes its record and textures back.
      if (rr::RRPanelMinGridDataSize(panel->Params()) <= 8 * 65536) {
        try {
          gx::TGXSceneNode root;
          rr::TRREntity* entity = rr::TRRPanel::StaticClass().Create(&root, nullptr, *panel);
          std::unique_ptr<rr::TRREntityDescription> back = entity->CreateDescription();
          auto* p = dynamic_cast<rr::TRRPanelDesc*>(back.get());
          if (!p || !(p->Params() == panel->Params())) __builtin_trap();
        } catch (const std::runtime_error&) {
        }
      }
    } else if (auto* vehicle = dynamic_cast<rr::TRRTrackVehicleDesc*>(again.get())) {
      // A vehicle without tracks stands where it is, with bounded, finite speeds it keeps.
      gx::TGXSceneNode root;
      rr::TRREntity* entity = rr::TRRTrackVehicle::StaticClass().Create(&root, nullptr, *vehicle);
      std::unique_ptr<rr::TRREntityDescription> back = entity->CreateDescription();
      auto* v = dynamic_cast<rr::TRRTrackVehicleDesc*>(back.get());
      if (!v || v->ForwardAxis >= rr::RRForwardAxisCount || !(std::fabs(v->TargetSpeed) <= rr::RRMaxTargetSpeed) ||
          !(std::fabs(v->CurrentSpeed) <= rr::RRMaxCurrentSpeed) || v->TargetSpeed != vehicle->TargetSpeed ||
          v->TrackID != vehicle->TrackID || !std::isfinite(v->RoutePosition))
        __builtin_trap();
    } else if (auto* plant = dynamic_cast<rr::TRRVegetationDesc*>(again.get())) {
      // A plant has a finite, positive size that its description keeps.
      gx::TGXSceneNode root;
      auto* entity = static_cast<rr::TRRVegetation*>(rr::TRRVegetation::StaticClass().Create(&root, nullptr, *plant));
      auto back = entity->CreateDescription();
      const float size = entity->Scale();
      if (!(size > 0) || !std::isfinite(size) || static_cast<rr::TRRVegetationDesc&>(*back).ScaleSeed != size)
        __builtin_trap();
    } else if (auto* street = dynamic_cast<rr::TRRStreetDesc*>(again.get())) {
      // A street keeps its contacts, each finite, and snaps without a manager to nothing.
      gx::TGXSceneNode root;
      auto* entity = static_cast<rr::TRRStreet*>(rr::TRRStreet::StaticClass().Create(&root, nullptr, *street));
      bool snapped = true;
      gx::TGXVector3 p;
      gx::TGXQuaternion q;
      if (entity->Contacts().size() != street->Contacts.size() || !entity->Snap(snapped, p, q) || snapped)
        __builtin_trap();
      for (const rr::TRRStreetContact& c : entity->Contacts())
        if (!gx::GXIsFinite(c.Position) || !gx::GXIsFinite(c.Forward)) __builtin_trap();
    } else if (auto* barrier = dynamic_cast<rr::TRRBarrierDesc*>(again.get())) {
      // A barrier without vehicles stays open.
      gx::TGXSceneNode root;
      auto* entity = static_cast<rr::TRRBarrier*>(rr::TRRBarrier::StaticClass().Create(&root, nullptr, *barrier));
      entity->Animate(true, 0.04f);
      if (entity->Closed()) __builtin_trap();
    } else if (auto* shed = dynamic_cast<rr::TRRVehicleBuildingDesc*>(again.get())) {
      // A shed has 1..64 bays, one connector fewer, and a finite angle.
      gx::TGXSceneNode root;
      auto* entity =
          static_cast<rr::TRRVehicleBuilding*>(rr::TRRVehicleBuilding::StaticClass().Create(&root, nullptr, *shed));
      if (entity->BayCount() < 1 || entity->BayCount() > rr::RRMaxBayCount ||
          entity->ConnectorCount() != entity->BayCount() - 1 || !std::isfinite(entity->BendAngle()))
        __builtin_trap();
    } else if (auto* shape = dynamic_cast<rr::TRRPrimitiveDesc*>(again.get())) {
      // A shape of a known type with a finite scale.
      gx::TGXSceneNode root;
      auto* entity = static_cast<rr::TRRPrimitive*>(rr::TRRPrimitive::StaticClass().Create(&root, nullptr, *shape));
      if (entity->PrimitiveType() >= rr::RRPrimitiveTypeCount || !gx::GXIsFinite(entity->PrimitiveScale()))
        __builtin_trap();
    } else if (auto* mast = dynamic_cast<rr::TRRCatenaryDesc*>(again.get())) {
      // A mast never links to itself; without a model it has no wire to show.
      gx::TGXSceneNode root;
      auto* entity = static_cast<rr::TRRCatenary*>(rr::TRRCatenary::StaticClass().Create(&root, nullptr, *mast));
      root.Update(false);
      entity->Animate(true, 0.04f);
      auto back = entity->CreateDescription();
      const int32_t want = mast->ConnectionID > 0 && mast->ConnectionID != mast->ID() ? mast->ConnectionID : 0;
      if (static_cast<rr::TRRCatenaryDesc&>(*back).ConnectionID != want || entity->WireVisible() ||
          entity->CADType() != mast->CADType())
        __builtin_trap();
    } else if (auto* signal = dynamic_cast<rr::TRRSignalDesc*>(again.get())) {
      // A signal is open or closed as read and animates without a model.
      gx::TGXSceneNode root;
      auto* entity = static_cast<rr::TRRSignal*>(rr::TRRSignal::StaticClass().Create(&root, nullptr, *signal));
      entity->Animate(true, 0.04f);
      entity->SetSignalState(signal->SignalState + 1);
      if (entity->SignalState() > 1 || signal->SignalState > 1) __builtin_trap();
    } else if (auto* controller = dynamic_cast<rr::TRRControllerDesc*>(again.get())) {
      // A controller shows a value within 0..1 with finite speeds, also after junk is set.
      gx::TGXSceneNode root;
      auto* entity =
          static_cast<rr::TRRController*>(rr::TRRController::StaticClass().Create(&root, nullptr, *controller));
      for (float x : {controller->OnSpeed, controller->OffSpeed, controller->Value}) {
        entity->SetValue(x);
        const float v = entity->Value();
        if (!(v >= 0 && v <= 1)) __builtin_trap();
      }
      if (!std::isfinite(entity->OnSpeed()) || !std::isfinite(entity->OffSpeed()) || entity->Kind() > 1)
        __builtin_trap();
    } else if (auto* model = dynamic_cast<rr::TRRModelDesc*>(again.get())) {
      gx::TGXSceneNode root;
      rr::TRREntity* entity = rr::TRRModel::StaticClass().Create(&root, nullptr, *model);
      auto* back = dynamic_cast<rr::TRRModelDesc*>(entity->CreateDescription().release());
      if (!back || !back->ModelFile().SameFile(model->ModelFile()) || back->Speed() != model->Speed() ||
          back->CADType() != model->CADType())
        __builtin_trap();
      delete back;
    }
  } catch (const std::runtime_error&) {
    // stream read errors, EGXException, unknown kinds and versions
  }
  return 0;
}
