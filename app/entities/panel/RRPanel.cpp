#include "app/entities/panel/RRPanel.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>

#include "app/RRModelServices.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/panel/RRPanelSegment.h"
#include "engine/core/GXException.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

[[noreturn]] void InvalidDescription(const char* operation, const std::string& reason = {}) {
  gx::TGXExceptionArgs args{gx::TGXExceptionArg::Object("TRRPanel"), gx::TGXExceptionArg(operation),
                            gx::TGXExceptionArg(RRTextInvalidDescription)};
  if (!reason.empty()) args.push_back(gx::TGXExceptionArg(reason));
  throw gx::EGXException(std::move(args));
}

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
  const size_t n = out.size();
  out.resize(n + 4);
  PutU32(out.data() + n, v);
}
void AppendSingle(std::vector<uint8_t>& out, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  AppendU32(out, v);
}

// Rounds num / den (den > 0) to the nearest integer, halves to the even neighbour.
uint32_t DivRoundHalfEven(uint64_t num, uint64_t den) {
  uint64_t q = num / den, r = num % den;
  if (2 * r > den || (2 * r == den && (q & 1))) ++q;
  return static_cast<uint32_t>(q);
}

float FiniteOrZero(float h) { return std::isfinite(h) ? h : 0.0f; }

}  // namespace

// ---- shape record ----

std::array<uint8_t, TRRPanelParams::Size> TRRPanelParams::ToBytes() const {
  std::array<uint8_t, Size> b{};
  b[0] = Shape;
  const uint32_t values[7] = {A, B, C, D, E, F, QuadWidth};
  for (int i = 0; i < 7; ++i) PutU32(b.data() + 4 + 4 * i, values[i]);
  uint32_t t;
  std::memcpy(&t, &Thickness, 4);
  PutU32(b.data() + 32, t);
  return b;
}

TRRPanelParams TRRPanelParams::FromBytes(std::span<const uint8_t, Size> b) {
  TRRPanelParams p;
  p.Shape = b[0];
  uint32_t* fields[7] = {&p.A, &p.B, &p.C, &p.D, &p.E, &p.F, &p.QuadWidth};
  for (int i = 0; i < 7; ++i) *fields[i] = GetU32(b.data() + 4 + 4 * i);
  const uint32_t t = GetU32(b.data() + 32);
  std::memcpy(&p.Thickness, &t, 4);
  return p;
}

void TRRPanelParams::WriteToStream(gx::TGXStream& s) const {
  const auto b = ToBytes();
  s.WriteBuffer(b.data(), Size);
}

void TRRPanelParams::ReadFromStream(gx::TGXStream& s) {
  std::array<uint8_t, Size> b;
  s.ReadBuffer(b.data(), Size);
  *this = FromBytes(b);
}

bool RRCheckPanelParams(const TRRPanelParams& p, std::string* reason) {
  auto fail = [&](const char* text) {
    if (reason) *reason = text;
    return false;
  };
  if (p.Shape > 3) return true;
  if (p.QuadWidth == 0) return fail("grid spacing 0");
  const uint32_t dims[6] = {p.A, p.B, p.C, p.D, p.E, p.F};
  for (uint32_t d : dims) {
    if (d > RRPanelMaxDimension) return fail("dimension above the cap");
    if (d % p.QuadWidth != 0) return fail("dimension not a multiple of the grid");
  }
  if (!std::isfinite(p.Thickness) || p.Thickness < RRPanelMinThickness || p.Thickness > RRPanelMaxThickness)
    return fail("thickness outside 0.1 ... 100");
  if (p.Shape >= 1) {
    if (p.C > p.A) return fail("C above A");
    if (p.D > p.B) return fail("D above B");
  }
  if (p.Shape == 3) {
    if (p.E > p.A) return fail("E above A");
    if (p.F / p.QuadWidth < (p.B - p.D) / p.QuadWidth) return fail("F below the body");
  }
  uint64_t points = 0;
  for (const TRRPanelPartitionShape& s : RRPanelPartitionShapes(p)) points += s.PointCount();
  if (points > RRPanelMaxGridPoints) return fail("too many grid points");
  return true;
}

std::vector<TRRPanelPartitionShape> RRPanelPartitionShapes(const TRRPanelParams& p) {
  std::vector<TRRPanelPartitionShape> out;
  if (p.Shape > 3 || p.QuadWidth == 0) return out;
  const uint32_t q = p.QuadWidth;
  const uint32_t g = p.A / q, h = p.B / q, m = p.C / q, e = p.E / q, f = p.F / q;
  const uint32_t l = p.D / q > h ? 0 : h - p.D / q;
  auto make = [](uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
    TRRPanelPartitionShape s;
    s.X0 = x0, s.Y0 = y0, s.X1 = x1, s.Y1 = y1;
    auto edge = [](int32_t sx, int32_t sy, int32_t ex, int32_t ey) {
      TRRPanelEdge ed;
      ed.Exterior = 1;
      ed.StartX = sx, ed.StartY = sy, ed.EndX = ex, ed.EndY = ey;
      return ed;
    };
    const int32_t X0 = int32_t(x0), Y0 = int32_t(y0), X1 = int32_t(x1), Y1 = int32_t(y1);
    s.Edges[RRPanelEdgeFront] = edge(X0, Y0, X1, Y0);
    s.Edges[RRPanelEdgeLeft] = edge(X0, Y0, X0, Y1);
    s.Edges[RRPanelEdgeRight] = edge(X1, Y0, X1, Y1);
    s.Edges[RRPanelEdgeBack] = edge(X0, Y1, X1, Y1);
    return s;
  };
  if (p.Shape == 0) {
    out.push_back(make(0, 0, g, h));
    return out;
  }
  out.reserve(3);
  out.push_back(make(0, 0, g, l));
  TRRPanelEdge& back = out[0].Edges[RRPanelEdgeBack];  // out never reallocates (reserved)
  const uint32_t mm = std::min(m, g), ee = std::min(e, g);
  if (p.Shape == 1) {
    out.push_back(make(0, l, mm, h));
    back.StartX = int32_t(mm);
  } else if (p.Shape == 2) {
    out.push_back(make(g - mm, l, g, h));
    back.EndX = int32_t(g - mm);
  } else {
    out.push_back(make(0, l, mm, h));
    out.push_back(make(g - ee, l, g, std::max(f, l)));
    back.StartX = int32_t(mm);
    back.EndX = int32_t(g - ee);
  }
  if (back.StartX >= back.EndX) back.Exterior = 0;
  for (size_t k = 1; k < out.size(); ++k) out[k].Edges[RRPanelEdgeFront].Exterior = 0;
  return out;
}

uint64_t RRPanelMinGridDataSize(const TRRPanelParams& params) {
  uint64_t points = 0;
  for (const TRRPanelPartitionShape& s : RRPanelPartitionShapes(params)) points += s.PointCount();
  return points * 8;
}

// ---- grid data ----

std::vector<uint8_t> TRRPanelGrid::Encode() const {
  std::vector<uint8_t> out;
  size_t size = 0;
  for (size_t k = 0; k < Partitions.size(); ++k) size += Heights[k].size() * 8 + Layers[k].size() * 4;
  out.reserve(size);
  for (size_t k = 0; k < Partitions.size(); ++k) {
    for (float h : Heights[k]) AppendSingle(out, h);
    const std::vector<uint32_t>& start = LayerStart[k];
    for (size_t i = 0; i + 1 < start.size(); ++i) {
      AppendU32(out, start[i + 1] - start[i]);
      for (uint32_t j = start[i]; j < start[i + 1]; ++j) AppendU32(out, Layers[k][j]);
    }
  }
  return out;
}

std::shared_ptr<const TRRPanelGrid> TRRPanelGrid::Decode(const TRRPanelParams& params,
                                                         std::span<const uint8_t> bytes) {
  auto grid = std::make_shared<TRRPanelGrid>();
  grid->Partitions = RRPanelPartitionShapes(params);
  size_t pos = 0;
  auto remaining = [&]() { return bytes.size() - pos; };
  for (const TRRPanelPartitionShape& s : grid->Partitions) {
    const uint64_t n = s.PointCount();
    if (n * 8 > remaining()) InvalidDescription("LoadFromDesc", "grid data too short");
    std::vector<float> heights(n);
    for (uint64_t i = 0; i < n; ++i, pos += 4) {
      const uint32_t v = GetU32(bytes.data() + pos);
      std::memcpy(&heights[i], &v, 4);
    }
    std::vector<uint32_t> start(n + 1);
    std::vector<uint32_t> layers;
    for (uint64_t i = 0; i < n; ++i) {
      if (remaining() < 4) InvalidDescription("LoadFromDesc", "grid data too short");
      const uint32_t count = GetU32(bytes.data() + pos);
      pos += 4;
      // What remains must also hold the counts of the points still to come.
      if (uint64_t(count) * 4 + (n - i - 1) * 4 > remaining())
        InvalidDescription("LoadFromDesc", "layer count");
      start[i] = static_cast<uint32_t>(layers.size());
      for (uint32_t j = 0; j < count; ++j, pos += 4) layers.push_back(GetU32(bytes.data() + pos));
    }
    start[n] = static_cast<uint32_t>(layers.size());
    grid->Heights.push_back(std::move(heights));
    grid->LayerStart.push_back(std::move(start));
    grid->Layers.push_back(std::move(layers));
  }
  if (pos != bytes.size()) InvalidDescription("LoadFromDesc", "grid data too long");
  return grid;
}

namespace {

// The blocks of a snapshot by partition and tile. A block that does not fit its tile (place,
// extent or sizes) is left out, so its points read as missing.
struct TRRPanelSnapshotTiles {
  std::vector<TRRPanelPartitionShape> Shapes;
  std::vector<size_t> TilesX;
  std::vector<std::vector<const TRRPanelSnapshotBlock*>> Tiles;

  TRRPanelSnapshotTiles(std::vector<TRRPanelPartitionShape> shapes, const TRRPanelSnapshot& snap)
      : Shapes(std::move(shapes)) {
    constexpr uint32_t B = RRPanelSnapshotBlockSize;
    for (const TRRPanelPartitionShape& s : Shapes) {
      TilesX.push_back((s.X1 - s.X0) / B + 1);
      Tiles.emplace_back(TilesX.back() * ((s.Y1 - s.Y0) / B + 1), nullptr);
    }
    for (const auto& p : snap.Blocks) {
      if (!p || p->Partition >= Shapes.size()) continue;
      const TRRPanelSnapshotBlock& b = *p;
      const TRRPanelPartitionShape& s = Shapes[b.Partition];
      if (!s.Contains(b.X0, b.Y0) || (b.X0 - s.X0) % B || (b.Y0 - s.Y0) % B) continue;
      if (b.X1 != std::min(s.X1, b.X0 + B - 1) || b.Y1 != std::min(s.Y1, b.Y0 + B - 1)) continue;
      const size_t n = size_t(b.X1 - b.X0 + 1) * (b.Y1 - b.Y0 + 1);
      if (b.Heights.size() != n || b.LayerStart.size() != n + 1 || b.LayerStart.back() > b.Layers.size() ||
          !std::is_sorted(b.LayerStart.begin(), b.LayerStart.end()))
        continue;
      Tiles[b.Partition][size_t((b.Y0 - s.Y0) / B) * TilesX[b.Partition] + (b.X0 - s.X0) / B] = &b;
    }
  }

  // The block of the first partition holding the point and the point's index in it (as SaveToDesc
  // samples a point on a shared row); null outside or without a block there.
  const TRRPanelSnapshotBlock* Find(int64_t x, int64_t y, size_t& i) const {
    for (size_t k = 0; k < Shapes.size(); ++k) {
      const TRRPanelPartitionShape& s = Shapes[k];
      if (!s.Contains(x, y)) continue;
      const size_t t = size_t((y - s.Y0) / RRPanelSnapshotBlockSize) * TilesX[k] +
                       size_t((x - s.X0) / RRPanelSnapshotBlockSize);
      const TRRPanelSnapshotBlock* b = Tiles[k][t];
      if (!b) return nullptr;
      i = size_t(y - b->Y0) * (b->X1 - b->X0 + 1) + size_t(x - b->X0);
      return b;
    }
    return nullptr;
  }
};

}  // namespace

std::vector<uint8_t> RRPanelDeflate(std::span<const uint8_t> data) {
  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) throw std::bad_alloc();
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END)
    throw gx::EGXException({gx::TGXExceptionArg::Object("TRRPanel"), "SaveToDesc", "deflate failed"});
  return out;
}

std::vector<uint8_t> RRPanelInflate(std::span<const uint8_t> data, uint64_t maxSize) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
  std::vector<uint8_t> out;
  uint8_t chunk[65536];
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    z.next_out = chunk;
    z.avail_out = sizeof(chunk);
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      inflateEnd(&z);
      InvalidDescription("LoadFromDesc", "corrupt grid data");
    }
    const size_t produced = sizeof(chunk) - z.avail_out;
    if (out.size() + produced > maxSize) {
      inflateEnd(&z);
      InvalidDescription("LoadFromDesc", "grid data too large");
    }
    out.insert(out.end(), chunk, chunk + produced);
    if (rc == Z_OK && produced == 0 && z.avail_in == 0) {
      inflateEnd(&z);
      InvalidDescription("LoadFromDesc", "truncated grid data");
    }
  }
  inflateEnd(&z);
  return out;
}

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRPanelDesc, TRREntityDescription)

namespace {

// Version 1 stored a root-prefixed name; only a leading "Game:\" is a root of the base package.
TRRAssetFileName TextureNameFromVersion1(const std::string& stored) {
  std::string relative = stored;
  if (relative.size() >= 6 && gx::SameText(relative.substr(0, 6), RRGameRoot)) relative = relative.substr(6);
  if (relative.size() > 260) relative.resize(260);
  const size_t slash = relative.find_last_of('\\');
  return TRRAssetFileName(slash == std::string::npos ? relative : relative.substr(slash + 1), relative);
}

std::string FilePart(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void TRRPanelDesc::LoadFromStream(gx::TGXStream& s) {
  TRREntityDescription::LoadFromStream(s);
  const int32_t version = gx::ReadInteger(s);
  if (version < 1 || version > RRPanelDescVersion) throw EUnknownEntityDescription();
  TRRPanelParams params;
  params.ReadFromStream(s);
  const int32_t size = gx::ReadCount(s, 1);
  std::vector<uint8_t> data(static_cast<size_t>(size));
  if (size > 0) s.ReadBuffer(data.data(), size);
  // Each texture takes at least 8 bytes (version 2: two empty strings and the scale; version 1:
  // an empty wide string and the scale).
  const int32_t count = gx::ReadCount(s, 8);
  if (count > RRPanelMaxTextures) throw gx::EGXStreamReadError("texture count");
  TRRPanelTextureDescArray textures(static_cast<size_t>(count));
  for (TRRPanelTextureDesc& t : textures) {
    if (version >= 2)
      t.FileName.ReadFromStream(s);
    else
      t.FileName = TextureNameFromVersion1(gx::ReadWideString(s));
    t.Scale = gx::ReadSingle(s);
    if (!std::isfinite(t.Scale)) t.Scale = RRPanelDefaultTextureScale;
  }
  const bool transparent = gx::ReadByte(s) != 0;
  FParams = params;
  SetData(std::move(data));
  FTextures = std::move(textures);
  FTransparent = transparent;
}

void TRRPanelDesc::SaveToStream(gx::TGXStream& s) const {
  TRREntityDescription::SaveToStream(s);
  gx::WriteInteger(s, RRPanelDescVersion);
  FParams.WriteToStream(s);
  const std::vector<uint8_t>& data = Data();
  gx::WriteInteger(s, static_cast<int32_t>(data.size()));
  if (!data.empty()) s.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  gx::WriteInteger(s, static_cast<int32_t>(FTextures.size()));
  for (const TRRPanelTextureDesc& t : FTextures) {
    t.FileName.WriteToStream(s);
    gx::WriteSingle(s, t.Scale);
  }
  gx::WriteByte(s, FTransparent ? 1 : 0);
}

void TRRPanelDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRREntityDescription::GetPropertyAccess(list);
  for (TRRPanelTextureDesc& t : FTextures) list.Add<TRRAssetFileNameAccess>(t.FileName);
}

void TRRPanelDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRREntityDescription::LoadFromPropertyBag(bag, modelFileName);
  std::vector<uint8_t> params;
  if (!bag.GetMemory("PanelParams", params) || params.size() != TRRPanelParams::Size)
    throw gx::EGXException(
        {gx::TGXExceptionArg::Object("TRRPanelDesc"), "LoadFromOldDescription", RRTextInvalidDescription});
  FParams =
      TRRPanelParams::FromBytes(std::span<const uint8_t, TRRPanelParams::Size>(params.data(), params.size()));
  std::vector<uint8_t> data;
  if (bag.GetMemory("PanelData", data)) SetData(std::move(data));
  int32_t count = 0;
  if (bag.GetInteger("TextureCount", count)) {
    // Only as many entries as the bag can name (each needs a property) and never above the cap.
    count = std::clamp<int32_t>(count, 0,
                                std::min<int32_t>(RRPanelMaxTextures, int32_t(bag.Properties().size())));
    FTextures.assign(static_cast<size_t>(count), TRRPanelTextureDesc{{}, 0.0f});
    for (int32_t j = 0; j < count; ++j) {
      std::string file;
      TRRPanelTextureDesc& t = FTextures[static_cast<size_t>(j)];
      if (bag.GetFilename("TextureName" + std::to_string(j), file)) {
        std::string name = FilePart(file);
        std::string lower = name;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (lower.find("moos") != std::string::npos) name = "Fels mit Moos.dds";
        t.FileName = TRRAssetFileName(name, std::string(RRPanelTextureFolder) + name);
      }
      float scale;
      if (bag.GetSingle("TextureScale" + std::to_string(j), scale) && std::isfinite(scale)) t.Scale = scale;
    }
  }
  bool transparent;
  if (bag.GetBoolean("Transparent", transparent)) FTransparent = transparent;
}

const std::vector<uint8_t>& TRRPanelDesc::Data() const {
  if (!FDataValid) {
    if (FGrid)
      FData = RRPanelDeflate(FGrid->Encode());
    else if (FSnapshot)
      FData = RRPanelDeflate(RRPanelGridFromSnapshot(*FSnapshot)->Encode());  // the flat grid is not kept
    else
      FData.clear();
    FDataValid = true;
  }
  return FData;
}

void TRRPanelDesc::SetData(std::vector<uint8_t> data) {
  FData = std::move(data);
  FDataValid = true;
  FGrid.reset();
  FSnapshot.reset();
}

std::shared_ptr<const TRRPanelGrid> TRRPanelDesc::Grid() const {
  if (!FGrid && FSnapshot) FGrid = RRPanelGridFromSnapshot(*FSnapshot);
  return FGrid;
}

void TRRPanelDesc::SetGrid(std::shared_ptr<const TRRPanelGrid> grid) {
  FGrid = std::move(grid);
  FSnapshot.reset();
  FData.clear();
  FDataValid = !FGrid;
}

void TRRPanelDesc::SetSnapshot(std::shared_ptr<const TRRPanelSnapshot> snapshot) {
  FSnapshot = std::move(snapshot);
  FGrid.reset();
  FData.clear();
  FDataValid = !FSnapshot;
}

std::unique_ptr<TRRPanelDesc> RRDefaultPanelDesc() { return std::make_unique<TRRPanelDesc>(); }

// ---- snapshots ----

size_t TRRPanelSnapshotBlock::MemorySize() const {
  return sizeof(*this) + Heights.capacity() * 4 + LayerStart.capacity() * 4 + Layers.capacity() * 4;
}

size_t TRRPanelSnapshot::MemorySize() const {
  size_t n = sizeof(*this) + Blocks.capacity() * sizeof(Blocks[0]);
  for (const auto& b : Blocks) n += b->MemorySize();
  for (const auto& t : Textures) n += sizeof(t) + t.FileName.FileName.size() + t.FileName.RelativeName.size();
  return n;
}

// ---- the panel ----

RR_DEFINE_ENTITY_CLASS(TRRPanel, TRREntity)

void TRRPanel::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindPanel), StaticClass(), TRRPanelDesc::StaticClass());
}

TRRPanel::TPlane& TRRPanel::TPart::PlaneFor(int texture, size_t points) {
  if (size_t(texture) >= PlaneOf.size()) PlaneOf.resize(size_t(texture) + 1, -1);
  int32_t& slot = PlaneOf[size_t(texture)];
  if (slot < 0) {
    slot = static_cast<int32_t>(Planes.size());
    Planes.push_back(TPlane{texture, std::vector<uint8_t>(points, 0)});
  }
  return Planes[size_t(slot)];
}

uint8_t TRRPanel::TPart::Weight(int texture, size_t i) const {
  if (texture < 0 || size_t(texture) >= PlaneOf.size() || PlaneOf[size_t(texture)] < 0) return 0;
  return Planes[size_t(PlaneOf[size_t(texture)])].Weights[i];
}

TRRPanel::TRRPanel(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRREntity(parent, manager, description) {
  if (const TRRModelServices* services = TRRModelServices::Get(); services && services->Resources) {
    for (const char* file : RRPanelEffectFiles) {
      try {
        gx::IGXEffect effect = services->Resources->Get<gx::TGXEffect>(file);
        if (effect->IsUnloaded()) {
          effect->SetDataLoader(services->MakeLoader(TRRAssetFileName(file)));
          effect->Load();
        }
        FEffects.push_back(effect);
      } catch (...) {
        // Without the effect factory (commands that do not draw) or the file there is nothing to
        // keep; the packs report what they cannot draw.
      }
    }
  }
  const auto* desc = dynamic_cast<const TRRPanelDesc*>(&description);
  if (desc) {
    LoadFromDesc(*desc);
  } else {
    const std::unique_ptr<TRRPanelDesc> d = RRDefaultPanelDesc();
    LoadFromDesc(*d);
  }
}

TRRPanel::~TRRPanel() {
  BeginDestruction();
  FreeNodes();
}

std::unique_ptr<TRREntityDescription> TRRPanel::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRREntity::CreateDescription();
  if (auto* d = dynamic_cast<TRRPanelDesc*>(base.get())) SaveToDesc(*d, FParams);
  return base;
}

void TRRPanel::UpdateView(bool technicalView) { FTechnicalView = technicalView; }

// ---- building ----

void TRRPanel::FreeNodes() {
  ++FNodeGeneration;
  for (TRRPanelPartition* p : FPartitions) {
    RemoveChild(p);
    delete p;
  }
  FPartitions.clear();
}

void TRRPanel::Clear() {
  FreeNodes();
  FParts.clear();
  FShapes.clear();
  FTextures.clear();
  FDefaultTexture.Reset();
  MarkAllTouched();
}

int TRRPanel::AddTextureTo(std::vector<std::unique_ptr<TRRPanelTexture>>& list,
                           const TRRAssetFileName& fileName, float scale) {
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i]->FileName.SameFile(fileName)) return static_cast<int>(i);
  if (list.size() >= size_t(RRPanelMaxTextures)) return RRPanelDefaultTextureIndex;
  auto t = std::make_unique<TRRPanelTexture>();
  t->FileName = fileName;
  t->Scale = std::isfinite(scale) ? scale : RRPanelDefaultTextureScale;
  list.push_back(std::move(t));
  return static_cast<int>(list.size() - 1);
}

void TRRPanel::RaiseWeight(std::vector<TPart>& parts, int texture, int64_t x, int64_t y, bool normalise,
                           int weight) {
  const uint8_t a = static_cast<uint8_t>(std::clamp(weight, 0, 255));
  for (TPart& part : parts) {
    if (!part.Shape.Contains(x, y)) continue;
    const size_t i = part.Index(x, y);
    TPlane& plane = part.PlaneFor(texture, part.Heights.size());
    if (plane.Weights[i] >= a) continue;
    uint32_t sum = 0;
    if (normalise)
      for (const TPlane& other : part.Planes)
        if (&other != &plane) sum += other.Weights[i];
    plane.Weights[i] = a;
    if (normalise && sum > 0)
      for (TPlane& other : part.Planes)
        if (&other != &plane && other.Weights[i])
          other.Weights[i] =
              static_cast<uint8_t>(DivRoundHalfEven(uint64_t(other.Weights[i]) * (255 - a), sum));
  }
}

TRRPanel::TBuilt TRRPanel::Prepare(const TRRPanelParams& params, const TRRPanelTextureDescArray& textures,
                                   const TRRPanelGrid* grid, const TRRPanelSnapshot* snapshot,
                                   const std::vector<uint8_t>* data, bool transparent) {
  std::string reason;
  if (!RRCheckPanelParams(params, &reason)) InvalidDescription("LoadFromDesc", reason);
  if (textures.size() > size_t(RRPanelMaxTextures)) InvalidDescription("LoadFromDesc", "too many textures");
  TBuilt b;
  b.Params = params;
  b.Transparent = transparent;
  std::vector<int> map(textures.size());
  for (size_t j = 0; j < textures.size(); ++j)
    map[j] = AddTextureTo(b.Textures, textures[j].FileName, textures[j].Scale);
  for (int k = 0; k < RRPanelBuiltInTextureCount; ++k)
    AddTextureTo(b.Textures, RRPanelBuiltInTexture(k), RRPanelDefaultTextureScale);
  const std::vector<TRRPanelPartitionShape> shapes = RRPanelPartitionShapes(params);
  uint64_t points = 0;
  for (const TRRPanelPartitionShape& s : shapes) {
    TPart part;
    part.Shape = s;
    part.Heights.assign(s.PointCount(), 0.0f);
    points += s.PointCount();
    b.Parts.push_back(std::move(part));
  }
  std::shared_ptr<const TRRPanelGrid> decoded;
  std::optional<TRRPanelSnapshotTiles> tiles;
  if (!grid && snapshot) {
    if (!(snapshot->Params == params)) InvalidDescription("LoadFromDesc", "grid of another shape");
    tiles.emplace(shapes, *snapshot);
  } else if (!grid && data && !data->empty()) {
    if (params.Shape > 3) {
      b.StoredData = *data;  // nothing to build; written back as it was
    } else {
      // Heights and counts take 8 bytes per point and a layer 4. A point holds at most one layer
      // per listed texture, so a small, richly painted board may need more than a large one;
      // the layers of large boards are bounded at 1 GiB (or 16 per point) against bombs.
      const uint64_t layers = std::min<uint64_t>(b.Textures.size(), 255);
      const uint64_t layerBytes =
          std::min<uint64_t>(points * 4 * layers, std::max<uint64_t>(points * 4 * 16, uint64_t(1) << 30));
      const uint64_t maxSize = points * 8 + layerBytes + 64;
      const std::vector<uint8_t> raw = RRPanelInflate(*data, maxSize);
      decoded = TRRPanelGrid::Decode(params, raw);
      grid = decoded.get();
    }
  }
  if (grid && grid->Partitions.size() != shapes.size())
    InvalidDescription("LoadFromDesc", "grid of another shape");
  if (grid) {
    for (size_t k = 0; k < shapes.size(); ++k)
      if (grid->Heights[k].size() != shapes[k].PointCount() ||
          grid->LayerStart[k].size() != shapes[k].PointCount() + 1)
        InvalidDescription("LoadFromDesc", "grid of another shape");
  }
  const int listCount = static_cast<int>(b.Textures.size());
  if (!grid && !tiles) {
    for (TPart& part : b.Parts) {
      TPlane& plane = part.PlaneFor(RRPanelDefaultTextureIndex, part.Heights.size());
      std::fill(plane.Weights.begin(), plane.Weights.end(), uint8_t(255));
    }
    return b;
  }
  for (size_t k = 0; k < shapes.size(); ++k) {
    const TRRPanelPartitionShape& s = shapes[k];
    size_t i = 0;
    for (int64_t y = s.Y0; y <= s.Y1; ++y) {
      for (int64_t x = s.X0; x <= s.X1; ++x, ++i) {
        // The point's height and layers from the grid or straight from the snapshot's blocks (a
        // point without a block: height 0, no layers).
        float pointHeight = 0.0f;
        const uint32_t* values = nullptr;
        size_t valueCount = 0;
        if (grid) {
          const std::vector<uint32_t>& start = grid->LayerStart[k];
          pointHeight = grid->Heights[k][i];
          values = grid->Layers[k].data() + start[i];
          valueCount = start[i + 1] - start[i];
        } else {
          size_t bi = 0;
          if (const TRRPanelSnapshotBlock* block = tiles->Find(x, y, bi)) {
            pointHeight = block->Heights[bi];
            values = block->Layers.data() + block->LayerStart[bi];
            valueCount = block->LayerStart[bi + 1] - block->LayerStart[bi];
          }
        }
        const float h = FiniteOrZero(pointHeight);
        for (TPart& part : b.Parts)
          if (part.Shape.Contains(x, y)) part.Heights[part.Index(x, y)] = h;
        // A point on a shared row takes its layers from the first partition holding it.
        bool earlier = false;
        for (size_t j = 0; j < k; ++j) earlier = earlier || shapes[j].Contains(x, y);
        if (earlier) continue;
        if (valueCount == 0) {
          RaiseWeight(b.Parts, RRPanelDefaultTextureIndex, x, y, true, 255);
          continue;
        }
        for (size_t j = 0; j < valueCount; ++j) {
          const uint32_t v = values[j];
          int weight = static_cast<int>(std::min<uint32_t>(v & 0xFFFF, 255));
          if (weight == 0) continue;
          const uint32_t stored = v >> 16;
          int t = stored < map.size() ? map[stored] : static_cast<int>(stored);
          if (t >= listCount) {
            t = RRPanelDefaultTextureIndex;
            uint8_t have = 0;
            for (const TPart& part : b.Parts)
              if (part.Shape.Contains(x, y)) {
                have = part.Weight(t, part.Index(x, y));
                break;
              }
            weight = std::min(255, weight + have);
          }
          RaiseWeight(b.Parts, t, x, y, false, weight);
        }
      }
    }
  }
  return b;
}

void TRRPanel::Swap(TBuilt&& b) {
  Clear();
  FParams = b.Params;
  FShapes.clear();
  for (const TPart& p : b.Parts) FShapes.push_back(p.Shape);
  FParts = std::move(b.Parts);
  FTextures = std::move(b.Textures);
  FStoredData = std::move(b.StoredData);
  FTransparent = b.Transparent;
  for (int i = 0; i < TextureCount(); ++i) {
    int index = i;
    ValidateTexture(index);
  }
  const int wood = AddTexture(RRPanelDefaultTexture(), RRPanelDefaultTextureScale);
  FDefaultTexture = FTextures[size_t(wood)]->Texture;
  BuildNodes();
  ++FEditCounter;
  FLastSnapshot.reset();
  FBlockTouched.assign(BlockCount(), 1);
}

void TRRPanel::BuildNodes() {
  FreeNodes();
  TRRPanelObjectCreation creation;
  creation.QuadWidth = static_cast<int32_t>(FParams.QuadWidth);
  creation.DefaultTexture = FDefaultTexture;
  creation.DefaultTextureName =
      FDefaultTexture ? FDefaultTexture->GetName().Text() : RRPanelDefaultTexture().EffectiveFileName();
  creation.Thickness = FParams.Thickness;
  creation.VertexNormal = [this](uint32_t x, uint32_t y) { return VertexNormal(x, y); };
  creation.TechnicalView = &FTechnicalView;
  creation.Services = RRPanelEngineDrawServices();
  const float q = static_cast<float>(FParams.QuadWidth);
  float maxX = 0, maxY = 0;
  for (const TPart& part : FParts) {
    const TRRPanelPartitionShape& s = part.Shape;
    creation.X0 = s.X0, creation.Y0 = s.Y0, creation.X1 = s.X1, creation.Y1 = s.Y1;
    for (int e = 0; e < 4; ++e) creation.Edges[e] = s.Edges[e];
    auto node = std::make_unique<TRRPanelPartition>(creation, true);
    node->SetPosition({float(s.X0) * q, 0.0f, -float(s.Y0) * q});
    TRRPanelPartition* p = AddChild(std::move(node));
    FPartitions.push_back(p);
    maxX = std::max(maxX, float(s.X1) * q);
    maxY = std::max(maxY, float(s.Y1) * q);
  }
  // Fill the drawing tree from the panel's grid: the segments are fresh, so raising each
  // texture's weight from 0 gives exactly the stored weights.
  for (size_t k = 0; k < FParts.size(); ++k) {
    const TPart& part = FParts[k];
    const TRRPanelPartitionShape& s = part.Shape;
    TRRPanelPartition* node = FPartitions[k];
    size_t i = 0;
    for (uint32_t y = s.Y0; y <= s.Y1; ++y)
      for (uint32_t x = s.X0; x <= s.X1; ++x, ++i)
        if (part.Heights[i] != 0.0f) node->SetHeight(x, y, part.Heights[i]);
    for (const TPlane& plane : part.Planes) {
      TRRPanelTexture& entry = *FTextures[size_t(plane.Texture)];
      i = 0;
      for (uint32_t y = s.Y0; y <= s.Y1; ++y)
        for (uint32_t x = s.X0; x <= s.X1; ++x, ++i)
          if (plane.Weights[i]) node->SetWeight(entry, x, y, false, plane.Weights[i]);
    }
    node->SetTransparent(FTransparent);
    node->FinishEdit();
    node->UpdateBounds();
  }
  SetPivot({maxX * 0.5f, 0.0f, -maxY * 0.5f});
}

void TRRPanel::BuildPartitions() { BuildNodes(); }

void TRRPanel::LoadFromDesc(const TRRPanelDesc& desc) {
  // A snapshot's blocks are read directly; the flat grid is only made when asked for.
  const TRRPanelSnapshot* snapshot = desc.Snapshot().get();
  const std::shared_ptr<const TRRPanelGrid> grid = snapshot ? nullptr : desc.Grid();
  TBuilt b = Prepare(desc.Params(), desc.Textures(), grid.get(), snapshot,
                     grid || snapshot ? nullptr : &desc.Data(), desc.Transparent());
  Swap(std::move(b));
}

TRRPanelTextureDescArray TRRPanel::TextureDescs(int removed) const {
  TRRPanelTextureDescArray out;
  out.reserve(FTextures.size());
  for (size_t i = 0; i < FTextures.size(); ++i)
    if (int(i) != removed) out.push_back({FTextures[i]->FileName, FTextures[i]->Scale});
  return out;
}

void TRRPanel::SaveToDesc(TRRPanelDesc& desc, const TRRPanelParams& params) const {
  SaveToDescRemoving(desc, params, -1, -1);
}

void TRRPanel::SaveToDescRemoving(TRRPanelDesc& desc, const TRRPanelParams& params, int removed,
                                  int receiver) const {
  desc.Params() = params;
  desc.SetTransparent(FTransparent);
  desc.Textures() = TextureDescs(removed);
  if (params.Shape > 3 && params == FParams)
    desc.SetData(FStoredData);
  else
    desc.SetGrid(SampleGrid(params, removed, receiver));
}

void TRRPanel::CollectLayers(int64_t x, int64_t y, int removed, int receiver,
                             std::vector<uint32_t>& list) const {
  list.clear();
  const TPart* part = nullptr;
  for (const TPart& p : FParts)
    if (p.Shape.Contains(x, y)) {
      part = &p;
      break;
    }
  if (!part) return;
  const size_t i = part->Index(x, y);
  const uint32_t wr = removed >= 0 ? part->Weight(removed, i) : 0;
  bool removedOccurs = false, receiverOccurs = false;
  auto adjust = [&](int t) { return removed >= 0 && removed < t ? t - 1 : t; };
  for (const TPlane& plane : part->Planes) {
    const int t = plane.Texture;
    if (t == removed) {
      removedOccurs = true;
      continue;
    }
    uint32_t w = plane.Weights[i];
    if (t == receiver) {
      w = std::min<uint32_t>(255, w + wr);
      receiverOccurs = true;
    }
    const int t2 = adjust(t);
    if (t2 >= 0 && w > 0) list.push_back(uint32_t(t2) << 16 | w);
  }
  if (removedOccurs && !receiverOccurs) {
    const int t2 = adjust(receiver);
    if (t2 >= 0 && wr > 0) list.push_back(uint32_t(t2) << 16 | wr);
  }
}

std::shared_ptr<const TRRPanelGrid> TRRPanel::SampleGrid(const TRRPanelParams& params, int removed,
                                                         int receiver) const {
  auto grid = std::make_shared<TRRPanelGrid>();
  grid->Partitions = RRPanelPartitionShapes(params);
  const bool same = params.Shape == FParams.Shape && params.A == FParams.A && params.B == FParams.B &&
                    params.C == FParams.C && params.D == FParams.D && params.E == FParams.E &&
                    params.F == FParams.F && params.QuadWidth == FParams.QuadWidth;
  const int64_t q2 = params.QuadWidth, q = FParams.QuadWidth;
  std::vector<uint32_t> layers;
  for (const TRRPanelPartitionShape& s : grid->Partitions) {
    std::vector<float> heights;
    heights.reserve(s.PointCount());
    std::vector<uint32_t> start;
    start.reserve(s.PointCount() + 1);
    std::vector<uint32_t> values;
    for (int64_t y = s.Y0; y <= s.Y1; ++y) {
      for (int64_t x = s.X0; x <= s.X1; ++x) {
        int64_t gx = x, gy = y;
        if (same) {
          heights.push_back(GetHeight(x, y));
        } else {
          heights.push_back(HeightAt(float(x * q2), -float(y * q2)));
          // The nearest point of the panel's own grid; exactly half a cell goes to the lower one.
          const int64_t X = x * q2, Y = y * q2;
          gx = q > 0 ? X / q + (2 * (X % q) > q ? 1 : 0) : 0;
          gy = q > 0 ? Y / q + (2 * (Y % q) > q ? 1 : 0) : 0;
        }
        start.push_back(static_cast<uint32_t>(values.size()));
        CollectLayers(gx, gy, removed, receiver, layers);
        values.insert(values.end(), layers.begin(), layers.end());
      }
    }
    start.push_back(static_cast<uint32_t>(values.size()));
    grid->Heights.push_back(std::move(heights));
    grid->LayerStart.push_back(std::move(start));
    grid->Layers.push_back(std::move(values));
  }
  return grid;
}

void TRRPanel::SetParams(const TRRPanelParams& params) {
  std::string reason;
  if (!RRCheckPanelParams(params, &reason)) InvalidDescription("SetParams", reason);
  TRRPanelDesc temp;
  SaveToDesc(temp, params);
  LoadFromDesc(temp);
}

// ---- textures ----

int TRRPanel::AddTexture(const TRRAssetFileName& fileName, float scale) {
  const size_t before = FTextures.size();
  const int index = AddTextureTo(FTextures, fileName, scale);
  if (FTextures.size() != before) {
    ++FEditCounter;
    FLastSnapshot.reset();
  }
  return index;
}

void TRRPanel::ValidateTexture(int& index) {
  if (FTextures.empty()) {
    index = 0;
    return;
  }
  index = std::clamp(index, 0, TextureCount() - 1);
  TRRPanelTexture& entry = *FTextures[size_t(index)];
  if (entry.Loaded() || entry.LoadTried) return;
  const TRRModelServices* services = TRRModelServices::Get();
  if (!services || !services->Resources) return;
  if (!services->CanMake(gx::IID_IGXTexture)) return;
  entry.LoadTried = true;
  try {
    gx::IGXTexture texture = services->Resources->Get<gx::TGXTexture>(entry.FileName.EffectiveFileName());
    if (texture->IsUnloaded()) {
      texture->SetDataLoader(services->MakeLoader(entry.FileName));
      texture->Load();
    }
    if (texture->IsLoaded())
      entry.Texture = texture;
    else
      services->Report(entry.FileName, nullptr);
  } catch (...) {
    services->Report(entry.FileName, std::current_exception());
  }
}

void TRRPanel::RemoveTexture(int index) {
  if (index < 0 || index >= TextureCount()) return;
  const int receiver = AddTexture(RRPanelDefaultTexture(), RRPanelDefaultTextureScale);
  if (index == receiver) return;
  TRRPanelDesc temp;
  SaveToDescRemoving(temp, FParams, index, receiver);
  LoadFromDesc(temp);
}

void TRRPanel::ReplaceTexture(int index, int byIndex) {
  if (index == byIndex || index < 0 || byIndex < 0 || index >= TextureCount() || byIndex >= TextureCount())
    return;
  const TRRPanelTexture copy = GetTexture(index);
  TRRPanelDesc temp;
  SaveToDescRemoving(temp, FParams, index, byIndex);
  LoadFromDesc(temp);
  AddTexture(copy.FileName, copy.Scale);
}

void TRRPanel::SetTextureScale(int index, float scale) {
  if (index < 0 || index >= TextureCount() || !std::isfinite(scale)) return;
  FTextures[size_t(index)]->Scale = scale;
  ++FEditCounter;
  FLastSnapshot.reset();
}

TRRPanelTexture TRRPanel::GetTexture(int index) {
  ValidateTexture(index);
  return *FTextures.at(size_t(index));
}

int TRRPanel::IndexOfTexture(const gx::TGXTexture* texture) const {
  if (!texture) return -1;
  for (size_t i = 0; i < FTextures.size(); ++i)
    if (FTextures[i]->Texture.Get() == texture) return static_cast<int>(i);
  return -1;
}

// ---- heights and weights ----

void TRRPanel::SetHeight(int64_t x, int64_t y, float height) {
  height = FiniteOrZero(height);
  bool any = false;
  for (size_t k = 0; k < FParts.size(); ++k) {
    TPart& part = FParts[k];
    if (!part.Shape.Contains(x, y)) continue;
    part.Heights[part.Index(x, y)] = height;
    if (k < FPartitions.size()) FPartitions[k]->SetHeight(uint32_t(x), uint32_t(y), height);
    any = true;
  }
  if (any) {
    ++FEditCounter;
    MarkTouched(x, y);
  }
}

float TRRPanel::TryGetHeight(int64_t x, int64_t y, bool& found) const {
  for (const TPart& part : FParts)
    if (part.Shape.Contains(x, y)) {
      found = true;
      return part.Heights[part.Index(x, y)];
    }
  found = false;
  return 0;
}

float TRRPanel::GetHeight(int64_t x, int64_t y) const {
  bool found;
  return TryGetHeight(x, y, found);
}

float TRRPanel::HeightAt(float x, float z) const {
  if (FParams.QuadWidth == 0) return 0;
  const float grid = static_cast<float>(FParams.QuadWidth);
  const float u = x / grid, v = -z / grid;
  if (!std::isfinite(u) || !std::isfinite(v) || std::fabs(u) > 1e9f || std::fabs(v) > 1e9f) return 0;
  const float tu = std::trunc(u), tv = std::trunc(v);
  const int64_t gx = static_cast<int64_t>(tu), gy = static_cast<int64_t>(tv);
  const float fx = u - tu, fy = v - tv;
  const float h00 = GetHeight(gx, gy), h10 = GetHeight(gx + 1, gy);
  const float h01 = GetHeight(gx, gy + 1), h11 = GetHeight(gx + 1, gy + 1);
  const float a = h00 + (h10 - h00) * fx;
  const float b = h01 + (h11 - h01) * fx;
  return a + (b - a) * fy;
}

void TRRPanel::SetTextureWeight(int texture, int64_t x, bool normalise, int weight, int64_t y) {
  weight = std::clamp(weight, 0, 255);
  int v = texture;
  if (v < 0 || v >= TextureCount()) {
    // Only indices outside the list go to the default texture; an entry whose file is missing
    // keeps its own weights.
    v = RRPanelDefaultTextureIndex;
    if (!normalise) weight = std::min(255, weight + GetTextureWeight(v, x, y));
  }
  if (FTextures.empty()) return;
  ValidateTexture(v);
  bool any = false;
  for (size_t k = 0; k < FParts.size(); ++k) {
    if (!FParts[k].Shape.Contains(x, y)) continue;
    any = true;
    if (k < FPartitions.size())
      FPartitions[k]->SetWeight(*FTextures[size_t(v)], uint32_t(x), uint32_t(y), normalise, uint8_t(weight));
  }
  if (!any) return;
  RaiseWeight(FParts, v, x, y, normalise, weight);
  ++FEditCounter;
  MarkTouched(x, y);
}

int TRRPanel::GetTextureWeight(int texture, int64_t x, int64_t y) {
  if (texture < 0 || texture >= TextureCount()) texture = RRPanelDefaultTextureIndex;
  for (const TPart& part : FParts) {
    if (!part.Shape.Contains(x, y)) continue;
    const uint8_t w = part.Weight(texture, part.Index(x, y));
    if (w) return w;
  }
  return 0;
}

void TRRPanel::FillTexture(int texture, int weight) {
  for (const TRRPanelPartitionShape& s : FShapes)
    for (int64_t y = s.Y0; y <= s.Y1; ++y)
      for (int64_t x = s.X0; x <= s.X1; ++x) SetTextureWeight(texture, x, true, weight, y);
}

void TRRPanel::GetTextureLayers(float x, float z, std::vector<uint32_t>& list) const {
  list.clear();
  if (FParams.QuadWidth == 0) return;
  const float grid = static_cast<float>(FParams.QuadWidth);
  auto nearest = [](float u) -> int64_t {
    if (!std::isfinite(u) || std::fabs(u) > 1e9f) return -1;
    const float t = std::trunc(u);
    return static_cast<int64_t>(t) + (u - t > 0.5f ? 1 : 0);
  };
  CollectLayers(nearest(x / grid), nearest(-z / grid), -1, -1, list);
}

void TRRPanel::GetPointLayers(int64_t x, int64_t y, std::vector<uint32_t>& list) const {
  CollectLayers(x, y, -1, -1, list);
}

void TRRPanel::ResetHeights() {
  for (size_t k = 0; k < FParts.size(); ++k) {
    TPart& part = FParts[k];
    const TRRPanelPartitionShape& s = part.Shape;
    size_t i = 0;
    for (uint32_t y = s.Y0; y <= s.Y1; ++y)
      for (uint32_t x = s.X0; x <= s.X1; ++x, ++i)
        if (part.Heights[i] != 0.0f) {
          part.Heights[i] = 0.0f;
          if (k < FPartitions.size()) FPartitions[k]->SetHeight(x, y, 0.0f);
        }
  }
  ++FEditCounter;
  MarkAllTouched();
}

gx::TGXVector3 TRRPanel::VertexNormal(int64_t x, int64_t y) const {
  gx::TGXVector3 sum{0, 0, 0};
  if (x < 0 || y < 0 || x > UINT32_MAX || y > UINT32_MAX) return {0, 1, 0};
  for (const TRRPanelPartition* p : FPartitions) {
    const gx::TGXVector3 n = p->Normal(uint32_t(x), uint32_t(y));
    sum = {sum.x + n.x, sum.y + n.y, sum.z + n.z};
  }
  const float len = std::sqrt(sum.x * sum.x + sum.y * sum.y + sum.z * sum.z);
  if (!(len > 0) || !std::isfinite(len)) return {0, 1, 0};
  return {sum.x / len, sum.y / len, sum.z / len};
}

void TRRPanel::FinishEdit() {
  for (TRRPanelPartition* p : FPartitions) p->FinishEdit();
}

void TRRPanel::UpdateBounds() {
  for (TRRPanelPartition* p : FPartitions) p->UpdateBounds();
}

void TRRPanel::SetTransparent(bool value) {
  FTransparent = value;
  for (TRRPanelPartition* p : FPartitions) p->SetTransparent(value);
  ++FEditCounter;
  FLastSnapshot.reset();
}

void TRRPanel::ForEachGridPoint(const std::function<void(int64_t x, int64_t y)>& visit) const {
  for (size_t k = 0; k < FShapes.size(); ++k) {
    const TRRPanelPartitionShape& s = FShapes[k];
    for (int64_t y = s.Y0; y <= s.Y1; ++y)
      for (int64_t x = s.X0; x <= s.X1; ++x) {
        bool earlier = false;
        for (size_t j = 0; j < k && !earlier; ++j) earlier = FShapes[j].Contains(x, y);
        if (!earlier) visit(x, y);
      }
  }
}

void TRRPanel::HeightRange(float& lowest, float& highest) const {
  lowest = std::numeric_limits<float>::max();
  highest = -std::numeric_limits<float>::max();
  for (const TPart& part : FParts)
    for (float h : part.Heights) {
      lowest = std::min(lowest, h);
      highest = std::max(highest, h);
    }
  if (FParts.empty()) lowest = highest = 0;
}

uint64_t TRRPanel::GridPointCount() const {
  uint64_t n = 0;
  ForEachGridPoint([&](int64_t, int64_t) { ++n; });
  return n;
}

// ---- snapshots ----

size_t TRRPanel::BlockCount() const {
  size_t n = 0;
  for (const TRRPanelPartitionShape& s : FShapes)
    n +=
        size_t((s.X1 - s.X0) / RRPanelSnapshotBlockSize + 1) * ((s.Y1 - s.Y0) / RRPanelSnapshotBlockSize + 1);
  return n;
}

void TRRPanel::MarkTouched(int64_t x, int64_t y) {
  if (!FLastSnapshot) return;
  size_t base = 0;
  for (const TRRPanelPartitionShape& s : FShapes) {
    const size_t tilesX = (s.X1 - s.X0) / RRPanelSnapshotBlockSize + 1;
    if (s.Contains(x, y)) {
      const size_t tile = size_t((y - s.Y0) / RRPanelSnapshotBlockSize) * tilesX +
                          size_t((x - s.X0) / RRPanelSnapshotBlockSize);
      FBlockTouched[base + tile] = 1;
    }
    base += tilesX * ((s.Y1 - s.Y0) / RRPanelSnapshotBlockSize + 1);
  }
}

void TRRPanel::MarkAllTouched() { FBlockTouched.assign(FBlockTouched.size(), 1); }

std::shared_ptr<const TRRPanelSnapshot> TRRPanel::TakeSnapshot() {
  if (FLastSnapshot && FLastSnapshot->EditCounter == FEditCounter) return FLastSnapshot;
  auto snap = std::make_shared<TRRPanelSnapshot>();
  snap->EditCounter = FEditCounter;
  snap->Params = FParams;
  snap->Textures = TextureDescs(-1);
  snap->Transparent = FTransparent;
  const bool reuse = FLastSnapshot && FLastSnapshot->Params == FParams &&
                     FLastSnapshot->Blocks.size() == BlockCount() && FBlockTouched.size() == BlockCount();
  size_t id = 0;
  for (uint32_t k = 0; k < FParts.size(); ++k) {
    const TPart& part = FParts[k];
    const TRRPanelPartitionShape& s = part.Shape;
    for (uint32_t by = s.Y0; by <= s.Y1; by += RRPanelSnapshotBlockSize) {
      for (uint32_t bx = s.X0; bx <= s.X1; bx += RRPanelSnapshotBlockSize, ++id) {
        if (reuse && !FBlockTouched[id]) {
          snap->Blocks.push_back(FLastSnapshot->Blocks[id]);
          continue;
        }
        auto block = std::make_shared<TRRPanelSnapshotBlock>();
        block->Partition = k;
        block->X0 = bx, block->Y0 = by;
        block->X1 = std::min(s.X1, bx + RRPanelSnapshotBlockSize - 1);
        block->Y1 = std::min(s.Y1, by + RRPanelSnapshotBlockSize - 1);
        const size_t n = size_t(block->X1 - bx + 1) * (block->Y1 - by + 1);
        block->Heights.reserve(n);
        block->LayerStart.reserve(n + 1);
        for (uint32_t y = by; y <= block->Y1; ++y)
          for (uint32_t x = bx; x <= block->X1; ++x) {
            const size_t i = part.Index(x, y);
            block->Heights.push_back(part.Heights[i]);
            block->LayerStart.push_back(static_cast<uint32_t>(block->Layers.size()));
            for (const TPlane& plane : part.Planes)
              if (plane.Weights[i]) block->Layers.push_back(uint32_t(plane.Texture) << 16 | plane.Weights[i]);
          }
        block->LayerStart.push_back(static_cast<uint32_t>(block->Layers.size()));
        block->Layers.shrink_to_fit();
        snap->Blocks.push_back(std::move(block));
      }
    }
  }
  FLastSnapshot = snap;
  FBlockTouched.assign(snap->Blocks.size(), 0);
  return snap;
}

std::shared_ptr<const TRRPanelGrid> RRPanelGridFromSnapshot(const TRRPanelSnapshot& snap) {
  auto grid = std::make_shared<TRRPanelGrid>();
  const TRRPanelSnapshotTiles tiles(RRPanelPartitionShapes(snap.Params), snap);
  grid->Partitions = tiles.Shapes;
  for (const TRRPanelPartitionShape& s : grid->Partitions) {
    std::vector<float> heights;
    std::vector<uint32_t> start, values;
    heights.reserve(s.PointCount());
    start.reserve(s.PointCount() + 1);
    for (int64_t y = s.Y0; y <= s.Y1; ++y)
      for (int64_t x = s.X0; x <= s.X1; ++x) {
        size_t i = 0;
        const TRRPanelSnapshotBlock* b = tiles.Find(x, y, i);
        start.push_back(static_cast<uint32_t>(values.size()));
        if (!b) {
          heights.push_back(0);
          continue;
        }
        heights.push_back(b->Heights[i]);
        values.insert(values.end(), b->Layers.begin() + b->LayerStart[i],
                      b->Layers.begin() + b->LayerStart[i + 1]);
      }
    start.push_back(static_cast<uint32_t>(values.size()));
    grid->Heights.push_back(std::move(heights));
    grid->LayerStart.push_back(std::move(start));
    grid->Layers.push_back(std::move(values));
  }
  return grid;
}

void TRRPanel::WriteSnapshotToDesc(const TRRPanelSnapshot& snapshot, TRRPanelDesc& desc) const {
  // The copy holds the same blocks.
  WriteSnapshotToDesc(std::make_shared<const TRRPanelSnapshot>(snapshot), desc);
}

void TRRPanel::WriteSnapshotToDesc(const std::shared_ptr<const TRRPanelSnapshot>& snapshot,
                                   TRRPanelDesc& desc) const {
  if (!snapshot) return;
  desc.Params() = snapshot->Params;
  desc.Textures() = snapshot->Textures;
  desc.SetTransparent(snapshot->Transparent);
  if (snapshot->Params.Shape > 3 && snapshot->Params == FParams)
    desc.SetData(FStoredData);
  else
    desc.SetSnapshot(snapshot);
}

void TRRPanel::RestoreSnapshot(const TRRPanelSnapshot& snapshot) {
  RestoreSnapshot(std::make_shared<const TRRPanelSnapshot>(snapshot));
}

void TRRPanel::RestoreSnapshot(const std::shared_ptr<const TRRPanelSnapshot>& snapshot) {
  if (!snapshot) return;
  const TRRPanelSnapshot& snap = *snapshot;
  bool sameTextures = snap.Textures.size() == FTextures.size();
  for (size_t i = 0; sameTextures && i < FTextures.size(); ++i)
    sameTextures = snap.Textures[i].FileName.FileName == FTextures[i]->FileName.FileName &&
                   snap.Textures[i].FileName.RelativeName == FTextures[i]->FileName.RelativeName &&
                   snap.Textures[i].Scale == FTextures[i]->Scale;
  const bool inPlace = sameTextures && snap.Params == FParams && snap.Transparent == FTransparent &&
                       snap.Blocks.size() == BlockCount() && snap.Params.Shape <= 3;
  if (!inPlace) {
    TRRPanelDesc desc;
    WriteSnapshotToDesc(snapshot, desc);
    LoadFromDesc(desc);
  } else {
    // Only blocks that differ from the panel's state are put back; heights alone go into the
    // drawing tree in place, changed layers rebuild it (segments only ever raise a weight).
    const bool known = FLastSnapshot && FLastSnapshot->Blocks.size() == snap.Blocks.size() &&
                       FBlockTouched.size() == snap.Blocks.size();
    bool layersChanged = false;
    std::vector<uint32_t> current;
    for (size_t id = 0; id < snap.Blocks.size(); ++id) {
      if (known && !FBlockTouched[id] && FLastSnapshot->Blocks[id] == snap.Blocks[id]) continue;
      const TRRPanelSnapshotBlock& b = *snap.Blocks[id];
      if (b.Partition >= FParts.size()) continue;
      TPart& part = FParts[b.Partition];
      size_t i = 0;
      for (uint32_t y = b.Y0; y <= b.Y1; ++y)
        for (uint32_t x = b.X0; x <= b.X1; ++x, ++i) {
          const size_t pi = part.Index(x, y);
          if (part.Heights[pi] != b.Heights[i]) {
            part.Heights[pi] = b.Heights[i];
            if (b.Partition < FPartitions.size()) FPartitions[b.Partition]->SetHeight(x, y, b.Heights[i]);
          }
          current.clear();
          for (const TPlane& plane : part.Planes)
            if (plane.Weights[pi]) current.push_back(uint32_t(plane.Texture) << 16 | plane.Weights[pi]);
          const uint32_t* want = b.Layers.data() + b.LayerStart[i];
          const size_t n = b.LayerStart[i + 1] - b.LayerStart[i];
          if (current.size() == n && std::equal(current.begin(), current.end(), want)) continue;
          layersChanged = true;
          for (TPlane& plane : part.Planes) plane.Weights[pi] = 0;
          for (size_t j = 0; j < n; ++j) {
            const int t = int(want[j] >> 16);
            if (t >= TextureCount()) continue;
            part.PlaneFor(t, part.Heights.size()).Weights[pi] = uint8_t(want[j] & 0xFF);
          }
        }
    }
    if (layersChanged) BuildNodes();
    FinishEdit();
    UpdateBounds();
  }
  ++FEditCounter;
  auto copy = std::make_shared<TRRPanelSnapshot>(snap);
  copy->EditCounter = FEditCounter;
  FLastSnapshot = copy;
  FBlockTouched.assign(copy->Blocks.size(), 0);
}

// ---- height files ----

void TRRPanel::ImportHeightsFromBitmap(const gx::TGXImage& picture, int64_t x0, float high, float low,
                                       int64_t y0) {
  if (picture.Width == 0 || picture.Height == 0 ||
      picture.Pixels.size() < size_t(picture.Width) * picture.Height)
    return;
  uint32_t lo = 255, hi = 0;
  for (uint32_t p : picture.Pixels) {
    lo = std::min(lo, p & 0xFF);
    hi = std::max(hi, p & 0xFF);
  }
  uint32_t columns = 0, rows = 0;
  if (!HeightExtents(columns, rows)) return;
  // Only the pixels that land inside the panel's extents are visited.
  const int64_t c0 = std::max<int64_t>(0, -x0), r0 = std::max<int64_t>(0, -y0);
  const int64_t c1 = std::min<int64_t>(int64_t(picture.Width) - 1, int64_t(columns) - 1 - x0);
  const int64_t r1 = std::min<int64_t>(int64_t(picture.Height) - 1, int64_t(rows) - 1 - y0);
  const float range = float(hi) - float(lo);
  for (int64_t r = r0; r <= r1; ++r)
    for (int64_t c = c0; c <= c1; ++c) {
      const uint32_t p = picture.Pixels[size_t(r) * picture.Width + size_t(c)] & 0xFF;
      const float h = lo < hi ? low + (high - low) * (float(p) - float(lo)) / range : low;
      SetHeight(x0 + c, y0 + r, h);
    }
}

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool ParseInt32(std::string_view s, int32_t& value) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseDecimal(std::string_view s, float& value) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  // Plain decimals only: digits, one ".", an optional exponent; no "inf", "nan" or hex.
  for (char c : s)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == 'e' || c == 'E' ||
          c == '+'))
      return false;
  double d = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), d, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size() || !std::isfinite(d)) return false;
  const float f = static_cast<float>(d);
  if (!std::isfinite(f)) return false;
  value = f;
  return true;
}

}  // namespace

bool RRParseHeightLine(std::string_view line, int32_t& x, int32_t& y, float& height) {
  if (line.size() >= 3 && uint8_t(line[0]) == 0xEF && uint8_t(line[1]) == 0xBB && uint8_t(line[2]) == 0xBF)
    line.remove_prefix(3);
  std::string_view fields[3];
  size_t count = 0, pos = 0;
  while (count < 3) {
    const size_t comma = line.find(',', pos);
    if (comma == std::string_view::npos) {
      fields[count++] = line.substr(pos);
      break;
    }
    fields[count++] = line.substr(pos, comma - pos);
    pos = comma + 1;
  }
  if (count < 3) return false;
  return ParseInt32(fields[0], x) && ParseInt32(fields[1], y) && ParseDecimal(fields[2], height);
}

void TRRPanel::ImportHeightsFromText(const std::vector<std::string>& lines, int64_t x0, int64_t y0) {
  for (const std::string& line : lines) {
    int32_t x, y;
    float h;
    if (RRParseHeightLine(line, x, y, h)) SetHeight(x0 + int64_t(x), y0 + int64_t(y), h);
  }
}

bool TRRPanel::HeightExtents(uint32_t& columns, uint32_t& rows) const {
  columns = rows = 0;
  if (FShapes.empty()) return false;
  for (const TRRPanelPartitionShape& s : FShapes) {
    columns = std::max(columns, s.X1 + 1);
    rows = std::max(rows, s.Y1 + 1);
  }
  return true;
}

bool TRRPanel::ExportHeightsToBitmap(uint32_t& width, uint32_t& height, std::vector<uint8_t>& grey,
                                     float& lowest, float& highest) const {
  if (!HeightExtents(width, height)) return false;
  HeightRange(lowest, highest);
  grey.assign(size_t(width) * height, 0);
  const float range = highest - lowest;
  if (!(range > 0)) return true;
  ForEachGridPoint([&](int64_t x, int64_t y) {
    const float v = std::nearbyint((GetHeight(x, y) - lowest) / range * 255.0f);
    grey[size_t(y) * width + size_t(x)] = static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f));
  });
  return true;
}

bool TRRPanel::ExportHeightsToText(std::vector<std::string>& lines) const {
  lines.clear();
  uint32_t columns, rows;
  if (!HeightExtents(columns, rows)) return false;
  std::vector<uint8_t> inside(size_t(columns) * rows, 0);
  ForEachGridPoint([&](int64_t x, int64_t y) { inside[size_t(y) * columns + size_t(x)] = 1; });
  char buffer[64];
  for (uint32_t y = 0; y < rows; ++y)
    for (uint32_t x = 0; x < columns; ++x) {
      if (!inside[size_t(y) * columns + x]) continue;
      char* p = buffer;
      p = std::to_chars(p, buffer + sizeof(buffer), x).ptr;
      *p++ = ',';
      p = std::to_chars(p, buffer + sizeof(buffer), y).ptr;
      *p++ = ',';
      p = std::to_chars(p, buffer + sizeof(buffer), double(GetHeight(x, y)), std::chars_format::fixed, 3).ptr;
      lines.emplace_back(buffer, p);
    }
  return true;
}

}  // namespace rr
