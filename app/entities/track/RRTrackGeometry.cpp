#include "app/entities/track/RRTrackGeometry.h"

#include <algorithm>
#include <cstring>

#include "app/entities/track/RRContactLine.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackPrimitives.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXException.h"
#include "engine/render/GXImageReader.h"
#include "engine/render/GXMesh.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXTexture.h"
#include "engine/render/GXVertexLayout.h"

namespace rr {

namespace {

constexpr const char* kEffectFiles[RRTrackEffectKinds] = {
    "Linear\\Linear.fx",      "Linear\\TwistedLinear.fx", "Linear\\LinearLow.fx",         "Curve\\Curve.fx",
    "Curve\\TwistedCurve.fx", "Flexible\\Flexible.fx",    "Flexible\\TwistedFlexible.fx",
};
constexpr const char* kEffectClasses[RRTrackEffectKinds] = {
    "TRRLinearEffect",       "TRRTwistedLinearEffect", "TRRLinearLowEffect",       "TRRCurveEffect",
    "TRRTwistedCurveEffect", "TRRFlexibleEffect",      "TRRTwistedFlexibleEffect",
};

[[noreturn]] void SegmentAssertion(int line) { gx::GXAssertionFailed(RRTrackGeometrySource, line); }

// The drawn indices of the first sub-mesh (relative to the mesh's first vertex).
std::span<const uint16_t> SegmentIndices(const gx::TGXMeshData& data) {
  const gx::TGXSubMeshData& sub = data.SubMeshes.front();
  return std::span<const uint16_t>(sub.Indices).subspan(sub.FirstIndex, sub.IndexCount);
}

}  // namespace

const char* RRTrackEffectFile(int kind) {
  return kind >= 0 && kind < RRTrackEffectKinds ? kEffectFiles[kind] : nullptr;
}

const char* RRTrackGeometryFile(int kind) {
  switch (kind) {
    case RRGeometryNoBed:
      return RRTrackMeshNoBed;
    case RRGeometryBed:
    case RRGeometryBedLow:
      return RRTrackMeshBed;
  }
  return nullptr;
}

void RRCheckSegmentMesh(const gx::TGXMeshData& data) {
  if (data.Streams.size() != 1 || data.Streams[0].Stride != RRTrackVertexStride) SegmentAssertion(__LINE__);
  const gx::TGXVertexElement* position = data.PositionElement();
  if (!position || position->Stream != 0 || position->Offset != 0) SegmentAssertion(__LINE__);
  if (data.VertexCount == 0 || data.VertexCount > RRTrackMaxSegmentVertices) SegmentAssertion(__LINE__);
  if (uint64_t(data.FirstVertex + uint64_t(data.VertexCount)) * RRTrackVertexStride >
      data.Streams[0].Data.size())
    SegmentAssertion(__LINE__);
  if (data.SubMeshes.empty()) SegmentAssertion(__LINE__);
  const gx::TGXSubMeshData& sub = data.SubMeshes.front();
  if (sub.IndexCount < 3 || uint64_t(sub.FirstIndex) + sub.IndexCount > sub.Indices.size())
    SegmentAssertion(__LINE__);
  for (uint16_t i : SegmentIndices(data))
    if (i >= data.VertexCount) SegmentAssertion(__LINE__);
}

void RRSegmentBounds(const gx::TGXMeshData& data, gx::TGXVector3& min, gx::TGXVector3& max) {
  min = max = gx::TGXVector3(0, 0, 0);
  for (size_t i = 0; i < data.SubMeshes.size(); ++i) {
    const gx::TGXSubMeshData& s = data.SubMeshes[i];
    min = i ? gx::GXVec3Minimize(min, s.BoundsMin) : s.BoundsMin;
    max = i ? gx::GXVec3Maximize(max, s.BoundsMax) : s.BoundsMax;
  }
}

// ---- geometries ----

TRRTrackGeometry::TRRTrackGeometry(const TRRSegmentMesh& mesh) {
  RRCheckSegmentMesh(mesh.Data);
  RRSegmentBounds(mesh.Data, FMin, FMax);
}

TRRSingleSegmentGeometry::TRRSingleSegmentGeometry(const TRRSegmentMesh& mesh) : TRRTrackGeometry(mesh) {
  if (mesh.Vertices.Buffers.empty() || !mesh.Indices.Buffer) SegmentAssertion(__LINE__);
  FVertices = mesh.Vertices;
  FIndices = mesh.Indices;
  FSegmentIndexCount = mesh.Indices.IndexCount;
}

TRRMultipleSegmentsGeometry::TRRMultipleSegmentsGeometry(gx::TGXRenderDevice& device,
                                                         const TRRSegmentMesh& mesh)
    : TRRTrackGeometry(mesh) {
  const gx::TGXMeshData& data = mesh.Data;
  const uint32_t vertexCount = data.VertexCount;
  const std::span<const uint16_t> indices = SegmentIndices(data);
  const uint32_t indexCount = static_cast<uint32_t>(indices.size());

  // Vertices: the segment unchanged, then copy i with i added to every Z.
  const uint32_t segmentBytes = vertexCount * RRTrackVertexStride;
  std::vector<uint8_t> vertices(size_t(segmentBytes) * RRTrackSegmentCopies);
  const uint8_t* source = data.Streams[0].Data.data() + size_t(data.FirstVertex) * RRTrackVertexStride;
  for (int copy = 0; copy < RRTrackSegmentCopies; ++copy) {
    uint8_t* target = vertices.data() + size_t(copy) * segmentBytes;
    std::memcpy(target, source, segmentBytes);
    if (copy == 0) continue;
    for (uint32_t v = 0; v < vertexCount; ++v) {
      float z;
      std::memcpy(&z, target + size_t(v) * RRTrackVertexStride + 8, 4);
      z += static_cast<float>(copy);
      std::memcpy(target + size_t(v) * RRTrackVertexStride + 8, &z, 4);
    }
  }
  // Indices: the segment's, then copy i with i x vertex count added (below 65536 by the limit).
  std::vector<uint16_t> allIndices(size_t(indexCount) * RRTrackSegmentCopies);
  for (int copy = 0; copy < RRTrackSegmentCopies; ++copy)
    for (uint32_t i = 0; i < indexCount; ++i)
      allIndices[size_t(copy) * indexCount + i] = static_cast<uint16_t>(indices[i] + copy * vertexCount);

  const uint32_t vertexBytes = static_cast<uint32_t>(vertices.size());
  gx::TGXRef<gx::TGXDeviceVertexBuffer> vb = device.CreateVertexBuffer(vertexBytes);
  if (!vb || !device.WriteVertexBuffer(vb.Get(), 0, vertices.data(), vertexBytes))
    throw gx::EDirect3D(
        {gx::TGXExceptionArg::Object("TRRMultipleSegmentsGeometry"), "CreateVertices", "Lock failed"});
  const uint32_t indexBytes = static_cast<uint32_t>(allIndices.size() * 2);
  gx::TGXRef<gx::TGXDeviceIndexBuffer> ib = device.CreateIndexBuffer(indexBytes, gx::GXFormatIndex16);
  if (!ib || !device.WriteIndexBuffer(ib.Get(), 0, allIndices.data(), indexBytes))
    throw gx::EDirect3D(
        {gx::TGXExceptionArg::Object("TRRMultipleSegmentsGeometry"), "CreateIndices", "Lock failed"});

  FVertices.FirstVertex = 0;
  FVertices.VertexCount = vertexCount * RRTrackSegmentCopies;
  FVertices.Layout = mesh.Layout;
  FVertices.Buffers = {vb};
  FVertices.Strides = {RRTrackVertexStride};
  FIndices.FirstIndex = 0;
  FIndices.IndexCount = indexCount * RRTrackSegmentCopies;
  FIndices.Buffer = ib;
  FSegmentIndexCount = indexCount;
}

std::unique_ptr<TRRTrackGeometry> RRCreateTrackGeometry(int kind, gx::TGXRenderDevice& device,
                                                        const TRRSegmentMesh& mesh) {
  switch (kind) {
    case RRGeometryNoBed:
      return std::make_unique<TRRTrackNoBedGeometry>(device, mesh);
    case RRGeometryBed:
      return std::make_unique<TRRTrackBedGeometry>(device, mesh);
    case RRGeometryBedLow:
      return std::make_unique<TRRTrackBedLowGeometry>(mesh);
  }
  throw gx::EInvalidParameter({gx::TGXExceptionArg::Object("TRRTrackGeometry"), "Create", "Unknown kind"});
}

// ---- effects ----

TRRTrackEffect::TRRTrackEffect(int kind, gx::IGXEffect effect) : FKind(kind), FEffect(std::move(effect)) {
  const char* className = kind >= 0 && kind < RRTrackEffectKinds ? kEffectClasses[kind] : "TRRTrackEffect";
  auto refuse = [&](const std::string& reason) -> void {
    throw gx::EGXException({gx::TGXExceptionArg::Object(className), "Create", reason});
  };
  if (!FEffect || kind < 0 || kind >= RRTrackEffectKinds) refuse("No effect");
  gx::TGXEffectTechnique* main = FEffect->FirstValidTechnique();
  if (main && main->Name() == "CAD") {
    // The default technique is the first valid one that is not "CAD", if there is one.
    for (int i = 0; i < FEffect->TechniqueCount(); ++i)
      if (gx::TGXEffectTechnique* t = FEffect->Technique(i); t->Valid() && t->Name() != "CAD") {
        main = t;
        break;
      }
  }
  if (!main) refuse("No valid technique found");
  gx::TGXEffectTechnique* cad = FEffect->FindTechnique("CAD");
  if (!cad || !cad->Valid()) cad = main;
  FTechniques = {main, cad};

  for (int m = 0; m < 2; ++m) {
    gx::IGXMaterial material =
        gx::MakeRef<gx::TGXMaterial>(nullptr, std::string(className) + (m ? ".CAD" : ""), true);
    material->SetEffect(FEffect);
    material->Load();
    if (!material->IsLoaded()) refuse("Material: " + material->LoadError());
    material->SetTechnique(FTechniques[m]);
    FMaterials[m] = material;

    TRRTrackEffectParameters& p = FParameters[m];
    auto value = [&](const char* name) {
      gx::TGXEffectValueSource* v = material->FindValue(name);
      if (!v) refuse(std::string("Parameter missing: ") + name);
      return v;
    };
    p.DepthBias = value("DepthBias");
    p.SpecialColor = value("SpecialColor");
    p.DiffuseMap = material->FindTexture("DiffuseMap");
    if (!p.DiffuseMap) refuse("Parameter missing: DiffuseMap");
    switch (kind) {
      case RREffectLinear:
        p.Length = value("Length");
        break;
      case RREffectTwistedLinear:
        p.SegmentSize = value("SegmentSize");
        p.Length = value("Length");
        p.TwistAngle0 = value("TwistAngle0");
        p.TwistAngle1 = value("TwistAngle1");
        break;
      case RREffectLinearLow:
        p.Length = value("Length");
        p.SegmentCount = value("SegmentCount");
        break;
      case RREffectTwistedCurve:
        p.TwistAngle0 = value("TwistAngle0");
        p.TwistAngle1 = value("TwistAngle1");
        [[fallthrough]];
      case RREffectCurve:
        p.SegmentSize = value("SegmentSize");
        p.Length = value("Length");
        p.Angle = value("Angle");
        p.Radius = value("Radius");
        break;
      case RREffectTwistedFlexible:
        p.Length = value("Length");
        p.TwistAngle0 = value("TwistAngle0");
        p.TwistAngle1 = value("TwistAngle1");
        [[fallthrough]];
      case RREffectFlexible:
        p.SegmentInfo = value("SegmentInfo");
        p.SegmentSize = value("SegmentSize");
        if (p.SegmentInfo->ElementSize() != 16) refuse("SegmentInfo is no float4 array");
        FSegmentInfoCapacity = p.SegmentInfo->Count();
        // A chunk of 63 segments passes 64 points.
        if (FSegmentInfoCapacity < RRTrackSegmentCopies) refuse("SegmentInfo holds fewer than 64 points");
        break;
    }
    // The instancing arrays are optional: without all of them the kind draws one by one.
    {
      TRRTrackInstanceParameters& i = FInstance[m];
      auto array = [&](const char* name, uint32_t elementSize) -> gx::TGXEffectValueSource* {
        gx::TGXEffectValueSource* v = material->FindValue(name);
        return v && v->ElementSize() == elementSize && v->Count() >= RRTrackMaxInstances ? v : nullptr;
      };
      i.World = array("InstanceWorld", 64);
      i.Color = array("InstanceColor", 16);
      i.Data = array("InstanceData", 16);
      i.Shape = array("InstanceShape", 16);
      i.Instanced = material->FindValue("Instanced");
      i.SegmentVertices = material->FindValue("SegmentVertices");
      if (kind >= RREffectFlexible) {
        gx::TGXEffectValueSource* v = material->FindValue("InstanceSegmentInfo");
        i.SegmentInfo =
            v && v->ElementSize() == 16 && v->Count() >= RRTrackMaxFlexInstances * RRTrackSegmentCopies
                ? v
                : nullptr;
        if (!i.SegmentInfo) i.World = nullptr;
      }
      if (!i.Complete()) i = TRRTrackInstanceParameters();
    }
  }
}

TRRTrackEffect::~TRRTrackEffect() = default;

std::unique_ptr<TRRTrackEffect> RRCreateTrackEffect(int kind, gx::IGXEffect effect) {
  switch (kind) {
    case RREffectLinear:
      return std::make_unique<TRRLinearEffect>(std::move(effect));
    case RREffectTwistedLinear:
      return std::make_unique<TRRTwistedLinearEffect>(std::move(effect));
    case RREffectLinearLow:
      return std::make_unique<TRRLinearLowEffect>(std::move(effect));
    case RREffectCurve:
      return std::make_unique<TRRCurveEffect>(std::move(effect));
    case RREffectTwistedCurve:
      return std::make_unique<TRRTwistedCurveEffect>(std::move(effect));
    case RREffectFlexible:
      return std::make_unique<TRRFlexibleEffect>(std::move(effect));
    case RREffectTwistedFlexible:
      return std::make_unique<TRRTwistedFlexibleEffect>(std::move(effect));
  }
  throw gx::EInvalidParameter({gx::TGXExceptionArg::Object("TRRTrackEffect"), "Create", "Unknown kind"});
}

// ---- the shared set ----

TRRTrackResources::TRRTrackResources(TSource source)
    : FSource(std::move(source)), FBatcher(std::make_unique<TRRTrackBatcher>()) {}

TRRTrackResources::~TRRTrackResources() = default;

void TRRTrackResources::Report(const std::string& what, const std::exception& e) {
  ++FReports;
  if (FSource.Report) FSource.Report(what + ": " + e.what());
}

TRRTrackGeometry* TRRTrackResources::Geometry(int kind) {
  if (kind < 0 || kind >= RRTrackGeometryKinds || !FSource.Device) return nullptr;
  if (FGeometries[kind] || FGeometryFailed[kind]) return FGeometries[kind].get();
  const char* file = RRTrackGeometryFile(kind);
  try {
    if (!FSource.LoadMesh)
      throw gx::EInvalidCall(
          {gx::TGXExceptionArg::Object("TRRTrackResources"), "Geometry", "No mesh loader"});
    const TRRSegmentMesh mesh = FSource.LoadMesh(file);
    std::unique_ptr<TRRTrackGeometry> geometry = RRCreateTrackGeometry(kind, *FSource.Device, mesh);
    if (kind != RRGeometryNoBed && FSource.SegmentShapeLoaded)
      FSource.SegmentShapeLoaded(geometry->BoundsMin(), geometry->BoundsMax());
    FGeometries[kind] = std::move(geometry);
  } catch (const std::exception& e) {
    FGeometryFailed[kind] = true;
    Report(std::string("Gleisgeometrie kann nicht erstellt werden (") + file + ")", e);
  }
  return FGeometries[kind].get();
}

TRRTrackEffect* TRRTrackResources::Effect(int kind) {
  if (kind < 0 || kind >= RRTrackEffectKinds || !FSource.Device) return nullptr;
  if (FEffects[kind] || FEffectFailed[kind]) return FEffects[kind].get();
  const std::string file = std::string(RRTrackEffectFolder) + kEffectFiles[kind];
  try {
    if (!FSource.LoadEffect)
      throw gx::EInvalidCall(
          {gx::TGXExceptionArg::Object("TRRTrackResources"), "Effect", "No effect loader"});
    FEffects[kind] = RRCreateTrackEffect(kind, FSource.LoadEffect(file));
  } catch (const std::exception& e) {
    FEffectFailed[kind] = true;
    Report("Gleiseffekt kann nicht geladen werden (" + file + ")", e);
  }
  return FEffects[kind].get();
}

gx::TGXRefCounted* TRRTrackResources::DefaultTexture() {
  if (!FSource.Device) return nullptr;
  if (!FTextureTried) {
    FTextureTried = true;
    try {
      if (FSource.LoadDefaultTexture) FDefaultTexture = FSource.LoadDefaultTexture();
    } catch (const std::exception& e) {
      Report("Standard-Gleistextur kann nicht geladen werden", e);
    }
  }
  return FDefaultTexture.Get();
}

TRRContactLineTemplate* TRRTrackResources::ContactLine() {
  if (!FSource.Device) return nullptr;
  if (FContactLine || FContactLineFailed) return FContactLine.get();
  try {
    gx::TGXRef<gx::TGXDeviceVertexDeclaration> layout;
    if (FSource.LineLayout) layout = FSource.LineLayout();
    FContactLine = std::make_unique<TRRContactLineTemplate>(*FSource.Device, layout, FSource.MakeLineMaterial);
  } catch (const std::exception& e) {
    FContactLineFailed = true;
    Report("Kontaktmarkierung kann nicht erstellt werden", e);
  }
  return FContactLine.get();
}

TRRTrackResources::TSource TRRTrackResources::EngineSource(std::function<void(const std::string&)> report) {
  TSource source;
  gx::TGXRenderCore* core = gx::GXCurrentRenderCore();
  gx::TGXEngine* engine = gx::Engine();
  if (!core || !engine) return source;
  source.Device = &core->Device();
  source.Report = std::move(report);
  source.LineLayout = [core] {
    gx::TGXVertexLayoutDecl decl;
    decl.AddElement(0, gx::GXDeclFloat3, gx::GXUsagePosition, 0);
    return core->VertexLayouts().GetLayout(decl);
  };
  source.LoadMesh = [](const std::string& file) {
    gx::IGXMesh mesh = gx::Engine()->ResourceManager().Get<gx::TGXMesh>(file);
    mesh->Load();
    if (!mesh->IsLoaded())
      throw gx::EGXException({gx::TGXExceptionArg::Object("TGXMesh"), "Load", mesh->LoadError()});
    TRRSegmentMesh result;
    result.Data = mesh->GetData();
    result.Layout = mesh->GetGeometry().Layout;
    result.Vertices = mesh->GetGeometry();
    if (mesh->SubMeshCount() > 0) result.Indices = mesh->SubMesh(0)->IndexGeometry;
    return result;
  };
  source.LoadEffect = [](const std::string& file) {
    gx::IGXEffect effect = gx::Engine()->ResourceManager().Get<gx::TGXEffect>(file);
    effect->Load();
    if (!effect->IsLoaded())
      throw gx::EGXException({gx::TGXExceptionArg::Object("TGXEffect"), "Load", effect->LoadError()});
    return effect;
  };
  source.LoadDefaultTexture = [core]() -> gx::TGXRef<gx::TGXRefCounted> {
    gx::IGXTexture texture = gx::Engine()->ResourceManager().Get<gx::TGXTexture>(std::string("Game:\\") +
                                                                                 RRDefaultTrackTexturePath);
    texture->Load();
    if (texture->IsLoaded() && texture->GetDeviceTexture())
      return gx::TGXRef<gx::TGXRefCounted>(texture.Get());
    // A grey texture made in memory, so that tracks still show their shape.
    gx::TGXImage grey;
    grey.Width = grey.Height = 4;
    grey.Pixels.assign(16, 0xFF808080u);
    return gx::TGXRef<gx::TGXRefCounted>(core->Device().CreateTexture(grey, 0).Get());
  };
  source.SegmentShapeLoaded = [](const gx::TGXVector3& min, const gx::TGXVector3& max) {
    TRRTrackSegmentShape shape;
    shape.Min = min;
    shape.Max = max;
    RRSetTrackSegmentShape(shape);
  };
  return source;
}

}  // namespace rr
