#pragma once
// The contact markers: a short line across each track end that shows whether the contact is
// connected (green) or open (red). Every contact owns one TRRContactLine; the track attaches it,
// hidden, to its node, and the contact shows it while its marker is visible (on selection and in
// the technical view).
//
// All markers draw the one shared line of TRRContactLineTemplate: two position-only vertices
// (12 bytes each) from (-4.5, 0.23, 0) to (4.5, 0.23, 0), made once on the device. A marker's
// world matrix is scale(track-system scale) * contact frame (rows side, up, outward, the
// contact position) * the track's WorldMatrix, so the line lies 0.23 scales above the contact,
// 9 scales wide. Its material comes from the template's material maker and is made again only
// when the contact's marker revision changes. The default maker takes the material generator's
// unlit material with the marker colour as diffuse and gives the marker its own copy of it with
// the model effect's depth test ("ZEnable") off: the markers lie inside a bedded track and are
// drawn through it, as an overlay.

#include <cstdint>
#include <functional>

#include "engine/core/GXMath.h"
#include "engine/core/GXSceneNode.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderDevice.h"
#include "engine/render/GXRenderPrimitive.h"
#include "engine/render/GXVertexGeometry.h"

namespace rr {

class TRRTrackRouteContact;

inline constexpr float RRContactLineHalfWidth = 4.5f;
inline constexpr float RRContactLineHeight = 0.23f;
inline constexpr uint32_t RRContactLineStride = 12;
inline constexpr const char* RRContactLineMaterialName = "RRMaterial:Kontaktmarkierung";

// The shared line: one vertex buffer of two vertices, and the maker of marker materials.
class TRRContactLineTemplate {
 public:
  using TMaterialMaker = std::function<gx::IGXMaterial(const gx::TGXVector3& colour)>;
  // Makes and fills the buffer; EDirect3D ("TRRContactLineTemplate", "CreateVertices", "Lock
  // failed") when it cannot be written. Without a maker the material generator's is used.
  TRRContactLineTemplate(gx::TGXRenderDevice& device, gx::TGXRef<gx::TGXDeviceVertexDeclaration> layout,
                         TMaterialMaker maker);
  const gx::TGXVertexGeometry& Vertices() const { return FVertices; }
  // Null when no material can be had for the colour.
  gx::IGXMaterial MakeMaterial(const gx::TGXVector3& colour) const;
  // The generator's material for a colour (unlit, diffuse = colour, the rest default), as a
  // material of its own without depth test; the shared one when no copy can be made; null
  // without model services or effect.
  static gx::IGXMaterial GeneratorMaterial(const gx::TGXVector3& colour);

 private:
  gx::TGXVertexGeometry FVertices;
  TMaterialMaker FMaker;
};

class TRRContactLinePrimitive : public gx::TGXRenderPrimitive {
 public:
  explicit TRRContactLinePrimitive(TRRTrackRouteContact* contact) : FContact(contact) {
    PrimitiveType = gx::GXLineList;
  }
  // Takes the template's line, computes the world matrix and re-makes the material when the
  // contact's marker revision changed since the last one (or none was made yet). False when
  // nothing can be drawn.
  bool Prepare(const TRRContactLineTemplate& line);
  const gx::TGXMatrix* GetWorldMatrix() override { return &FWorld; }
  const gx::TGXMatrix& WorldMatrix() const { return FWorld; }
  // Materials made so far (one at the first draw, one per colour change after it).
  int MaterialsMade() const { return FMade; }

 private:
  TRRTrackRouteContact* FContact;
  gx::TGXMatrix FWorld;
  bool FHasMaterial = false;
  uint32_t FRevision = 0;
  int FMade = 0;
};

class TRRContactLine : public gx::TGXSceneObject {
 public:
  explicit TRRContactLine(TRRTrackRouteContact* contact) : FPrimitive(contact), FContact(contact) {
    SetVisible(false);
  }
  // While the contact's marker is visible and the entity manager has the shared line: queued
  // with its squared distance from the camera.
  void AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) override;
  TRRContactLinePrimitive& Primitive() { return FPrimitive; }
  // The contact is going away: the marker draws nothing from now on.
  void Orphan() { FContact = nullptr; }

 private:
  TRRContactLinePrimitive FPrimitive;
  TRRTrackRouteContact* FContact;
};

}  // namespace rr
