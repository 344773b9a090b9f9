#include "app/entities/panel/RRPanelSegment.h"

#include <algorithm>
#include <cmath>

#include "app/entities/panel/RRPanelTexture.h"
#include "engine/core/GXException.h"
#include "engine/core/GXGeometry.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderQueue.h"

namespace rr {

namespace {

// A drawn height: negatives and non-finite values lie at 0.
float DrawnHeight(float h) { return std::isfinite(h) && h > 0 ? h : 0.0f; }

void SetValue(gx::TGXMaterial* material, std::string_view name, const std::vector<float>& values) {
  if (!material) return;
  if (gx::TGXEffectValueSource* source = material->FindValue(name)) source->SetFloats(values);
}

void SetTechnique(gx::TGXMaterial* material, std::string_view name) {
  if (!material || !material->GetEffect()) return;
  if (gx::TGXEffectTechnique* technique = material->GetEffect()->FindTechnique(name))
    if (material->GetTechnique() != technique) material->SetTechnique(technique);
}

void SetTexture(gx::TGXMaterial* material, std::string_view name, const gx::IGXTexture& texture) {
  if (!material) return;
  gx::TGXEffectTextureSource* source = material->FindTexture(name);
  if (source && source->GetTexture() != texture.Get()) source->SetTexture(texture);
}

[[noreturn]] void Fail(const char* object, const char* operation, const char* message) {
  throw gx::EDirect3D({gx::TGXExceptionArg::Object(object), operation, message});
}

}  // namespace

std::string RRPanelPackEffect(int textures) {
  static const char* const kNames[4] = {"TerrainOneTile.fx", "TerrainTwoTiles.fx", "TerrainThreeTiles.fx",
                                        "TerrainFourTiles.fx"};
  return std::string(RRPanelEffectFolder) + kNames[std::clamp(textures, 1, 4) - 1];
}
std::string RRPanelTransparentEffect() { return std::string(RRPanelEffectFolder) + "TerrainTransparent.fx"; }
std::string RRPanelCADEffect() { return std::string(RRPanelEffectFolder) + "TerrainCAD.fx"; }

// ---- buffers ----

void TRRPanelBufferState::SetDynamic(bool value) {
  if (Dynamic == value) return;
  Dynamic = value;
  Buffer = {};
  Dirty = true;
}

void TRRPanelBufferState::Update(gx::TGXRenderDevice& device, const char* operation, const void* data,
                                 uint32_t size) {
  if (size == 0) return;
  if (!Buffer) {
    Buffer = Dynamic ? device.CreateVertexBuffer(size, gx::GXBufferUsageDynamicWriteOnly, gx::GXPoolDefault)
                     : device.CreateVertexBuffer(size, gx::GXBufferUsageStatic, gx::GXPoolManaged);
    if (!Buffer) Fail("TRRPanelSegment", operation, "CreateVertexBuffer failed");
    Dirty = true;
  }
  if (Dirty) {
    if (!device.WriteVertexBuffer(Buffer.Get(), 0, data, size, Dynamic ? uint32_t(gx::GXLockDiscard) : 0u))
      Fail("TRRPanelSegment", operation, "Lock failed");
    Dirty = false;
  }
}

// ---- edges ----

TRRPanelEdge RRClipPanelEdge(const TRRPanelEdge& edge, int side, uint32_t x0, uint32_t y0, uint32_t x1,
                             uint32_t y1) {
  TRRPanelEdge e = edge;
  if (!e.Exterior) return e;
  const int64_t X0 = x0, Y0 = y0, X1 = x1, Y1 = y1;
  bool counts = false;
  switch (side) {
    case RRPanelEdgeFront:
      counts = e.StartY == Y0;
      break;
    case RRPanelEdgeBack:
      counts = e.StartY == Y1;
      break;
    case RRPanelEdgeLeft:
      counts = e.StartX == X0;
      break;
    case RRPanelEdgeRight:
      counts = e.StartX == X1;
      break;
  }
  if (!counts) {
    e.Exterior = 0;
    return e;
  }
  if (side == RRPanelEdgeFront || side == RRPanelEdgeBack) {
    e.StartX = static_cast<int32_t>(std::max<int64_t>(e.StartX, X0));
    e.EndX = static_cast<int32_t>(std::min<int64_t>(e.EndX, X1));
    if (e.StartX >= e.EndX) e.Exterior = 0;
  } else {
    e.StartY = static_cast<int32_t>(std::max<int64_t>(e.StartY, Y0));
    e.EndY = static_cast<int32_t>(std::min<int64_t>(e.EndY, Y1));
    if (e.StartY >= e.EndY) e.Exterior = 0;
  }
  return e;
}

// ---- texture pack ----

TRRPanelTexturePack::TRRPanelTexturePack(TRRPanelSegment& segment, int ordinal)
    : FSegment(segment), FOrdinal(ordinal), FWeights(segment.VertexCount(), 0u) {}

int TRRPanelTexturePack::SlotOf(const TRRPanelTexture& texture) const {
  for (int i = 0; i < FCount; ++i)
    if (FSlots[i] == &texture) return i;
  return -1;
}

int TRRPanelTexturePack::AddTexture(TRRPanelTexture& texture) {
  GX_ASSERT(FCount < 4);
  FSlots[FCount] = &texture;
  ++FCount;
  BuildMaterial();
  return FCount - 1;
}

void TRRPanelTexturePack::SetWeight(uint32_t vertex, int slot, uint8_t weight) {
  const uint32_t shift = 8u * static_cast<uint32_t>(slot);
  FWeights[vertex] = (FWeights[vertex] & ~(0xFFu << shift)) | (uint32_t(weight) << shift);
  FBuffer.Dirty = true;
}

void TRRPanelTexturePack::BuildMaterial() {
  Material = {};
  FEffectFile.clear();
  const auto& services = FSegment.Creation().Services;
  if (!services || !services->MakeMaterial) return;
  const std::string effect = RRPanelPackEffect(FCount);
  Material = services->MakeMaterial("Pack", effect);
  if (!Material) return;
  FEffectFile = effect;
  SetTechnique(Material.Get(), FOrdinal > 0 ? "TerrainBlend" : "Terrain");
  SetValue(Material.Get(), "BlendingEnabled", {static_cast<float>(FOrdinal)});
  RefreshScales();
}

void TRRPanelTexturePack::RefreshScales() {
  if (!Material) return;
  std::vector<float> scaling(4, 0.0f), offset(8, 0.0f);
  const float grid = static_cast<float>(FSegment.QuadWidth());
  for (int k = 0; k < FCount; ++k) {
    const float s = FSlots[k]->Scale;
    scaling[k] = s;
    offset[2 * k] = static_cast<float>(FSegment.X0()) * grid * s;
    offset[2 * k + 1] = -static_cast<float>(FSegment.Y0()) * grid * s;
    // An entry whose file cannot be loaded keeps its place and draws with the default texture.
    const gx::IGXTexture& texture =
        FSlots[k]->Loaded() ? FSlots[k]->Texture : FSegment.Creation().DefaultTexture;
    SetTexture(Material.Get(), "TileMap" + std::to_string(k), texture);
  }
  SetValue(Material.Get(), "TexScaling", scaling);
  SetValue(Material.Get(), "TexOffset", offset);
}

const gx::TGXMatrix* TRRPanelTexturePack::GetWorldMatrix() { return &FSegment.WorldMatrix(); }

// ---- special surface ----

TRRPanelSpecialSurface::TRRPanelSpecialSurface(TRRPanelSegment& segment) : FSegment(segment) {}

void TRRPanelSpecialSurface::SelectMaterial(bool technical, bool transparent) {
  const auto& services = FSegment.Creation().Services;
  if (technical) {
    if (!FCAD && services && services->MakeMaterial) {
      FCAD = services->MakeMaterial("CADSurface", RRPanelCADEffect());
      if (FCAD) {
        if (services->LoadTexture)
          SetTexture(FCAD.Get(), "RasterMap", services->LoadTexture(RRPanelRasterTexture));
        SetValue(FCAD.Get(), "Alpha", {RRPanelCADAlpha});
      }
    }
    SetValue(FCAD.Get(), "BlendEnable", {transparent ? 1.0f : 0.0f});
    SetTechnique(FCAD.Get(), transparent ? "CADBlend" : "CAD");
    Material = FCAD;
  } else {
    if (!FTransparent && services && services->MakeMaterial)
      FTransparent = services->MakeMaterial("TransparentSurface", RRPanelTransparentEffect());
    Material = FTransparent;
  }
}

const gx::TGXMatrix* TRRPanelSpecialSurface::GetWorldMatrix() { return &FSegment.WorldMatrix(); }

// ---- surface ----

TRRPanelSegmentSurface::TRRPanelSegmentSurface(TRRPanelSegment& segment)
    : FSegment(segment), FSpecial(segment) {
  const uint32_t cols = segment.RowLength();
  const uint32_t rows = segment.Y1() - segment.Y0() + 1;
  const float grid = static_cast<float>(segment.QuadWidth());
  FVertices.resize(segment.VertexCount());
  for (uint32_t i = 0; i < FVertices.size(); ++i) {
    FVertices[i].Position = {static_cast<float>(i % cols) * grid, 0.0f, -static_cast<float>(i / cols) * grid};
    FVertices[i].Normal = {0, 1, 0};
  }
  if (cols > 1 && rows > 1) {
    FIndices.reserve(size_t(cols - 1) * (rows - 1) * 6);
    for (uint32_t r = 0; r + 1 < rows; ++r)
      for (uint32_t c = 0; c + 1 < cols; ++c) {
        const uint16_t a = static_cast<uint16_t>(c + cols * r);
        const uint16_t b = static_cast<uint16_t>(c + cols * (r + 1));
        if (((segment.X0() + c) + (segment.Y0() + r)) % 2 == 0)
          FIndices.insert(FIndices.end(), {b, a, uint16_t(b + 1), a, uint16_t(a + 1), uint16_t(b + 1)});
        else
          FIndices.insert(FIndices.end(), {b, a, uint16_t(a + 1), uint16_t(a + 1), uint16_t(b + 1), b});
      }
  }
}

TRRPanelSegmentSurface::~TRRPanelSegmentSurface() = default;

void TRRPanelSegmentSurface::CheckVertex(uint32_t vertex, int line) const {
  if (vertex >= FVertices.size()) gx::GXAssertionFailed("Source/Entities/Panel/RRPanelSegmentSurface", line);
}

bool TRRPanelSegmentSurface::SetHeight(uint32_t vertex, float h) {
  CheckVertex(vertex, 261);
  const float drawn = DrawnHeight(h);
  FVertices[vertex].Position.y = drawn;
  SetDynamic(true);
  FBuffer.Dirty = true;
  if (drawn > FTopHeight) {
    FTopHeight = drawn;
    return true;
  }
  return false;
}

void TRRPanelSegmentSurface::SetDynamic(bool value) {
  FBuffer.SetDynamic(value);
  for (auto& pack : FPacks) pack->WeightBuffer().SetDynamic(value);
}

void TRRPanelSegmentSurface::SetWeight(TRRPanelTexture& texture, uint32_t vertex, bool normalise,
                                       uint8_t weight) {
  CheckVertex(vertex, 306);
  TRRPanelTexturePack* pack = nullptr;
  int slot = -1;
  for (auto& p : FPacks)
    if ((slot = p->SlotOf(texture)) >= 0) {
      pack = p.get();
      break;
    }
  if (!pack) {
    if (FPacks.empty() || FPacks.back()->TextureCount() == 4) {
      FPacks.push_back(std::make_unique<TRRPanelTexturePack>(FSegment, static_cast<int>(FPacks.size())));
      FPacks.back()->WeightBuffer().Dynamic = FBuffer.Dynamic;
    }
    pack = FPacks.back().get();
    slot = pack->AddTexture(texture);
  }
  if (pack->Weight(vertex, slot) >= weight) return;

  uint32_t others = 0;
  if (normalise)
    for (auto& p : FPacks)
      for (int k = 0; k < p->TextureCount(); ++k)
        if (p.get() != pack || k != slot) others += p->Weight(vertex, k);
  pack->SetWeight(vertex, slot, weight);
  if (normalise && others > 0) {
    const double rest = 255.0 - weight;
    for (auto& p : FPacks)
      for (int k = 0; k < p->TextureCount(); ++k) {
        if (p.get() == pack && k == slot) continue;
        const uint8_t w = p->Weight(vertex, k);
        if (w == 0) continue;
        // Nearest integer, ties to even (the default rounding mode).
        const double scaled = std::nearbyint(double(w) * rest / double(others));
        p->SetWeight(vertex, k, static_cast<uint8_t>(std::clamp(scaled, 0.0, 255.0)));
      }
  }
  SetDynamic(true);
}

uint8_t TRRPanelSegmentSurface::GetWeight(const TRRPanelTexture& texture, uint32_t vertex) const {
  CheckVertex(vertex, 401);
  for (const auto& p : FPacks) {
    const int slot = p->SlotOf(texture);
    if (slot >= 0) return p->Weight(vertex, slot);
  }
  return 0;
}

void TRRPanelSegmentSurface::GetLayers(uint32_t vertex, std::vector<TRRPanelLayer>& layers) const {
  CheckVertex(vertex, 401);
  for (const auto& p : FPacks)
    for (int k = 0; k < p->TextureCount(); ++k)
      if (const uint8_t w = p->Weight(vertex, k)) layers.push_back({p->Slot(k), w});
}

void TRRPanelSegmentSurface::FinishEdit() { SetDynamic(false); }

float TRRPanelSegmentSurface::RecomputeTopHeight() {
  float top = 0;
  for (const TRRPanelVertex& v : FVertices) top = std::max(top, v.Position.y);
  FTopHeight = top;
  return top;
}

void TRRPanelSegmentSurface::UpdateBuffers(gx::TGXRenderDevice& device) {
  if (FBuffer.Dirty || !FBuffer.Buffer) {
    if (FBuffer.Dirty) {
      const auto& normal = FSegment.Creation().VertexNormal;
      const uint32_t cols = FSegment.RowLength();
      if (normal)
        for (uint32_t i = 0; i < FVertices.size(); ++i)
          FVertices[i].Normal = normal(FSegment.X0() + i % cols, FSegment.Y0() + i / cols);
    }
    FBuffer.Update(device, "UpdateBuffers", FVertices.data(),
                   static_cast<uint32_t>(FVertices.size() * sizeof(TRRPanelVertex)));
  }
  if (!FIndexBuffer && !FIndices.empty()) {
    const uint32_t bytes = static_cast<uint32_t>(FIndices.size() * 2);
    FIndexBuffer = device.CreateIndexBuffer(bytes, gx::GXFormatIndex16);
    if (!FIndexBuffer || !device.WriteIndexBuffer(FIndexBuffer.Get(), 0, FIndices.data(), bytes)) {
      FIndexBuffer = {};
      Fail("TRRPanelSegment", "UpdateBuffers", "Lock failed");
    }
  }
  for (auto& pack : FPacks) {
    pack->WeightBuffer().Update(device, "UpdateBuffer", pack->Weights().data(),
                                static_cast<uint32_t>(pack->Weights().size() * 4));
    pack->RefreshScales();
  }
}

void TRRPanelSegmentSurface::ReleaseVertexBuffers() {
  FBuffer.Buffer = {};
  FBuffer.Dirty = true;
  for (auto& pack : FPacks) {
    pack->WeightBuffer().Buffer = {};
    pack->WeightBuffer().Dirty = true;
  }
}

// ---- base ----

TRRPanelSegmentBase::TRRPanelSegmentBase(TRRPanelSegment& segment, const TRRPanelEdge (&edges)[4])
    : FSegment(segment) {
  const float grid = static_cast<float>(segment.QuadWidth());
  const float W = static_cast<float>(segment.X1() - segment.X0()) * grid;
  const float D = static_cast<float>(segment.Y1() - segment.Y0()) * grid;
  const float t = segment.Thickness();
  const float x0 = static_cast<float>(segment.X0()), y0 = static_cast<float>(segment.Y0());
  auto add = [this](gx::TGXVector3 p, gx::TGXVector3 n, float u, float v) {
    FVertices.push_back({p, n, u, v});
  };
  add({0, RRPanelBasePlateHeight, -D}, {0, 1, 0}, 0, 1);
  add({0, RRPanelBasePlateHeight, 0}, {0, 1, 0}, 0, 0);
  add({W, RRPanelBasePlateHeight, -D}, {0, 1, 0}, 1, 1);
  add({W, RRPanelBasePlateHeight, 0}, {0, 1, 0}, 1, 0);
  FIndices = {2, 0, 3, 0, 1, 3};

  static const int kOrder[4] = {RRPanelEdgeFront, RRPanelEdgeLeft, RRPanelEdgeRight, RRPanelEdgeBack};
  for (int side : kOrder) {
    TEdge& edge = FEdges[side];
    edge.Edge = RRClipPanelEdge(edges[side], side, segment.X0(), segment.Y0(), segment.X1(), segment.Y1());
    if (!edge.Edge.Exterior) continue;
    const TRRPanelEdge& e = edge.Edge;
    const bool alongX = side == RRPanelEdgeFront || side == RRPanelEdgeBack;
    const uint32_t n = static_cast<uint32_t>(alongX ? e.EndX - e.StartX : e.EndY - e.StartY) + 1;
    edge.FirstVertex = static_cast<uint32_t>(FVertices.size());
    edge.Points = n;
    for (int row = 0; row < 2; ++row) {
      const float y = row == 0 ? 0.0f : -t;
      for (uint32_t k = 0; k < n; ++k) {
        const int64_t kk = k;
        switch (side) {
          case RRPanelEdgeFront:
            add({(float(e.EndX - kk) - x0) * grid, y, 0}, {0, 0, 1}, 0, 0);
            break;
          case RRPanelEdgeLeft:
            add({0, y, -(float(e.StartY + kk) - y0) * grid}, {-1, 0, 0}, 0, 0);
            break;
          case RRPanelEdgeRight:
            add({W, y, -(float(e.EndY - kk) - y0) * grid}, {1, 0, 0}, 0, 0);
            break;
          case RRPanelEdgeBack:
            add({(float(e.StartX + kk) - x0) * grid, y, -D}, {0, 0, -1}, 0, 0);
            break;
        }
      }
    }
    const uint32_t f = edge.FirstVertex;
    for (uint32_t k = 0; k + 1 < n; ++k)
      for (uint32_t v : {f + n + k, f + k, f + n + k + 1, f + k, f + k + 1, f + n + k + 1})
        FIndices.push_back(static_cast<uint16_t>(v));
  }
  add({0, -t, 0}, {0, -1, 0}, 0, 0);
  add({0, -t, -D}, {0, -1, 0}, 0, 0);
  add({W, -t, 0}, {0, -1, 0}, 0, 0);
  add({W, -t, -D}, {0, -1, 0}, 0, 0);
  const uint32_t L = static_cast<uint32_t>(FVertices.size());
  for (uint32_t v : {L - 2, L - 4, L - 1, L - 4, L - 3, L - 1}) FIndices.push_back(static_cast<uint16_t>(v));
  BuildMaterial();
}

void TRRPanelSegmentBase::SetHeight(uint32_t x, uint32_t y, float h) {
  const float drawn = DrawnHeight(h);
  bool changed = false;
  auto set = [&](int side, int64_t offset) {
    FVertices[FEdges[side].FirstVertex + static_cast<uint32_t>(offset)].Position.y = drawn;
    changed = true;
  };
  const int64_t X = x, Y = y;
  auto inX = [&](const TRRPanelEdge& e) { return e.Exterior && X >= e.StartX && X <= e.EndX; };
  auto inY = [&](const TRRPanelEdge& e) { return e.Exterior && Y >= e.StartY && Y <= e.EndY; };
  if (y == FSegment.Y0()) {
    if (inX(FEdges[RRPanelEdgeFront].Edge)) set(RRPanelEdgeFront, FEdges[RRPanelEdgeFront].Edge.EndX - X);
  } else if (y == FSegment.Y1()) {
    if (inX(FEdges[RRPanelEdgeBack].Edge)) set(RRPanelEdgeBack, X - FEdges[RRPanelEdgeBack].Edge.StartX);
  }
  if (x == FSegment.X0()) {
    if (inY(FEdges[RRPanelEdgeLeft].Edge)) set(RRPanelEdgeLeft, Y - FEdges[RRPanelEdgeLeft].Edge.StartY);
  } else if (x == FSegment.X1()) {
    if (inY(FEdges[RRPanelEdgeRight].Edge)) set(RRPanelEdgeRight, FEdges[RRPanelEdgeRight].Edge.EndY - Y);
  }
  // A zero-cell segment has its front and back (or left and right) on one line.
  if (FSegment.Y0() == FSegment.Y1() && y == FSegment.Y1() && inX(FEdges[RRPanelEdgeBack].Edge))
    set(RRPanelEdgeBack, X - FEdges[RRPanelEdgeBack].Edge.StartX);
  if (FSegment.X0() == FSegment.X1() && x == FSegment.X1() && inY(FEdges[RRPanelEdgeRight].Edge))
    set(RRPanelEdgeRight, FEdges[RRPanelEdgeRight].Edge.EndY - Y);
  if (changed) {
    FBuffer.SetDynamic(true);
    FBuffer.Dirty = true;
  }
}

void TRRPanelSegmentBase::SetTransparent(bool value) {
  if (FTransparent == value && Material) return;
  FTransparent = value;
  BuildMaterial();
}

void TRRPanelSegmentBase::BuildMaterial() {
  const auto& services = FSegment.Creation().Services;
  Material = {};
  if (services && services->BaseMaterial)
    Material = services->BaseMaterial(FSegment.Creation().DefaultTextureName, !FTransparent);
}

void TRRPanelSegmentBase::UpdateBuffers(gx::TGXRenderDevice& device) {
  FBuffer.Update(device, "UpdateBuffer", FVertices.data(),
                 static_cast<uint32_t>(FVertices.size() * sizeof(TRRPanelBaseVertex)));
  if (!FIndexBuffer) {
    const uint32_t bytes = static_cast<uint32_t>(FIndices.size() * 2);
    FIndexBuffer = device.CreateIndexBuffer(bytes, gx::GXFormatIndex16);
    if (!FIndexBuffer || !device.WriteIndexBuffer(FIndexBuffer.Get(), 0, FIndices.data(), bytes)) {
      FIndexBuffer = {};
      Fail("TRRPanelSegment", "UpdateBuffer", "Lock failed");
    }
  }
}

const gx::TGXMatrix* TRRPanelSegmentBase::GetWorldMatrix() { return &FSegment.WorldMatrix(); }

// ---- segment ----

TRRPanelSegment::TRRPanelSegment(const TRRPanelObjectCreation& creation)
    : FCreation(creation), FX0(creation.X0), FY0(creation.Y0), FX1(creation.X1), FY1(creation.Y1) {
  FSurface = std::make_unique<TRRPanelSegmentSurface>(*this);
  FBase = std::make_unique<TRRPanelSegmentBase>(*this, creation.Edges);
  const float grid = static_cast<float>(creation.QuadWidth);
  const float W = static_cast<float>(FX1 - FX0) * grid, D = static_cast<float>(FY1 - FY0) * grid;
  FPickBox = gx::BoxFromMinMax({0, -creation.Thickness, -D}, {W, 0, 0});
  SetLocalBounds(FPickBox);
  if (creation.Services && creation.Services->DeviceEvents) creation.Services->DeviceEvents->Register(this);
}

TRRPanelSegment::~TRRPanelSegment() {
  if (FCreation.Services && FCreation.Services->DeviceEvents)
    FCreation.Services->DeviceEvents->Unregister(this);
}

void TRRPanelSegment::SetBoxTop(float top) {
  const gx::TGXBoundingBox& box = LocalBounds();
  SetLocalBounds(gx::BoxFromMinMax(box.Min(), {box.Max().x, top, box.Max().z}));
}

void TRRPanelSegment::SetHeight(uint32_t x, uint32_t y, float h) {
  if (!Contains(x, y)) return;
  if (FSurface->SetHeight(VertexIndex(x, y), h)) SetBoxTop(FSurface->TopHeight());
  FBase->SetHeight(x, y, h);
}

void TRRPanelSegment::SetWeight(TRRPanelTexture& texture, uint32_t x, uint32_t y, bool normalise,
                                uint8_t weight) {
  if (Contains(x, y)) FSurface->SetWeight(texture, VertexIndex(x, y), normalise, weight);
}

uint8_t TRRPanelSegment::GetWeight(const TRRPanelTexture& texture, uint32_t x, uint32_t y) const {
  return Contains(x, y) ? FSurface->GetWeight(texture, VertexIndex(x, y)) : 0;
}

void TRRPanelSegment::FinishEdit() {
  FSurface->FinishEdit();
  FBase->FinishEdit();
}

void TRRPanelSegment::UpdateBounds() { SetBoxTop(FSurface->RecomputeTopHeight()); }

void TRRPanelSegment::SetTransparent(bool value) {
  FTransparent = value;
  FBase->SetTransparent(value);
}

bool TRRPanelSegment::RayIntersect(const gx::TGXVector3& origin, const gx::TGXVector3& direction,
                                   gx::TGXVector3& normal, gx::TGXVector3& hit) {
  if (!Visible() || ZeroCells()) return false;
  float best = 1e10f;
  bool found = false;
  if (!FTransparent) {
    const auto& vertices = FSurface->Vertices();
    const auto& indices = FSurface->Indices();
    for (size_t i = 0; i + 2 < indices.size(); i += 3) {
      const gx::TGXVector3& p0 = vertices[indices[i]].Position;
      const gx::TGXVector3& p1 = vertices[indices[i + 1]].Position;
      const gx::TGXVector3& p2 = vertices[indices[i + 2]].Position;
      const auto h = gx::RayTriangle(origin, direction, p0, p1, p2, false);
      if (!h) continue;
      const float d = gx::GXVec3LengthSq(h->Point - origin);
      if (d < best) {
        best = d;
        hit = h->Point;
        normal = gx::GXVec3Normalize(gx::GXVec3Cross(p1 - p0, p2 - p0));
        found = true;
      }
    }
  }
  if (const auto h = gx::RayBox(FPickBox, origin, direction)) {
    const float d = gx::GXVec3LengthSq(h->Point - origin);
    if (d < best) {
      hit = h->Point;
      normal = h->Normal;
      found = true;
    }
  }
  return found;
}

const gx::TGXMatrix& TRRPanelSegment::WorldMatrix() {
  FWorld = Node() ? Node()->WorldMatrix() : gx::GXMatrixIdentity();
  return FWorld;
}

gx::TGXDeviceVertexDeclaration* TRRPanelSegment::Layout(int kind) {
  if (!FLayouts[kind] && FCreation.Services && FCreation.Services->Layout)
    FLayouts[kind] = FCreation.Services->Layout(kind);
  return FLayouts[kind].Get();
}

void TRRPanelSegment::AddToRenderQueue(gx::TGXSceneCamera* camera, gx::TGXRenderQueue* queue) {
  // A segment without cells (a partition of zero width or depth) has nothing to draw.
  if (!queue || !FCreation.Services || !FCreation.Services->Device || ZeroCells()) return;
  gx::TGXRenderDevice& device = *FCreation.Services->Device;
  const float distance = camera && camera->Node()
                             ? gx::GXVec3LengthSq(camera->Node()->WorldPosition() - WorldBounds().Center)
                             : 0.0f;
  FSurface->UpdateBuffers(device);
  const uint32_t vertices = VertexCount();
  if (!FSurface->Indices().empty()) {
    gx::TGXIndexGeometry indices;
    indices.IndexCount = static_cast<uint32_t>(FSurface->Indices().size());
    indices.Buffer = gx::TGXRef<gx::TGXDeviceIndexBuffer>(FSurface->IndexBuffer());
    if (FTransparent || Technical()) {
      TRRPanelSpecialSurface& special = FSurface->Special();
      special.SelectMaterial(Technical(), FTransparent);
      gx::TGXVertexGeometry geometry;
      geometry.VertexCount = vertices;
      geometry.Layout =
          gx::TGXRef<gx::TGXDeviceVertexDeclaration>(Layout(TRRPanelDrawServices::LayoutSpecial));
      geometry.Buffers = {gx::TGXRef<gx::TGXDeviceVertexBuffer>(FSurface->VertexBuffer())};
      geometry.Strides = {sizeof(TRRPanelVertex)};
      special.VertexGeometry = std::move(geometry);
      special.IndexGeometry = indices;
      queue->Add(&special, 0, distance);
    } else {
      for (int k = 0; k < FSurface->PackCount(); ++k) {
        TRRPanelTexturePack& pack = FSurface->Pack(k);
        gx::TGXVertexGeometry geometry;
        geometry.VertexCount = vertices;
        geometry.Layout =
            gx::TGXRef<gx::TGXDeviceVertexDeclaration>(Layout(TRRPanelDrawServices::LayoutSurface));
        geometry.Buffers = {gx::TGXRef<gx::TGXDeviceVertexBuffer>(FSurface->VertexBuffer()),
                            pack.WeightBuffer().Buffer};
        geometry.Strides = {sizeof(TRRPanelVertex), 4};
        pack.VertexGeometry = std::move(geometry);
        pack.IndexGeometry = indices;
        queue->Add(&pack, static_cast<float>(k + 1), distance);
      }
    }
  }
  FBase->UpdateBuffers(device);
  gx::TGXVertexGeometry geometry;
  geometry.VertexCount = static_cast<uint32_t>(FBase->Vertices().size());
  geometry.Layout = gx::TGXRef<gx::TGXDeviceVertexDeclaration>(Layout(TRRPanelDrawServices::LayoutBase));
  geometry.Buffers = {FBase->VertexBuffer()};
  geometry.Strides = {sizeof(TRRPanelBaseVertex)};
  FBase->VertexGeometry = std::move(geometry);
  gx::TGXIndexGeometry indices;
  indices.FirstIndex = FBase->FirstDrawnIndex();
  indices.IndexCount = static_cast<uint32_t>(FBase->Indices().size()) - FBase->FirstDrawnIndex();
  indices.Buffer = FBase->IndexBuffer();
  FBase->IndexGeometry = indices;
  queue->Add(FBase.get(), 0, distance);
}

void TRRPanelSegment::OnDeviceLost() {
  FSurface->ReleaseVertexBuffers();
  FBase->ReleaseVertexBuffers();
}

}  // namespace rr
