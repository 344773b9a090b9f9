#include "app/entities/track/RRContactLine.h"

#include "app/RRMaterial.h"
#include "app/RRModelServices.h"
#include "app/entities/RREntity.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackGeometry.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXException.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXRenderQueue.h"

namespace rr {

TRRContactLineTemplate::TRRContactLineTemplate(gx::TGXRenderDevice& device,
                                               gx::TGXRef<gx::TGXDeviceVertexDeclaration> layout,
                                               TMaterialMaker maker)
    : FMaker(std::move(maker)) {
  const float vertices[6] = {-RRContactLineHalfWidth, RRContactLineHeight, 0,
                             RRContactLineHalfWidth,  RRContactLineHeight, 0};
  gx::TGXRef<gx::TGXDeviceVertexBuffer> vb = device.CreateVertexBuffer(sizeof vertices);
  if (!vb || !device.WriteVertexBuffer(vb.Get(), 0, vertices, sizeof vertices))
    throw gx::EDirect3D(
        {gx::TGXExceptionArg::Object("TRRContactLineTemplate"), "CreateVertices", "Lock failed"});
  FVertices.FirstVertex = 0;
  FVertices.VertexCount = 2;
  FVertices.Layout = std::move(layout);
  FVertices.Buffers = {vb};
  FVertices.Strides = {RRContactLineStride};
}

gx::IGXMaterial TRRContactLineTemplate::GeneratorMaterial(const gx::TGXVector3& colour) {
  TRRMaterialSubDesc sub;
  sub.Lit = false;
  sub.Diffuse = colour;
  gx::IGXMaterial shared = TRRMaterialGenerator::MakeMaterial(sub);
  const TRRModelServices* services = TRRModelServices::Get();
  if (!shared || !services || !services->Resources) return shared;
  // The shared material may dress model sub-meshes too: the marker draws with its own copy,
  // whose depth test is off.
  gx::IGXMaterial own = services->Resources->Get<gx::TGXMaterial>(RRContactLineMaterialName, true, true);
  try {
    own->SetEffect(shared->GetEffect());
    own->Load();
  } catch (...) {
    return shared;
  }
  if (!own->IsLoaded() || own->ParameterCount() != shared->ParameterCount()) return shared;
  for (int i = 0; i < own->ParameterCount(); ++i) own->Parameter(i)->CopyValue(*shared->Parameter(i));
  own->SetTechnique(shared->GetTechnique());
  if (gx::TGXEffectValueSource* z = own->FindValue("ZEnable")) {
    const std::vector<uint8_t> off(z->Data().size(), 0);
    z->SetRaw(off.data(), static_cast<uint32_t>(off.size()));
  }
  return own;
}

gx::IGXMaterial TRRContactLineTemplate::MakeMaterial(const gx::TGXVector3& colour) const {
  return FMaker ? FMaker(colour) : GeneratorMaterial(colour);
}

bool TRRContactLinePrimitive::Prepare(const TRRContactLineTemplate& line) {
  if (!FContact) return false;
  TRRTrackRoute* route = FContact->Route();
  VertexGeometry = line.Vertices();
  const float s = route->Scale();
  FWorld = gx::GXMatrixScaling(s, s, s) * FContact->GetFrame() * route->WorldMatrix();
  if (!FHasMaterial || FRevision != FContact->MarkerRevision()) {
    FRevision = FContact->MarkerRevision();
    FHasMaterial = true;
    Material = line.MakeMaterial(FContact->MarkerColour());
    ++FMade;
  }
  return Material.Get() != nullptr;
}

void TRRContactLine::AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) {
  if (!FContact || !queue || !FContact->MarkerVisible()) return;
  TRRTrack* track = FContact->Route()->Track();
  IRREntityManager* manager = track ? track->Manager() : nullptr;
  TRRTrackResources* resources = manager ? manager->TrackResources() : nullptr;
  TRRContactLineTemplate* line = resources ? resources->ContactLine() : nullptr;
  if (!line || !FPrimitive.Prepare(*line)) return;
  float distance = 0;
  if (camera && camera->Node())
    distance = gx::DistanceSquared(camera->Node()->WorldPosition(), FContact->GetWorldPosition());
  queue->Add(&FPrimitive, 0, distance);
}

}  // namespace rr
