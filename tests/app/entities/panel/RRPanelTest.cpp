// Baseboard panels without a graphics device: the shape record, partitions and edges, the
// description payload (both versions), the legacy bag, the checks before a panel changes, round
// trips of heights and layer sets, resampling, the texture list, snapshots and the height files.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/RRProjectSerializer.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelHeightFiles.h"
#include "app/entities/panel/RRPanelShape.h"
#include "engine/core/GXException.h"
#include "engine/core/GXStream.h"

using namespace rr;

namespace {

TRRPanelParams Rect(uint32_t a, uint32_t b, uint32_t q) {
  TRRPanelParams p;
  p.A = a, p.B = b, p.QuadWidth = q;
  return p;
}

TRRPanelParams Shape(uint8_t shape, uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f,
                     uint32_t q) {
  TRRPanelParams p;
  p.Shape = shape, p.A = a, p.B = b, p.C = c, p.D = d, p.E = e, p.F = f, p.QuadWidth = q;
  return p;
}

std::unique_ptr<TRRPanel> MakePanel(const TRRPanelParams& params) {
  TRRPanelDesc d;
  d.Params() = params;
  return std::make_unique<TRRPanel>(nullptr, nullptr, d);
}

std::unique_ptr<TRRPanelDesc> ThroughRecord(const TRREntityDescription& d) {
  gx::TGXMemoryStream s;
  TRREntityDescription::WriteRecord(d, s);
  s.Seek(0, gx::TGXSeekOrigin::Begin);
  std::unique_ptr<TRREntityDescription> back = TRREntityDescription::ReadRecord(s);
  return std::unique_ptr<TRRPanelDesc>(dynamic_cast<TRRPanelDesc*>(back.release()));
}

std::vector<uint32_t> Layers(const TRRPanel& p, int64_t x, int64_t y) {
  std::vector<uint32_t> l;
  p.GetPointLayers(x, y, l);
  std::sort(l.begin(), l.end());
  return l;
}

bool IsInvalidDescription(const std::exception& e) {
  return std::string(e.what()).find(RRTextInvalidDescription) != std::string::npos;
}

}  // namespace

TEST(RRPanelParams, RecordBytesAreLittleEndianWithZeroPadding) {
  TRRPanelParams p = Shape(3, 300, 150, 80, 70, 0x01020304, 150, 10);
  p.Thickness = 5.0f;
  const auto b = p.ToBytes();
  const uint8_t expected[36] = {3, 0, 0, 0, 0x2C, 1, 0,   0, 150, 0, 0,  0, 80, 0, 0, 0, 70,   0,
                                0, 0, 4, 3, 2,    1, 150, 0, 0,   0, 10, 0, 0,  0, 0, 0, 0xA0, 0x40};
  EXPECT_TRUE(std::equal(b.begin(), b.end(), expected));
  EXPECT_EQ(TRRPanelParams::FromBytes(b), p);
}

TEST(RRPanelParams, PartitionsAndExteriorEdgesPerShape) {
  struct Case {
    TRRPanelParams Params;
    std::vector<std::array<uint32_t, 4>> Rects;
    int32_t BackStart, BackEnd;  // partition 0's back edge
  };
  // g = 30, h = 15, m = 8, l = 8, e = 6, f = 12 (grid 10)
  const Case cases[] = {
      {Rect(300, 150, 10), {{0, 0, 30, 15}}, 0, 30},
      {Shape(1, 300, 150, 80, 70, 0, 0, 10), {{0, 0, 30, 8}, {0, 8, 8, 15}}, 8, 30},
      {Shape(2, 300, 150, 80, 70, 0, 0, 10), {{0, 0, 30, 8}, {22, 8, 30, 15}}, 0, 22},
      {Shape(3, 300, 150, 80, 70, 60, 120, 10), {{0, 0, 30, 8}, {0, 8, 8, 15}, {24, 8, 30, 12}}, 8, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Params.Shape));
    ASSERT_TRUE(RRCheckPanelParams(c.Params));
    const auto shapes = RRPanelPartitionShapes(c.Params);
    ASSERT_EQ(shapes.size(), c.Rects.size());
    for (size_t k = 0; k < shapes.size(); ++k) {
      EXPECT_EQ((std::array<uint32_t, 4>{shapes[k].X0, shapes[k].Y0, shapes[k].X1, shapes[k].Y1}),
                c.Rects[k]);
      EXPECT_EQ(shapes[k].Edges[RRPanelEdgeFront].Exterior, k == 0 ? 1 : 0);
      for (int e : {RRPanelEdgeLeft, RRPanelEdgeRight}) EXPECT_EQ(shapes[k].Edges[e].Exterior, 1);
    }
    EXPECT_EQ(shapes[0].Edges[RRPanelEdgeBack].StartX, c.BackStart);
    EXPECT_EQ(shapes[0].Edges[RRPanelEdgeBack].EndX, c.BackEnd);
    auto panel = MakePanel(c.Params);
    EXPECT_EQ(panel->PartitionCount(), int(c.Rects.size()));
    EXPECT_NEAR(panel->Pivot().x, 150.0f, 1e-4);
  }
  EXPECT_TRUE(RRPanelPartitionShapes(Shape(4, 300, 150, 0, 0, 0, 0, 10)).empty());
}

TEST(RRPanelParams, FaultyRecordsAreRefusedBeforeThePanelChanges) {
  TRRPanelParams thin = Rect(300, 150, 10);
  thin.Thickness = 0.05f;
  TRRPanelParams nan = Rect(300, 150, 10);
  nan.Thickness = std::numeric_limits<float>::quiet_NaN();
  const TRRPanelParams bad[] = {
      Rect(300, 150, 0),                         // grid 0
      Rect(305, 150, 10),                        // not a multiple
      Shape(1, 300, 150, 80, 160, 0, 0, 10),     // D > B
      Shape(2, 300, 150, 310, 70, 0, 0, 10),     // C > A
      Shape(3, 300, 150, 80, 70, 310, 150, 10),  // E > A
      Shape(3, 300, 150, 80, 70, 60, 50, 10),    // F / q < l
      Rect(200000, 150, 10),                     // above the cap
      Rect(30000, 30000, 10),                    // too many points
      thin,
      nan,
  };
  auto panel = MakePanel(Rect(100, 50, 10));
  panel->SetHeight(3, 2, 7.5f);
  for (const TRRPanelParams& p : bad) {
    SCOPED_TRACE(p.A * 1000 + p.C);
    EXPECT_FALSE(RRCheckPanelParams(p));
    TRRPanelDesc d;
    d.Params() = p;
    try {
      panel->LoadFromDesc(d);
      ADD_FAILURE() << "accepted";
    } catch (const gx::EGXException& e) {
      EXPECT_TRUE(IsInvalidDescription(e));
    }
    EXPECT_THROW(panel->SetParams(p), gx::EGXException);
    EXPECT_EQ(panel->PartitionCount(), 1);
    EXPECT_EQ(panel->GetHeight(3, 2), 7.5f);
  }
}

TEST(RRPanelDesc, PayloadRoundTripAndVersions) {
  TRRPanelDesc d;
  d.Params() = Shape(1, 300, 150, 80, 70, 0, 0, 10);
  d.Textures().push_back({TRRAssetFileName("Moos.dds", "Eigene\\Moos.dds"), 0.02f});
  d.SetData({1, 2, 3});
  d.SetTransparent(true);
  auto back = ThroughRecord(d);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Params(), d.Params());
  EXPECT_EQ(back->Data(), d.Data());
  ASSERT_EQ(back->Textures().size(), 1u);
  EXPECT_EQ(back->Textures()[0].FileName.RelativeName, "Eigene\\Moos.dds");
  EXPECT_EQ(back->Textures()[0].Scale, 0.02f);
  EXPECT_TRUE(back->Transparent());

  // The panel payload alone: version, record, data, textures, transparent.
  auto payload = [](int32_t version, const std::string& v1Name) {
    gx::TGXMemoryStream s;
    TRREntityDescription base;
    base.TRREntityDescription::SaveToStream(s);
    gx::WriteInteger(s, version);
    Rect(100, 50, 10).WriteToStream(s);
    gx::WriteInteger(s, 0);
    gx::WriteInteger(s, 1);
    gx::WriteWideString(s, v1Name);
    gx::WriteSingle(s, 0.03f);
    gx::WriteByte(s, 0);
    s.Seek(0, gx::TGXSeekOrigin::Begin);
    return s;
  };
  struct Case {
    std::string Stored, Relative, Name;
  };
  const Case names[] = {
      {"Game:\\{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\PanelTextures\\Wiese.dds",
       "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\PanelTextures\\Wiese.dds", "Wiese.dds"},
      {"User:\\Eigene\\Kies.dds", "User:\\Eigene\\Kies.dds", "Kies.dds"},  // only "Game:\" is dropped
  };
  for (const Case& c : names) {
    auto s = payload(1, c.Stored);
    TRRPanelDesc v1;
    v1.LoadFromStream(s);
    ASSERT_EQ(v1.Textures().size(), 1u);
    EXPECT_EQ(v1.Textures()[0].FileName.RelativeName, c.Relative);
    EXPECT_EQ(v1.Textures()[0].FileName.FileName, c.Name);
  }
  auto s3 = payload(3, "x");
  TRRPanelDesc v3;
  EXPECT_THROW(v3.LoadFromStream(s3), EUnknownEntityDescription);
}

TEST(RRPanelDesc, LegacyPropertyBag) {
  auto bag = [](size_t paramsSize, int32_t textureCount) {
    TRREntityDescription_10 b("TRRPanel_10", "TRRPanelDesc");
    auto bytes = Rect(100, 50, 10).ToBytes();
    std::vector<uint8_t> params(bytes.begin(), bytes.end());
    params.resize(paramsSize);
    b.AddProperty(TRREntityPropertyType_10::Memory, "PanelParams", params);
    std::vector<uint8_t> count(4);
    std::memcpy(count.data(), &textureCount, 4);
    b.AddProperty(TRREntityPropertyType_10::Integer, "TextureCount", count);
    std::string file = "C:\\Texturen\\Bergmoos gruen.bmp";
    b.AddProperty(TRREntityPropertyType_10::Filename, "TextureName0",
                  std::vector<uint8_t>(file.begin(), file.end()));
    return b;
  };
  std::string model;
  TRRPanelDesc d;
  d.LoadFromPropertyBag(bag(36, 2), model);
  EXPECT_EQ(d.Params(), Rect(100, 50, 10));
  ASSERT_EQ(d.Textures().size(), 2u);
  EXPECT_EQ(d.Textures()[0].FileName.FileName, "Fels mit Moos.dds");
  EXPECT_EQ(d.Textures()[0].FileName.RelativeName, std::string(RRPanelTextureFolder) + "Fels mit Moos.dds");
  EXPECT_TRUE(d.Textures()[1].FileName.IsEmpty());
  EXPECT_EQ(d.Textures()[1].Scale, 0.0f);

  // A huge count is bounded by the properties the bag has.
  TRRPanelDesc big;
  big.LoadFromPropertyBag(bag(36, 0x7FFFFFFF), model);
  EXPECT_LE(big.Textures().size(), 3u);

  TRRPanelDesc refused;
  try {
    refused.LoadFromPropertyBag(bag(35, 0), model);
    ADD_FAILURE();
  } catch (const gx::EGXException& e) {
    EXPECT_TRUE(IsInvalidDescription(e));
    EXPECT_NE(std::string(e.what()).find("LoadFromOldDescription"), std::string::npos);
  }
}

TEST(RRPanel, EmptyDataGivesAFlatWoodenPanelAndRoundTripsKeepHeightsAndLayers) {
  auto panel = MakePanel(Shape(1, 100, 60, 40, 30, 0, 0, 10));
  EXPECT_EQ(panel->TextureCount(), RRPanelBuiltInTextureCount);
  EXPECT_EQ(Layers(*panel, 0, 0), (std::vector<uint32_t>{255}));
  panel->SetHeight(2, 1, 4.25f);
  panel->SetHeight(1, 3, -2.0f);  // negatives are kept
  panel->SetHeight(2, 5, std::numeric_limits<float>::infinity());
  panel->SetTextureWeight(9, 2, true, 200, 1);
  panel->SetTextureWeight(7, 2, false, 40, 1);
  panel->SetTextureWeight(9, 1, true, 128, 3);  // on the shared row (l = 3)
  const auto before = Layers(*panel, 2, 1);

  auto desc = std::unique_ptr<TRREntityDescription>(panel->CreateDescription());
  auto back = ThroughRecord(*desc);
  ASSERT_TRUE(back);
  TRRPanel copy(nullptr, nullptr, *back);
  EXPECT_EQ(copy.GetHeight(2, 1), 4.25f);
  EXPECT_EQ(copy.GetHeight(1, 3), -2.0f);
  EXPECT_EQ(copy.GetHeight(2, 5), 0.0f);
  EXPECT_EQ(Layers(copy, 2, 1), before);
  // A weight of 128 reads back as 128; the shared row holds one wood layer, not two.
  EXPECT_EQ(copy.GetTextureWeight(9, 1, 3), 128);
  EXPECT_EQ(Layers(copy, 1, 3), Layers(*panel, 1, 3));
  EXPECT_EQ(Layers(copy, 1, 3).size(), 2u);
  copy.ForEachGridPoint([&](int64_t x, int64_t y) {
    ASSERT_EQ(copy.GetHeight(x, y), panel->GetHeight(x, y));
    ASSERT_EQ(Layers(copy, x, y), Layers(*panel, x, y));
  });
  EXPECT_EQ(copy.GridPointCount(), 11u * 4 + 5u * 3);
}

TEST(RRPanel, StoredLayersNamingMissingTexturesGoToWoodAndCountZeroIsWood) {
  TRRPanelDesc d;
  d.Params() = Rect(10, 10, 10);  // 4 points
  std::vector<uint8_t> raw;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) raw.push_back(uint8_t(v >> (8 * i)));
  };
  for (int i = 0; i < 4; ++i) u32(0);                 // heights
  u32(0);                                             // point 0: count 0 -> wood 255
  u32(2), u32(0u << 16 | 100), u32(40u << 16 | 100);  // point 1: missing texture 40 adds to wood
  u32(1), u32(5u << 16 | 0x1FF);                      // point 2: weight clamps to 255
  u32(1), u32(3u << 16 | 0);                          // point 3: weight 0 is no layer
  d.SetData(RRPanelDeflate(raw));
  TRRPanel panel(nullptr, nullptr, d);
  EXPECT_EQ(Layers(panel, 0, 0), (std::vector<uint32_t>{255}));
  EXPECT_EQ(Layers(panel, 1, 0), (std::vector<uint32_t>{200}));
  EXPECT_EQ(Layers(panel, 0, 1), (std::vector<uint32_t>{5u << 16 | 255}));
  EXPECT_TRUE(Layers(panel, 1, 1).empty());

  // Truncated, trailing or corrupt grid data is refused and the panel stays as it was.
  for (size_t cut : {raw.size() - 1, raw.size() + 4}) {
    std::vector<uint8_t> bad = raw;
    bad.resize(cut, 0);
    TRRPanelDesc b;
    b.Params() = d.Params();
    b.SetData(RRPanelDeflate(bad));
    EXPECT_THROW(panel.LoadFromDesc(b), gx::EGXException);
  }
  TRRPanelDesc corrupt;
  corrupt.Params() = d.Params();
  corrupt.SetData({0x78, 0x9C, 1, 2, 3});
  EXPECT_THROW(panel.LoadFromDesc(corrupt), gx::EGXException);
  EXPECT_EQ(Layers(panel, 1, 0), (std::vector<uint32_t>{200}));
}

TEST(RRPanel, ResamplingKeepsTerrain) {
  auto panel = MakePanel(Rect(20, 10, 10));
  panel->SetHeight(1, 0, 10.0f);
  panel->SetHeight(1, 1, 20.0f);
  panel->SetTextureWeight(9, 1, true, 255, 0);
  panel->SetParams(Rect(20, 10, 5));
  EXPECT_EQ(panel->GetHeight(2, 0), 10.0f);
  EXPECT_EQ(panel->GetHeight(1, 0), 5.0f);  // bilinear between 0 and 10
  EXPECT_EQ(panel->GetHeight(3, 1), 7.5f);  // (15 cm, 5 cm) between 10, 0, 20 and 0
  // Half a cell goes to the lower point: (5, 0) takes point (0, 0), (15, 0) point (1, 0).
  EXPECT_EQ(Layers(*panel, 1, 0), (std::vector<uint32_t>{255}));
  EXPECT_EQ(Layers(*panel, 3, 0), (std::vector<uint32_t>{9u << 16 | 255}));

  auto l = MakePanel(Shape(1, 40, 40, 20, 20, 0, 0, 10));
  l->SetHeight(1, 1, 8.0f);
  l->SetParams(Rect(40, 40, 10));
  EXPECT_EQ(l->GetHeight(1, 1), 8.0f);
  EXPECT_EQ(l->GetHeight(4, 4), 0.0f);
  EXPECT_EQ(Layers(*l, 4, 4), (std::vector<uint32_t>{255}));
  // Thickness alone changes nothing else.
  TRRPanelParams thick = l->Params();
  thick.Thickness = 12.5f;
  l->SetParams(thick);
  EXPECT_EQ(l->Params().Thickness, 12.5f);
  EXPECT_EQ(l->GetHeight(1, 1), 8.0f);
}

TEST(RRPanel, WeightsRiseAndNormaliseWithTiesToEven) {
  auto panel = MakePanel(Rect(10, 10, 10));
  panel->SetTextureWeight(3, 0, false, 150, 0);  // wood 255 is there too
  panel->SetTextureWeight(4, 0, true, 200, 0);   // others: 255 and 150, sum 405
  EXPECT_EQ(panel->GetTextureWeight(4, 0, 0), 200);
  EXPECT_EQ(panel->GetTextureWeight(0, 0, 0), 35);  // 255 * 55 / 405 = 34.6
  EXPECT_EQ(panel->GetTextureWeight(3, 0, 0), 20);  // 150 * 55 / 405 = 20.4
  panel->SetTextureWeight(4, 0, true, 100, 0);      // never lowers
  EXPECT_EQ(panel->GetTextureWeight(4, 0, 0), 200);
  // An index outside the list adds to the default texture without normalising.
  panel->SetTextureWeight(99, 0, false, 250, 0);
  EXPECT_EQ(panel->GetTextureWeight(0, 0, 0), 255);
}

TEST(RRPanel, TextureListAddRemoveReplace) {
  auto panel = MakePanel(Rect(10, 10, 10));
  const int kies = panel->AddTexture(TRRAssetFileName("C:\\Kies.dds"), 0.03f);
  EXPECT_EQ(kies, RRPanelBuiltInTextureCount);
  EXPECT_EQ(panel->AddTexture(TRRAssetFileName("c:\\KIES.dds"), 1.0f), kies);
  const int sand = panel->AddTexture(TRRAssetFileName("C:\\Sand.dds"), 0.03f);
  panel->SetTextureWeight(kies, 0, true, 255, 0);
  panel->SetTextureWeight(sand, 1, true, 255, 0);
  panel->SetTextureWeight(kies, 1, false, 30, 1);
  panel->SetTextureWeight(5, 1, true, 255, 1);

  panel->RemoveTexture(kies);
  EXPECT_EQ(panel->TextureCount(), 13);
  EXPECT_EQ(Layers(*panel, 0, 0), (std::vector<uint32_t>{255}));                             // to wood
  EXPECT_EQ(Layers(*panel, 1, 0), (std::vector<uint32_t>{uint32_t(sand - 1) << 16 | 255}));  // moved down
  EXPECT_EQ(panel->TextureEntry(sand - 1).FileName.FileName, "C:\\Sand.dds");

  // Removing the default texture, an index outside the list or replacing by itself do nothing;
  // removing a built-in brings it back at the end.
  const auto layers = Layers(*panel, 1, 1);
  panel->RemoveTexture(0);
  panel->RemoveTexture(99);
  panel->ReplaceTexture(4, 4);
  EXPECT_EQ(panel->TextureCount(), 13);
  EXPECT_EQ(Layers(*panel, 1, 1), layers);

  // A user texture replaced by a built-in: weights go to the built-in, the user texture comes
  // back last without weights.
  panel->ReplaceTexture(sand - 1, 8);
  EXPECT_EQ(panel->TextureCount(), 13);
  EXPECT_EQ(panel->TextureEntry(12).FileName.FileName, "C:\\Sand.dds");
  EXPECT_EQ(panel->GetTextureWeight(8, 1, 0), 255);
  EXPECT_EQ(panel->GetTextureWeight(12, 1, 0), 0);
  EXPECT_EQ(Layers(*panel, 1, 1), layers);
}

TEST(RRPanel, ASmallBoardPaintedWithManyTexturesLoadsAgain) {
  // Four points each holding 30 layers: more per point than a large board's stream may average.
  auto panel = MakePanel(Rect(10, 10, 10));
  for (int k = 0; k < 18; ++k) panel->AddTexture(TRRAssetFileName("C:\\Boden" + std::to_string(k) + ".dds"), 1.0f);
  ASSERT_EQ(panel->TextureCount(), 30);
  panel->ForEachGridPoint([&](int64_t x, int64_t y) {
    for (int t = 0; t < panel->TextureCount(); ++t) panel->SetTextureWeight(t, x, false, 5 + t, y);
  });
  ASSERT_EQ(Layers(*panel, 1, 1).size(), 30u);
  auto back = ThroughRecord(*panel->CreateDescription());
  ASSERT_TRUE(back);
  TRRPanel copy(nullptr, nullptr, *back);
  panel->ForEachGridPoint([&](int64_t x, int64_t y) { EXPECT_EQ(Layers(copy, x, y), Layers(*panel, x, y)); });
}

TEST(RRPanel, UnloadableTexturesKeepTheirPlaceWeightsAndNames) {
  TRRPanelDesc d;
  d.Params() = Rect(10, 10, 10);
  d.Textures().push_back(
      {TRRAssetFileName("Fehlt.dds", "{00000000-0000-0000-0000-000000000000}\\Fehlt.dds"), 0.5f});
  TRRPanel panel(nullptr, nullptr, d);
  panel.SetTextureWeight(0, 1, true, 255, 1);
  panel.SetTextureWeight(0, 0, false, 90, 0);
  EXPECT_FALSE(panel.GetTexture(0).Loaded());
  auto desc = panel.CreateDescription();
  auto back = ThroughRecord(*desc);
  EXPECT_EQ(back->Textures()[0].FileName.FileName, "Fehlt.dds");
  EXPECT_EQ(back->Textures()[0].Scale, 0.5f);
  TRRPanel again(nullptr, nullptr, *back);
  EXPECT_EQ(again.GetTextureWeight(0, 1, 1), 255);
  EXPECT_EQ(again.GetTextureWeight(0, 0, 0), 255);
}

TEST(RRPanel, SnapshotsShareUntouchedBlocksAndRestore) {
  auto panel = MakePanel(Rect(1000, 100, 10));  // 101 x 11 points: 4 blocks
  auto first = panel->TakeSnapshot();
  EXPECT_EQ(panel->TakeSnapshot(), first);  // nothing changed: the same snapshot
  panel->SetHeight(5, 5, 3.0f);
  panel->SetTextureWeight(9, 5, true, 255, 5);
  auto second = panel->TakeSnapshot();
  ASSERT_EQ(second->Blocks.size(), 4u);
  EXPECT_NE(second->Blocks[0], first->Blocks[0]);
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(second->Blocks[i], first->Blocks[i]);

  TRRPanelDesc fromSnapshot, saved;
  panel->WriteSnapshotToDesc(*second, fromSnapshot);
  panel->SaveToDesc(saved, panel->Params());
  EXPECT_EQ(fromSnapshot.Grid()->Encode(), saved.Grid()->Encode());
  EXPECT_EQ(fromSnapshot.Data(), saved.Data());

  panel->RestoreSnapshot(first);
  EXPECT_EQ(panel->GetHeight(5, 5), 0.0f);
  EXPECT_EQ(Layers(*panel, 5, 5), (std::vector<uint32_t>{255}));
  panel->RestoreSnapshot(second);
  EXPECT_EQ(panel->GetHeight(5, 5), 3.0f);
  EXPECT_EQ(Layers(*panel, 5, 5), (std::vector<uint32_t>{9u << 16 | 255}));

  // A snapshot of another record (after a shape change) rebuilds the panel.
  panel->SetParams(Rect(500, 100, 10));
  panel->RestoreSnapshot(second);
  EXPECT_EQ(panel->Params(), Rect(1000, 100, 10));
  EXPECT_EQ(panel->GetHeight(5, 5), 3.0f);
}

TEST(RRPanel, SnapshotDescriptionsShareBlocksWriteTheSavedBytesAndLoadDirectly) {
  // A U of three partitions sharing grid rows, 61 x 31 points: blocks in every partition.
  auto panel = MakePanel(Shape(3, 300, 150, 80, 70, 60, 120, 5));
  const int moss = panel->AddTexture(TRRAssetFileName("Moos.dds", "Eigene\\Moos.dds"), 0.5f);
  auto stroke = [&](int64_t x0, int64_t y0, float h) {
    for (int64_t y = y0; y < y0 + 4; ++y)
      for (int64_t x = x0; x < x0 + 4; ++x) {
        panel->SetHeight(x, y, h + float(x + y));
        panel->SetTextureWeight(moss, x, true, 180, y);
      }
  };
  stroke(2, 14, 1.5f);  // across the row shared by the first two partitions
  auto first = panel->TakeSnapshot();
  TRRPanelDesc descFirst;
  panel->WriteSnapshotToDesc(first, descFirst);
  EXPECT_EQ(descFirst.Snapshot(), first);

  stroke(40, 2, 4.0f);  // the second block of the first partition only
  auto second = panel->TakeSnapshot();
  TRRPanelDesc descSecond;
  panel->WriteSnapshotToDesc(second, descSecond);
  ASSERT_EQ(descSecond.Snapshot()->Blocks.size(), first->Blocks.size());
  size_t shared = 0;
  for (size_t i = 0; i < first->Blocks.size(); ++i)
    shared += descSecond.Snapshot()->Blocks[i] == descFirst.Snapshot()->Blocks[i];
  EXPECT_EQ(shared, first->Blocks.size() - 1);

  // Written to a stream, the description is byte for byte the one SaveToDesc gives.
  TRRPanelDesc saved;
  panel->SaveToDesc(saved, panel->Params());
  gx::TGXMemoryStream fromSnapshot, fromSave;
  descSecond.SaveToStream(fromSnapshot);
  saved.SaveToStream(fromSave);
  EXPECT_EQ(fromSnapshot.Data(), fromSave.Data());
  EXPECT_EQ(ThroughRecord(descSecond)->Data(), saved.Data());

  // A panel built from the blocks holds every point as the panel did, also on shared rows.
  for (const TRRPanelDesc* d : {&descFirst, &descSecond}) {
    TRRPanel built(nullptr, nullptr, *d);
    TRRPanelDesc again;
    built.SaveToDesc(again, built.Params());
    const TRRPanelSnapshot& snap = *d->Snapshot();
    TRRPanelDesc viaGrid;
    viaGrid.Params() = snap.Params;
    viaGrid.SetGrid(RRPanelGridFromSnapshot(snap));
    EXPECT_EQ(again.Data(), viaGrid.Data());
  }
  TRRPanel built(nullptr, nullptr, descSecond);
  panel->ForEachGridPoint([&](int64_t x, int64_t y) {
    ASSERT_EQ(built.GetHeight(x, y), panel->GetHeight(x, y));
    ASSERT_EQ(Layers(built, x, y), Layers(*panel, x, y));
  });

  // A record that differs from the snapshot's is refused.
  TRRPanelDesc other;
  panel->WriteSnapshotToDesc(second, other);
  other.Params() = Rect(300, 150, 5);
  try {
    TRRPanel refused(nullptr, nullptr, other);
    ADD_FAILURE() << "loaded a snapshot of another record";
  } catch (const std::exception& e) {
    EXPECT_TRUE(IsInvalidDescription(e)) << e.what();
  }
}

TEST(RRPanelHeightFiles, PictureImportMapsTheGreyRangeInsideThePanel) {
  auto panel = MakePanel(Rect(30, 20, 10));  // 4 x 3 points
  gx::TGXImage picture;
  picture.Width = 3, picture.Height = 2;
  picture.Pixels = {0xFF000010, 0xFF000020, 0xFF000030, 0xFF000010, 0xFF000010, 0xFF000010};
  RRImportPanelHeights(*panel, TRRHeightFile{TRRHeightFileKind::Picture, picture, {}}, 10.0f, 30.0f, 2, -1);
  // Origin (2, -1): the first row falls outside; row 1 lands on grid row 0, columns 2..3 only.
  EXPECT_EQ(panel->GetHeight(2, 0), 10.0f);
  EXPECT_EQ(panel->GetHeight(3, 0), 10.0f);
  EXPECT_EQ(panel->GetHeight(0, 0), 0.0f);
  RRImportPanelHeights(*panel, TRRHeightFile{TRRHeightFileKind::Picture, picture, {}}, 10.0f, 30.0f, 0, 0);
  EXPECT_EQ(panel->GetHeight(0, 0), 10.0f);
  EXPECT_EQ(panel->GetHeight(1, 0), 20.0f);
  EXPECT_EQ(panel->GetHeight(2, 0), 30.0f);
  EXPECT_EQ(panel->GetHeight(3, 0), 0.0f);  // reset first
  // A flat picture gives low.
  picture.Pixels.assign(6, 0xFF808080);
  RRImportPanelHeights(*panel, TRRHeightFile{TRRHeightFileKind::Picture, picture, {}}, 7.0f, 30.0f, 0, 0);
  EXPECT_EQ(panel->GetHeight(1, 1), 7.0f);
}

TEST(RRPanelHeightFiles, TextLines) {
  struct Case {
    const char* Line;
    bool Valid;
    int32_t X, Y;
    float H;
  };
  const Case cases[] = {
      {"1,2,3.5", true, 1, 2, 3.5f},
      {"\xEF\xBB\xBF"
       "0,0,1",
       true, 0, 0, 1.0f},
      {" 4 , 5 , -2.25 \r", true, 4, 5, -2.25f},
      {"1,2,3.5,extra", true, 1, 2, 3.5f},
      {"1,2", false},
      {"1.5,2,3", false},
      {"4294967296,0,1", false},
      {"1,2,nan", false},
      {"1,2,inf", false},
      {"1,2,1e39", false},
      {"1,2,3,5", true, 1, 2, 3.0f},
      {"x,2,3", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Line);
    int32_t x = -7, y = -7;
    float h = -7;
    ASSERT_EQ(RRParseHeightLine(c.Line, x, y, h), c.Valid);
    if (c.Valid) {
      EXPECT_EQ(x, c.X);
      EXPECT_EQ(y, c.Y);
      EXPECT_EQ(h, c.H);
    }
  }
  // Offsets add in 64 bits: an origin far out never wraps into the panel.
  auto panel = MakePanel(Rect(30, 20, 10));
  panel->ImportHeightsFromText({"2147483647,0,5", "-2147483648,0,6"}, 2147483647, 0);
  panel->ImportHeightsFromText({"1,1,9"}, 0, 0);
  panel->ForEachGridPoint(
      [&](int64_t x, int64_t y) { EXPECT_EQ(panel->GetHeight(x, y), x == 1 && y == 1 ? 9.0f : 0.0f); });
}

TEST(RRPanelHeightFiles, ExportAndImportAgree) {
  auto panel = MakePanel(Shape(2, 40, 30, 20, 10, 0, 0, 10));
  panel->SetHeight(0, 0, 2.0f);
  panel->SetHeight(4, 3, 12.0f);
  panel->SetHeight(1, 1, 7.0f);
  float lo, hi;
  const auto text = RRExportPanelHeights(*panel, TRRHeightExportFormat::Text, lo, hi);
  EXPECT_EQ(lo, 0.0f);
  EXPECT_EQ(hi, 12.0f);
  auto other = MakePanel(panel->Params());
  RRImportPanelHeights(*other, RRReadHeightFile(text, TRRHeightFileKind::Text), 0, 0, 0, 0);
  panel->ForEachGridPoint(
      [&](int64_t x, int64_t y) { EXPECT_EQ(other->GetHeight(x, y), panel->GetHeight(x, y)); });

  for (auto format : {TRRHeightExportFormat::Png, TRRHeightExportFormat::Bmp}) {
    const auto bytes = RRExportPanelHeights(*panel, format, lo, hi);
    const TRRHeightFile file = RRReadHeightFile(bytes, TRRHeightFileKind::Picture);
    ASSERT_EQ(file.Picture.Width, 5u);
    ASSERT_EQ(file.Picture.Height, 4u);
    EXPECT_EQ(file.Picture.Pixel(4, 3) & 0xFF, 255u);
    EXPECT_EQ(file.Picture.Pixel(0, 3) & 0xFF, 0u);  // outside the outline
    auto back = MakePanel(panel->Params());
    RRImportPanelHeights(*back, file, lo, hi, 0, 0);
    EXPECT_NEAR(back->GetHeight(1, 1), 7.0f, 12.0f / 255);
    EXPECT_EQ(back->GetHeight(4, 3), 12.0f);
  }
  // No partitions: nothing to export.
  auto none = MakePanel(Shape(5, 40, 30, 0, 0, 0, 0, 10));
  EXPECT_THROW(RRExportPanelHeights(*none, TRRHeightExportFormat::Png, lo, hi), gx::EGXException);
  EXPECT_THROW(RRReadHeightFile(std::vector<uint8_t>{1, 2, 3}, TRRHeightFileKind::Picture), gx::EGXException);
}

TEST(RRPanelHeightFiles, RoutingOriginAndRange) {
  EXPECT_EQ(RRHeightFileKindOf("a/B.JPEG"), TRRHeightFileKind::Picture);
  EXPECT_EQ(RRHeightFileKindOf("b.Png"), TRRHeightFileKind::Picture);
  EXPECT_EQ(RRHeightFileKindOf("c.csv"), TRRHeightFileKind::Text);
  EXPECT_EQ(RRHeightFileKindOf("d.bmp.txt"), TRRHeightFileKind::Text);
  EXPECT_EQ(RRHeightExportFormatOf("x.JPG"), TRRHeightExportFormat::Text);
  EXPECT_EQ(RRHeightImportOrigin(25, 10), 2);
  EXPECT_EQ(RRHeightImportOrigin(35, 10), 4);
  EXPECT_EQ(RRHeightImportOrigin(-10, 10), -1);
  EXPECT_EQ(RRHeightImportOrigin(1e300, 10), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(RRClampImportHeight(20000), 10000.0f);
  EXPECT_EQ(RRClampImportHeight(-5), 0.0f);
}

TEST(RRPanelShape, Normalisation) {
  auto u = RRNormalisePanelShape(Shape(3, 300, 150, 200, 70, 150, 60, 10));
  EXPECT_EQ(u.Params.C, 149u);
  EXPECT_EQ(u.Params.E, 150u);
  EXPECT_EQ(u.Params.F, 81u);
  EXPECT_EQ(u.Candidates, (std::vector<uint32_t>{1}));

  auto r = RRNormalisePanelShape(Rect(300, 150, 10));
  EXPECT_EQ(r.Candidates, (std::vector<uint32_t>{1, 2, 3, 5, 6, 10, 15, 25, 30, 50, 75, 150}));
  EXPECT_EQ(r.Params.QuadWidth, 5u);
  EXPECT_EQ(r.Params.C, 0u);

  // E at A: A - E - 1 would go below 0; E is held at A - 2 first.
  auto e = RRNormalisePanelShape(Shape(3, 300, 150, 80, 70, 300, 150, 10));
  EXPECT_TRUE(RRCheckPanelParams(e.Params));
  EXPECT_EQ(e.Params.E, 298u);
  EXPECT_EQ(e.Params.C, 1u);
  // Candidates stay within the point cap.
  auto big = RRNormalisePanelShape(Rect(100000, 100000, 10));
  EXPECT_TRUE(RRCheckPanelParams(big.Params));
  EXPECT_GT(big.Candidates.front(), 1u);
  // Zero and one become one; a rectangle keeps that size, an L or U grows to hold its cut-out.
  struct TCase {
    uint8_t Shape;
    uint32_t A, B, WantA, WantB;
  } small[] = {{0, 0, 1, 1, 1}, {0, 1, 2, 1, 2}, {1, 1, 1, 2, 2}, {2, 0, 0, 2, 2}, {3, 1, 1, 3, 2}};
  for (const TCase& c : small) {
    auto n = RRNormalisePanelShape(Shape(c.Shape, c.A, c.B, 1, 1, 1, 1, 1));
    EXPECT_EQ(n.Params.A, c.WantA) << int(c.Shape);
    EXPECT_EQ(n.Params.B, c.WantB) << int(c.Shape);
    EXPECT_TRUE(RRCheckPanelParams(n.Params)) << int(c.Shape);
  }
}
