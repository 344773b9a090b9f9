// The panel's drawing tree on the recording null device: splits, edges, walls, packs and their
// weights, normals, bounds, picking, the materials of each view and the buffers' use. Materials
// come from the real effect files, parsed (no GL).

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "app/entities/panel/RRPanelPartition.h"
#include "app/entities/panel/RRPanelSegment.h"
#include "app/entities/panel/RRPanelTexture.h"
#include "engine/core/GXException.h"
#include "engine/core/GXResourceManager.h"
#include "engine/render/GXCamera.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXEffectParser.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXNullRenderDevice.h"
#include "engine/render/GXRenderCore.h"
#include "engine/render/GXRenderQueue.h"
#include "engine/render/GXScene.h"
#include "engine/render/GXTexture.h"
#include "tests/app/MaterialTestSupport.h"

using namespace rr;

namespace {

std::string ReadShader(const std::string& name) {
  std::ifstream in(std::string(VELMORA_SOURCE_DIR) + "/data/shaders/Bodenplatte/" + name, std::ios::binary);
  if (!in) throw std::runtime_error("missing shader " + name);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// An effect parsed from data/shaders/Bodenplatte (includes beside it), every parameter a
// material parameter.
class TPanelEffect : public gx::TGXEffect {
 public:
  using gx::TGXEffect::TGXEffect;

 protected:
  void DoLoad() override {
    const std::string name = GetName().Text();
    const std::string file = name.substr(name.find_last_of('\\') + 1);
    const gx::TGXEffectDesc desc = gx::GXParseEffect(
        ReadShader(file), file, {}, [](const std::string& include) { return ReadShader(include); });
    SetCompiled(std::make_unique<rr::test::TSilentEffect>());
    for (size_t i = 0; i < desc.Parameters.size(); ++i) {
      const gx::TGXEffectParameterDesc& p = desc.Parameters[i];
      gx::TGXRef<gx::TGXEffectParameterSource> source =
          gx::GXCreateMaterialSource(p.Name, p.Type, p.Elements());
      if (!source) continue;
      if (auto* value = dynamic_cast<gx::TGXEffectValueSource*>(source.Get()); value && !p.Initial.empty())
        value->SetFloats(p.Initial);
      AddMaterialParameter(source, static_cast<gx::TGXEffectHandle>(i));
    }
    for (size_t t = 0; t < desc.Techniques.size(); ++t) {
      gx::TGXEffectTechnique* technique = AddTechnique(desc.Techniques[t].Name, gx::TGXEffectHandle(t));
      for (const auto& pass : desc.Techniques[t].Passes) technique->AddPass(pass.AlphaBlend());
    }
  }
};

class TPanelEffectFactory : public gx::TGXResourceFactory {
 public:
  using gx::TGXResourceFactory::TGXResourceFactory;
  gx::TGXGuid GetResourceKind() const override { return gx::IID_IGXEffect; }
  gx::IGXResource CreateResource(TSlot* cell, const std::string& name, bool manual) override {
    return gx::IGXResource(new TPanelEffect(cell, name, manual));
  }
};

class PanelDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    Services = std::make_shared<TRRPanelDrawServices>();
    Services->Device = &Device;
    Services->DeviceEvents = &Events;
    Services->Layout = [](int kind) {
      return gx::TGXRef<gx::TGXDeviceVertexDeclaration>(
          new gx::TGXNullVertexDeclaration("Layout" + std::to_string(kind)));
    };
    Services->MakeMaterial = [this](const std::string& name, const std::string& effectFile) {
      gx::IGXEffect effect = Resources.Get<gx::TGXEffect>(effectFile);
      effect->Load();
      gx::IGXMaterial material = Resources.Get<gx::TGXMaterial>(name, true, true);
      material->SetEffect(effect);
      material->Load();
      return material;
    };
    Services->LoadTexture = [this](const std::string& file) { return Texture(file); };
    Services->BaseMaterial = [this](const std::string& diffuse, bool twoSided) {
      BaseRequests.push_back({diffuse, twoSided});
      return Services->MakeMaterial("Base", RRPanelPackEffect(1));
    };
    Wood.Texture = Texture("Holz");
    for (int i = 0; i < 6; ++i) {
      Ground[i].Texture = Texture("Boden" + std::to_string(i));
      Ground[i].Scale = 0.01f * float(i + 1);
    }
  }

  gx::IGXTexture Texture(const std::string& name) {
    gx::IGXTexture t = Resources.Get<gx::TGXTexture>(name, false, true);
    t->Load();
    return t;
  }

  // A record for a rectangle with all four edges exterior.
  TRRPanelObjectCreation Record(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, int32_t grid = 10,
                                bool services = true) {
    TRRPanelObjectCreation c;
    c.X0 = x0, c.Y0 = y0, c.X1 = x1, c.Y1 = y1;
    c.QuadWidth = grid;
    c.Edges[RRPanelEdgeFront] = {1, int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y0)};
    c.Edges[RRPanelEdgeLeft] = {1, int32_t(x0), int32_t(y0), int32_t(x0), int32_t(y1)};
    c.Edges[RRPanelEdgeRight] = {1, int32_t(x1), int32_t(y0), int32_t(x1), int32_t(y1)};
    c.Edges[RRPanelEdgeBack] = {1, int32_t(x0), int32_t(y1), int32_t(x1), int32_t(y1)};
    c.DefaultTexture = Wood.Texture;
    c.DefaultTextureName = "Game:\\Holz.dds";
    c.Thickness = 5;
    c.TechnicalView = &Technical;
    if (services) c.Services = Services;
    return c;
  }

  std::vector<TRRPanelSegment*> Segments(const TRRPanelPartition& p) {
    std::vector<TRRPanelSegment*> list;
    p.ForEachSegment([&](TRRPanelSegment& s) { list.push_back(&s); });
    return list;
  }

  // One frame's queue of the partition's segments.
  std::vector<gx::TGXRenderQueueItem> Frame(TRRPanelPartition& p) {
    p.Update();
    gx::TGXRenderQueue queue;
    auto camera = gx::MakeRef<gx::TGXNullCamera>();
    for (TRRPanelSegment* s : Segments(p)) s->AddToRenderQueue(camera.Get(), &queue);
    std::vector<gx::TGXRenderQueueItem> items;
    for (int i = 0; i < queue.ItemCount(); ++i) items.push_back(queue.Items(i));
    return items;
  }

  std::vector<std::string> BufferCalls() {
    std::vector<std::string> lines;
    for (const gx::TGXDeviceCall& c : Device.Calls())
      if (c.Kind == gx::TGXDeviceCallKind::CreateVertexBuffer ||
          c.Kind == gx::TGXDeviceCallKind::WriteVertexBuffer ||
          c.Kind == gx::TGXDeviceCallKind::CreateIndexBuffer ||
          c.Kind == gx::TGXDeviceCallKind::WriteIndexBuffer)
        lines.push_back(c.Text());
    Device.ClearCalls();
    return lines;
  }

  gx::TGXResourceManager Resources;
  TPanelEffectFactory Effects{&Resources};
  gx::TGXMaterialFactory Materials{&Resources};
  rr::test::THeaderTextureFactory Textures{&Resources};
  gx::TGXNullRenderDevice Device;
  gx::TGXD3DDeviceCallback Events;
  std::shared_ptr<TRRPanelDrawServices> Services;
  std::vector<std::pair<std::string, bool>> BaseRequests;
  bool Technical = false;
  TRRPanelTexture Wood;
  TRRPanelTexture Ground[6];
};

struct TRect {
  uint32_t X0, Y0, X1, Y1;
  friend bool operator==(const TRect&, const TRect&) = default;
};
std::ostream& operator<<(std::ostream& o, const TRect& r) {
  return o << "(" << r.X0 << "," << r.Y0 << ")-(" << r.X1 << "," << r.Y1 << ")";
}

}  // namespace

TEST_F(PanelDrawing, PartitionsSplitTheLongerSideUntilLeavesHoldAtMost500Cells) {
  struct Case {
    TRect Rect;
    std::vector<TRect> Leaves;
  } cases[] = {
      // 300 x 150 cm at 5 cm: split at column 30, each half again at column 15 (w = d = 30).
      {{0, 0, 60, 30}, {{0, 0, 15, 30}, {15, 0, 30, 30}, {30, 0, 45, 30}, {45, 0, 60, 30}}},
      {{0, 0, 20, 25}, {{0, 0, 20, 25}}},
      {{0, 0, 21, 25}, {{0, 0, 21, 12}, {0, 12, 21, 25}}},
      // An arm's partition away from the origin.
      {{10, 20, 31, 45}, {{10, 20, 31, 32}, {10, 32, 31, 45}}},
      // A row without cells but longer than 500 points is split into walls 16-bit indices reach.
      {{0, 0, 1200, 0}, {{0, 0, 300, 0}, {300, 0, 600, 0}, {600, 0, 900, 0}, {900, 0, 1200, 0}}},
  };
  for (const Case& c : cases) {
    TRRPanelPartition p(Record(c.Rect.X0, c.Rect.Y0, c.Rect.X1, c.Rect.Y1, 5, false), true);
    std::vector<TRect> leaves;
    for (TRRPanelSegment* s : Segments(p)) {
      leaves.push_back({s->X0(), s->Y0(), s->X1(), s->Y1()});
      EXPECT_LE(s->VertexCount(), 65536u);
      EXPECT_EQ(s->Surface().Vertices().size(), s->VertexCount());
      for (uint16_t i : s->Base().Indices()) EXPECT_LT(i, s->Base().Vertices().size());
    }
    EXPECT_EQ(leaves, c.Leaves) << c.Rect;
    EXPECT_EQ(p.Heights().size(), size_t(c.Rect.X1 - c.Rect.X0 + 1) * (c.Rect.Y1 - c.Rect.Y0 + 1));
  }
  // The 15 x 30 leaves have 16 x 31 vertices; the second halves sit at their offset.
  TRRPanelPartition p(Record(0, 0, 60, 30, 5, false), true);
  p.Update();
  for (TRRPanelSegment* s : Segments(p)) {
    EXPECT_EQ(s->RowLength(), 16u);
    EXPECT_EQ(s->VertexCount(), 16u * 31u);
    EXPECT_NEAR(s->Node()->WorldPosition().x, float(s->X0()) * 5, 1e-4f);
  }
  TRRPanelPartition rows(Record(0, 0, 21, 25, 10, false), true);
  rows.Update();
  EXPECT_NEAR(Segments(rows)[1]->Node()->WorldPosition().z, -120, 1e-4f);
}

TEST_F(PanelDrawing, EdgesCountOnlyOnTheSegmentsBorderAndAreClippedToIt) {
  struct Case {
    TRRPanelEdge Edge;
    int Side;
    TRRPanelEdge Expected;
  } cases[] = {
      {{1, 0, 10, 40, 10}, RRPanelEdgeFront, {1, 5, 10, 20, 10}},  // clipped on both ends
      {{1, 0, 30, 40, 30}, RRPanelEdgeBack, {1, 5, 30, 20, 30}},
      {{1, 0, 12, 40, 12}, RRPanelEdgeFront, {0, 0, 12, 40, 12}},    // not on the border line
      {{1, 20, 10, 40, 10}, RRPanelEdgeFront, {0, 20, 10, 20, 10}},  // touches only the corner
      {{1, 0, 10, 5, 10}, RRPanelEdgeFront, {0, 5, 10, 5, 10}},      // the other corner
      {{1, 5, 0, 5, 50}, RRPanelEdgeLeft, {1, 5, 10, 5, 30}},
      {{1, 20, 15, 20, 50}, RRPanelEdgeRight, {1, 20, 15, 20, 30}},
      {{1, 20, 30, 20, 50}, RRPanelEdgeRight, {0, 20, 30, 20, 30}},
      {{0, 0, 10, 40, 10}, RRPanelEdgeFront, {0, 0, 10, 40, 10}},  // interior stays interior
  };
  for (const Case& c : cases) {
    const TRRPanelEdge e = RRClipPanelEdge(c.Edge, c.Side, 5, 10, 20, 30);
    EXPECT_EQ(e.Exterior, c.Expected.Exterior) << c.Side << " " << c.Edge.StartX << "," << c.Edge.StartY;
    if (c.Expected.Exterior) {
      EXPECT_EQ(e.StartX, c.Expected.StartX);
      EXPECT_EQ(e.StartY, c.Expected.StartY);
      EXPECT_EQ(e.EndX, c.Expected.EndX);
      EXPECT_EQ(e.EndY, c.Expected.EndY);
    }
  }
}

TEST_F(PanelDrawing, SurfaceIndicesFollowTheParityOfTheGlobalGridIndices) {
  for (uint32_t x0 : {0u, 1u}) {
    TRRPanelPartition p(Record(x0, 4, x0 + 2, 5, 10, false), true);
    const auto& idx = Segments(p)[0]->Surface().Indices();
    ASSERT_EQ(idx.size(), 12u);
    // Quad (c, r) = (0, 0): a = 0, b = 3; global x0 + 4 even for x0 = 0.
    const std::vector<uint16_t> even = {3, 0, 4, 0, 1, 4}, odd = {3, 0, 1, 1, 4, 3};
    EXPECT_EQ(std::vector<uint16_t>(idx.begin(), idx.begin() + 6), x0 == 0 ? even : odd);
    // The next quad along the row has the other diagonal.
    const std::vector<uint16_t> even2 = {4, 1, 5, 1, 2, 5}, odd2 = {4, 1, 2, 2, 5, 4};
    EXPECT_EQ(std::vector<uint16_t>(idx.begin() + 6, idx.end()), x0 == 0 ? odd2 : even2);
  }
  // Every triangle faces up (the normal of (P1 - P0) x (P2 - P0) has y > 0).
  TRRPanelPartition p(Record(3, 7, 9, 12, 10, false), true);
  const TRRPanelSegment& s = *Segments(p)[0];
  const auto& v = s.Surface().Vertices();
  const auto& idx = s.Surface().Indices();
  for (size_t i = 0; i < idx.size(); i += 3)
    EXPECT_GT(gx::GXVec3Cross(v[idx[i + 1]].Position - v[idx[i]].Position,
                              v[idx[i + 2]].Position - v[idx[i]].Position)
                  .y,
              0);
}

TEST_F(PanelDrawing, WallsRunAlongExteriorEdgesAndFollowTheDrawnHeight) {
  TRRPanelObjectCreation c = Record(0, 0, 4, 3, 10, false);
  c.Edges[RRPanelEdgeBack] = {1, 2, 3, 4, 3};  // the back only from column 2 on
  c.Edges[RRPanelEdgeLeft].Exterior = 0;
  TRRPanelPartition p(c, true);
  TRRPanelSegment& s = *Segments(p)[0];
  const TRRPanelSegmentBase& base = s.Base();
  // Plate 4, front 2 x 5, right 2 x 4, back 2 x 3, underside 4.
  EXPECT_EQ(base.Vertices().size(), 4u + 10 + 8 + 6 + 4);
  EXPECT_EQ(base.Indices().size(), 6u + 6 * (4 + 3 + 2) + 6);
  EXPECT_FALSE(base.Edge(RRPanelEdgeLeft).Edge.Exterior);
  // The front runs from its end x down to its start x at z = 0, facing +Z.
  const TRRPanelBaseVertex& front0 = base.Vertices()[base.Edge(RRPanelEdgeFront).FirstVertex];
  EXPECT_FLOAT_EQ(front0.Position.x, 40);
  EXPECT_FLOAT_EQ(front0.Normal.z, 1);
  EXPECT_FLOAT_EQ(base.Vertices()[base.Edge(RRPanelEdgeFront).FirstVertex + 5].Position.y, -5);

  p.SetHeight(3, 0, 7);   // front, fourth point from the end
  p.SetHeight(4, 2, -3);  // right wall: drawn at 0
  p.SetHeight(2, 3, 4);   // back wall start
  p.SetHeight(1, 3, 9);   // outside the back's clipped range
  EXPECT_FLOAT_EQ(base.Vertices()[base.Edge(RRPanelEdgeFront).FirstVertex + 1].Position.y, 7);
  EXPECT_FLOAT_EQ(base.Vertices()[base.Edge(RRPanelEdgeRight).FirstVertex + 1].Position.y, 0);
  EXPECT_FLOAT_EQ(base.Vertices()[base.Edge(RRPanelEdgeBack).FirstVertex].Position.y, 4);
  for (const TRRPanelBaseVertex& v : base.Vertices()) EXPECT_NE(v.Position.y, 9);
  EXPECT_FLOAT_EQ(p.GetHeight(4, 2), -3);
  EXPECT_FLOAT_EQ(s.Surface().Vertices()[s.VertexIndex(4, 2)].Position.y, 0);
  // Not a number counts as 0 everywhere.
  p.SetHeight(3, 0, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(p.GetHeight(3, 0), 0);
  EXPECT_EQ(base.Vertices()[base.Edge(RRPanelEdgeFront).FirstVertex + 1].Position.y, 0);
}

TEST_F(PanelDrawing, WeightsRiseOnlyAndNormaliseWithTiesToEven) {
  TRRPanelPartition p(Record(0, 0, 2, 2, 10, false), true);
  struct Step {
    int Texture;
    uint8_t Weight;
    bool Normalise;
  };
  struct Case {
    const char* Name;
    std::vector<Step> Steps;
    std::vector<int> Expected;  // weights of Ground[0..n-1] after the steps
  } cases[] = {
      {"scaled", {{0, 150, false}, {1, 105, false}, {2, 200, true}}, {32, 23, 200}},
      {"never lowered", {{0, 120, false}, {0, 100, true}}, {120}},
      {"half to even, down", {{0, 1, false}, {1, 1, false}, {2, 254, true}}, {0, 0, 254}},
      {"half to even, up", {{0, 3, false}, {1, 1, false}, {2, 253, true}}, {2, 0, 253}},
      {"alone", {{0, 255, true}}, {255}},
      {"mark 128 keeps its byte", {{3, 128, false}}, {0, 0, 0, 128}},
  };
  uint32_t y = 0;
  for (const Case& c : cases) {
    const uint32_t x = y % 3, row = y / 3;
    ++y;
    for (const Step& s : c.Steps) p.SetWeight(Ground[s.Texture], x, row, s.Normalise, s.Weight);
    for (size_t i = 0; i < c.Expected.size(); ++i)
      EXPECT_EQ(p.GetWeight(Ground[i], x, row), c.Expected[i]) << c.Name << " texture " << i;
  }
  // Every weight reads back as written.
  for (int w = 0; w < 256; ++w) {
    TRRPanelPartition q(Record(0, 0, 1, 1, 10, false), true);
    q.SetWeight(Ground[1], 1, 1, false, uint8_t(w));
    EXPECT_EQ(q.GetWeight(Ground[1], 1, 1), w);
  }
}

TEST_F(PanelDrawing, AFifthTextureOpensASecondPackDrawnBlendedAfterTheFirst) {
  TRRPanelPartition p(Record(0, 0, 3, 3), true);
  TRRPanelSegment& s = *Segments(p)[0];
  for (int t = 0; t < 5; ++t) p.SetWeight(Ground[t], uint32_t(t % 4), 1, true, 255);
  ASSERT_EQ(s.Surface().PackCount(), 2);
  EXPECT_EQ(s.Surface().Pack(0).TextureCount(), 4);
  EXPECT_EQ(s.Surface().Pack(0).EffectFile(), RRPanelPackEffect(4));
  EXPECT_EQ(s.Surface().Pack(1).TextureCount(), 1);
  EXPECT_EQ(s.Surface().Pack(1).Ordinal(), 1);
  EXPECT_EQ(s.Surface().Pack(1).EffectFile(), std::string(RRPanelEffectFolder) + "TerrainOneTile.fx");
  const gx::TGXMaterial& second = *s.Surface().Pack(1).Material;
  EXPECT_EQ(second.GetTechnique()->Name(), "TerrainBlend");
  EXPECT_FLOAT_EQ(reinterpret_cast<const float*>(second.FindValue("BlendingEnabled")->Data().data())[0], 1);
  EXPECT_EQ(s.Surface().Pack(0).Material->GetTechnique()->Name(), "Terrain");
  // Texture 4 overwrote texture 0 at (0, 1); texture 0 keeps 255 only where it was painted last.
  EXPECT_EQ(p.GetWeight(Ground[0], 0, 1), 0);
  EXPECT_EQ(p.GetWeight(Ground[4], 0, 1), 255);
  std::vector<TRRPanelLayer> layers;
  p.GetLayers(0, 1, layers);
  ASSERT_EQ(layers.size(), 1u);
  EXPECT_EQ(layers[0].Texture, &Ground[4]);

  // Packs drawn in order after sorting: the opaque one first, the blended one among blends.
  const auto items = Frame(p);
  std::vector<const gx::TGXRenderPrimitive*> order;
  for (const auto& item : items) order.push_back(item.Primitive);
  const auto first = std::find(order.begin(), order.end(), &s.Surface().Pack(0));
  const auto blended = std::find(order.begin(), order.end(), &s.Surface().Pack(1));
  ASSERT_NE(first, order.end());
  ASSERT_NE(blended, order.end());
  EXPECT_LT(first, blended);
  EXPECT_TRUE(items[size_t(blended - order.begin())].Pass->AlphaBlend());
}

TEST_F(PanelDrawing, ScalesAndOffsetsContinueTheTexturePatternAcrossSegments) {
  TRRPanelPartition p(Record(0, 0, 60, 30, 5), true);
  for (TRRPanelSegment* s : Segments(p)) p.SetWeight(Ground[2], s->X0(), s->Y0(), true, 255);
  Frame(p);
  Ground[2].Scale = 0.5f;  // read again every frame
  Frame(p);
  for (TRRPanelSegment* s : Segments(p)) {
    const gx::TGXMaterial& m = *s->Surface().Pack(0).Material;
    const float* scaling = reinterpret_cast<const float*>(m.FindValue("TexScaling")->Data().data());
    const float* offset = reinterpret_cast<const float*>(m.FindValue("TexOffset")->Data().data());
    EXPECT_FLOAT_EQ(scaling[0], 0.5f);
    EXPECT_FLOAT_EQ(offset[0], float(s->X0()) * 5 * 0.5f);
    EXPECT_FLOAT_EQ(offset[1], -float(s->Y0()) * 5 * 0.5f);
    EXPECT_EQ(m.FindTexture("TileMap0")->GetTexture(), Ground[2].Texture.Get());
  }
  // An entry that cannot be loaded keeps its slot and draws with the default texture.
  TRRPanelTexture missing;
  p.SetWeight(missing, 1, 1, true, 255);
  Frame(p);
  const gx::TGXMaterial& m = *Segments(p)[0]->Surface().Pack(0).Material;
  EXPECT_EQ(m.FindTexture("TileMap1")->GetTexture(), Wood.Texture.Get());
  EXPECT_EQ(p.GetWeight(missing, 1, 1), 255);
}

TEST_F(PanelDrawing, NormalsSumTheQuadsAroundAPointWithNegativeHeightsAtZero) {
  TRRPanelPartition p(Record(0, 0, 4, 4, 10, false), true);
  EXPECT_NEAR(p.Normal(2, 2).y, 8, 1e-5f);  // four flat quads, (0, 2, 0) each
  EXPECT_NEAR(p.Normal(0, 0).y, 2, 1e-5f);  // one quad in the corner
  EXPECT_NEAR(p.Normal(4, 2).y, 4, 1e-5f);  // two on the border
  EXPECT_EQ(p.Normal(7, 7).y, 0);           // outside
  // An even quad (a + c even) gives (h00 - h10 + h01 - h11, 2, h01 - h00 + h11 - h10).
  TRRPanelPartition q(Record(0, 0, 1, 1, 10, false), true);
  q.SetHeight(0, 0, 1);
  q.SetHeight(1, 0, 3);
  q.SetHeight(0, 1, 4);
  q.SetHeight(1, 1, 9);
  const gx::TGXVector3 n = q.Normal(0, 0);
  EXPECT_NEAR(n.x, 1 - 3 + 4 - 9, 1e-4f);
  EXPECT_NEAR(n.y, 2, 1e-4f);
  EXPECT_NEAR(n.z, 4 - 1 + 9 - 3, 1e-4f);
  // An odd quad of a tilted plane h = 2x gives the same as the even one: both diagonals agree.
  TRRPanelPartition r(Record(1, 0, 2, 1, 10, false), true);
  for (uint32_t x : {1u, 2u})
    for (uint32_t y : {0u, 1u}) r.SetHeight(x, y, 2.0f * float(x));
  const gx::TGXVector3 odd = r.Normal(1, 0);
  EXPECT_NEAR(odd.x, -4, 1e-4f);
  EXPECT_NEAR(odd.y, 2, 1e-4f);
  EXPECT_NEAR(odd.z, 0, 1e-4f);
  // Drawn heights: a hollow of -50 is flat at 0.
  q.SetHeight(0, 0, -50);
  q.SetHeight(1, 0, -50);
  q.SetHeight(0, 1, -50);
  q.SetHeight(1, 1, -50);
  EXPECT_NEAR(q.Normal(0, 0).x, 0, 1e-5f);
  EXPECT_NEAR(q.Normal(0, 0).y, 2, 1e-5f);
}

TEST_F(PanelDrawing, BoundsRiseWithHeightsAndUpdateBoundsAlsoLowersThem) {
  TRRPanelPartition p(Record(0, 0, 30, 30, 10, false), true);
  auto top = [&] {
    float t = -1e9f;
    for (TRRPanelSegment* s : Segments(p)) t = std::max(t, s->LocalBounds().Max().y);
    return t;
  };
  EXPECT_FLOAT_EQ(top(), 0);
  EXPECT_FLOAT_EQ(Segments(p)[0]->LocalBounds().Min().y, -5);
  p.SetHeight(15, 15, 12);  // on split lines: every segment holding it rises
  EXPECT_FLOAT_EQ(top(), 12);
  int raised = 0;
  for (TRRPanelSegment* s : Segments(p)) raised += s->LocalBounds().Max().y == 12;
  EXPECT_GE(raised, 2);
  p.SetHeight(15, 15, 3);
  EXPECT_FLOAT_EQ(top(), 12);  // edits only raise
  p.UpdateBounds();
  EXPECT_FLOAT_EQ(top(), 3);
  p.SetHeight(15, 15, std::numeric_limits<float>::infinity());
  p.UpdateBounds();
  EXPECT_FLOAT_EQ(top(), 0);
  EXPECT_EQ(p.GetHeight(15, 15), 0);
}

TEST_F(PanelDrawing, PicksHitTheNearestTriangleAndTransparentPanelsOnlyTheirBoard) {
  TRRPanelPartition p(Record(0, 0, 30, 30, 10, false), true);
  p.SetPosition({100, 0, 0});
  for (uint32_t x = 0; x <= 30; ++x)
    for (uint32_t y = 0; y <= 30; ++y) p.SetHeight(x, y, float(x));  // slope: h = x
  p.Update();
  TRRPanelPickHit hit;
  ASSERT_TRUE(p.Pick({100 + 125, 500, -40}, {0, -1, 0}, hit));
  EXPECT_NEAR(hit.Point.y, 12.5f, 1e-3f);
  EXPECT_NEAR(hit.Point.x, 225, 1e-3f);
  EXPECT_LT(hit.Normal.x, 0);  // the slope faces -X
  EXPECT_NEAR(gx::GXVec3Length(hit.Normal), 1, 1e-4f);
  // A ray from the side below the terrain hits the board block's face.
  ASSERT_TRUE(p.Pick({50, -2, -40}, {1, 0, 0}, hit));
  EXPECT_NEAR(hit.Point.x, 100, 1e-3f);
  EXPECT_NEAR(hit.Normal.x, -1, 1e-4f);
  // Transparent: the terrain is not hit, the ray from above meets the board top at 0.
  p.SetTransparent(true);
  ASSERT_TRUE(p.Pick({100 + 125, 500, -40}, {0, -1, 0}, hit));
  EXPECT_NEAR(hit.Point.y, 0, 1e-3f);
  EXPECT_FALSE(p.Pick({0, 500, -40}, {0, -1, 0}, hit));
  // A zero-cell row is never hit.
  TRRPanelPartition row(Record(0, 0, 10, 0, 10, false), true);
  row.Update();
  EXPECT_FALSE(row.Pick({50, 10, 0}, {0, -1, 0}, hit));
}

TEST_F(PanelDrawing, EachViewDrawsItsMaterial) {
  TRRPanelPartition p(Record(0, 0, 4, 4), true);
  TRRPanelSegment& s = *Segments(p)[0];
  p.SetWeight(Ground[0], 1, 1, true, 255);
  struct Case {
    bool Technical, Transparent;
    std::string Surface;  // material name of the surface primitive, or "Pack"
    std::string Technique;
    float Blend;
    uint32_t BaseFirst;
  } cases[] = {
      {false, false, "Pack", "Terrain", 0, 0},
      {false, true, "TransparentSurface", "Transparent", 0, 6},
      {true, false, "CADSurface", "CAD", 0, 0},
      {true, true, "CADSurface", "CADBlend", 1, 6},
  };
  for (const Case& c : cases) {
    Technical = c.Technical;
    p.SetTransparent(c.Transparent);
    const auto items = Frame(p);
    ASSERT_EQ(items.size(), 2u) << c.Surface;
    const gx::TGXRenderPrimitive* surface =
        items[0].Primitive == &s.Base() ? items[1].Primitive : items[0].Primitive;
    EXPECT_EQ(surface->Material->GetName().Text(), c.Surface);
    EXPECT_EQ(surface->Material->GetTechnique()->Name(), c.Technique);
    if (c.Technical) {
      EXPECT_FLOAT_EQ(
          reinterpret_cast<const float*>(surface->Material->FindValue("BlendEnable")->Data().data())[0],
          c.Blend);
      EXPECT_FLOAT_EQ(reinterpret_cast<const float*>(surface->Material->FindValue("Alpha")->Data().data())[0],
                      0.7f);
      EXPECT_NE(surface->Material->FindTexture("RasterMap")->GetTexture(), nullptr);
    }
    EXPECT_EQ(s.Base().IndexGeometry->FirstIndex, c.BaseFirst);
    EXPECT_EQ(s.Base().IndexGeometry->IndexCount, s.Base().Indices().size() - c.BaseFirst);
    EXPECT_EQ(BaseRequests.back().second, !c.Transparent);
  }
  EXPECT_EQ(BaseRequests.back().first, "Game:\\Holz.dds");
}

TEST_F(PanelDrawing, BuffersAreStaticDynamicWhileEditedAndRebuiltAfterADeviceLoss) {
  TRRPanelPartition p(Record(0, 0, 2, 1), true);
  TRRPanelSegment& s = *Segments(p)[0];
  p.SetWeight(Ground[0], 0, 0, true, 255);
  p.FinishEdit();
  const uint32_t surfaceBytes = 6 * 24, packBytes = 6 * 4,
                 baseBytes = uint32_t(s.Base().Vertices().size()) * 32;
  Device.ClearCalls();
  Frame(p);
  auto calls = BufferCalls();
  const std::vector<std::string> first = {
      "CreateVertexBuffer(" + std::to_string(surfaceBytes) + ", 8, 1) -> VertexBuffer1",
      "WriteVertexBuffer(VertexBuffer1, 0, " + std::to_string(surfaceBytes) + ")",
      "CreateIndexBuffer(24, 101) -> IndexBuffer2",
      "WriteIndexBuffer(IndexBuffer2, 0, 24)",
      "CreateVertexBuffer(" + std::to_string(packBytes) + ", 8, 1) -> VertexBuffer3",
      "WriteVertexBuffer(VertexBuffer3, 0, " + std::to_string(packBytes) + ")",
      "CreateVertexBuffer(" + std::to_string(baseBytes) + ", 8, 1) -> VertexBuffer4",
      "WriteVertexBuffer(VertexBuffer4, 0, " + std::to_string(baseBytes) + ")",
      "CreateIndexBuffer(" + std::to_string(s.Base().Indices().size() * 2) + ", 101) -> IndexBuffer5",
      "WriteIndexBuffer(IndexBuffer5, 0, " + std::to_string(s.Base().Indices().size() * 2) + ")",
  };
  EXPECT_EQ(calls, first);
  Frame(p);
  EXPECT_TRUE(BufferCalls().empty());  // nothing changed: nothing written

  // Editing: the surface (with its pack) and the touched base go dynamic, written with discard,
  // once per frame however many edits.
  p.SetHeight(1, 0, 2);
  p.SetHeight(2, 0, 3);
  EXPECT_TRUE(s.Surface().Dynamic());
  EXPECT_TRUE(s.Base().Dynamic());
  Frame(p);
  calls = BufferCalls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0], "CreateVertexBuffer(" + std::to_string(surfaceBytes) + ", 520, 0) -> VertexBuffer6");
  EXPECT_EQ(calls[1], "WriteVertexBuffer(VertexBuffer6, 0, " + std::to_string(surfaceBytes) + ", discard)");
  EXPECT_EQ(calls[2], "CreateVertexBuffer(" + std::to_string(packBytes) + ", 520, 0) -> VertexBuffer7");
  p.SetWeight(Ground[1], 1, 1, true, 200);
  Frame(p);
  EXPECT_EQ(BufferCalls(), (std::vector<std::string>{"WriteVertexBuffer(VertexBuffer7, 0, " +
                                                     std::to_string(packBytes) + ", discard)"}));
  // Finished: static again, made anew on the next frame.
  p.FinishEdit();
  EXPECT_FALSE(s.Surface().Dynamic());
  Frame(p);
  calls = BufferCalls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_NE(calls[0].find(", 8, 1)"), std::string::npos);

  // A lost device: every vertex buffer again, the index buffers stay.
  Events.NotifyLost();
  Frame(p);
  calls = BufferCalls();
  EXPECT_EQ(calls.size(), 6u);
  for (const std::string& c : calls) EXPECT_EQ(c.find("IndexBuffer"), std::string::npos) << c;

  // A failing write is an error of the operation.
  Events.NotifyLost();
  Device.SetWriteResult(false);
  try {
    Frame(p);
    FAIL() << "no exception";
  } catch (const gx::EDirect3D& e) {
    EXPECT_NE(std::string(e.what()).find("Lock failed"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("UpdateBuffers"), std::string::npos);
  }
}

TEST_F(PanelDrawing, SegmentsWithoutCellsOrServicesMakeNoDeviceObjects) {
  // A zero-depth row: no indices, nothing queued, no buffer.
  TRRPanelPartition row(Record(0, 0, 10, 0), true);
  EXPECT_TRUE(Segments(row)[0]->Surface().Indices().empty());
  Device.ClearCalls();
  EXPECT_TRUE(Frame(row).empty());
  EXPECT_TRUE(BufferCalls().empty());
  // Without services the tree edits and picks on its arrays alone.
  TRRPanelPartition bare(Record(0, 0, 40, 40, 10, false), true);
  bare.SetHeight(5, 5, 4);
  bare.SetWeight(Ground[0], 5, 5, true, 255);
  EXPECT_TRUE(Frame(bare).empty());
  EXPECT_TRUE(BufferCalls().empty());
  EXPECT_EQ(bare.GetWeight(Ground[0], 5, 5), 255);
  EXPECT_EQ(Events.Registered(Segments(bare)[0]), false);
  TRRPanelPartition drawn(Record(0, 0, 1, 1), true);
  EXPECT_TRUE(Events.Registered(Segments(drawn)[0]));
}

TEST_F(PanelDrawing, SharedPointsChangeInEverySegmentAndLayersComeFromTheFirst) {
  TRRPanelPartition p(Record(0, 0, 60, 30, 5, false), true);
  // Column 30 and 15 are split lines: (30, 10) lies in two leaves.
  p.SetHeight(30, 10, 6);
  p.SetWeight(Ground[3], 30, 10, true, 255);
  int holding = 0;
  for (TRRPanelSegment* s : Segments(p))
    if (s->Contains(30, 10)) {
      ++holding;
      EXPECT_FLOAT_EQ(s->Surface().Vertices()[s->VertexIndex(30, 10)].Position.y, 6);
      EXPECT_EQ(s->GetWeight(Ground[3], 30, 10), 255);
    }
  EXPECT_EQ(holding, 2);
  uint32_t vertex = 0;
  TRRPanelSegment* first = p.FindSegment(30, 10, vertex);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->X1(), 30u);
  EXPECT_EQ(vertex, 15u + 10u * 16u);
  std::vector<TRRPanelLayer> layers;
  p.GetLayers(30, 10, layers);
  ASSERT_EQ(layers.size(), 1u);  // once, not once per segment
  EXPECT_EQ(layers[0].Weight, 255);
  EXPECT_EQ(p.FindSegment(61, 10, vertex), nullptr);
}

TEST_F(PanelDrawing, TheScenePickFindsTheSegmentUnderTheRay) {
  gx::TGXScene scene;
  auto* p = new TRRPanelPartition(Record(0, 0, 60, 30, 5, false), true);
  scene.Root()->AddChild(p);
  p->SetPosition({0, 0, -100});
  p->SetHeight(40, 10, 9);
  const gx::TGXPickResult hit = scene.Pick({200, 100, -150}, {0, -1, 0});
  ASSERT_NE(hit.Object, nullptr);
  auto* segment = dynamic_cast<TRRPanelSegment*>(hit.Object);
  ASSERT_NE(segment, nullptr);
  EXPECT_TRUE(segment->Contains(40, 10));
  EXPECT_NEAR(hit.Hit.y, 9, 1e-3f);
  // Transparent: the ray goes through the terrain to the board top.
  p->SetTransparent(true);
  EXPECT_NEAR(scene.Pick({200, 100, -150}, {0, -1, 0}).Hit.y, 0, 1e-3f);
}
