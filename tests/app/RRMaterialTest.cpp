// Model materials: the material description stream, sub-mesh paths, feature bits and effect
// names, shared and private materials with their parameters, colour and file textures, the
// derivation from models, and the failures that must never stop a layout from loading.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <regex>
#include <tuple>

#include "app/RRMaterial.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RREntityDescription.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXEntity.h"
#include "tests/app/MaterialTestSupport.h"

namespace rr::test {
namespace {

using gx::TGXVector3;

// ---- bytes ----

void PutInt(std::vector<uint8_t>& b, int32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}
void PutFloat(std::vector<uint8_t>& b, float f) {
  int32_t v;
  std::memcpy(&v, &f, 4);
  PutInt(b, v);
}
void PutText(std::vector<uint8_t>& b, const std::string& s) {
  PutInt(b, int32_t(s.size()));
  b.insert(b.end(), s.begin(), s.end());
}

// The stored form of a default sub description, built field by field from the layout.
std::vector<uint8_t> DefaultSubBytes() {
  std::vector<uint8_t> b = {1, 1};
  for (float f : {0.8f, 0.8f, 0.8f, 0.9f, 0.9f, 0.9f, 1.0f, 1.0f, 1.0f}) PutFloat(b, f);
  PutText(b, "");
  PutText(b, "");
  PutFloat(b, 1.0f);
  PutFloat(b, 1.0f);
  b.push_back(0), PutInt(b, 0);       // alpha test, reference
  b.push_back(0), PutFloat(b, 1.0f);  // transparency, opacity
  b.push_back(0), PutFloat(b, 0.0f);  // additive blending, depth bias
  b.push_back(0), PutFloat(b, 0.0f);  // reflection mode, strength
  return b;
}

std::vector<uint8_t> Saved(const TRRMaterialDesc& d) {
  gx::TGXMemoryStream s;
  d.SaveToStream(s);
  return s.Data();
}

TRRMaterialDesc Loaded(std::vector<uint8_t> bytes) {
  gx::TGXMemoryStream s(std::move(bytes));
  TRRMaterialDesc d;
  d.LoadFromStream(s);
  return d;
}

TRRMaterialSubDesc Unusual() {
  TRRMaterialSubDesc sub;
  sub.TwoSided = false;
  sub.Lit = false;
  sub.Ambient = {0.1f, 0.2f, 0.3f};
  sub.Diffuse = {0.4f, 0.5f, 0.6f};
  sub.Specular = {0.7f, 0.8f, 0.9f};
  sub.DiffuseMap =
      TRRAssetFileName("C:\\Modelle\\Dach Ä.dds", "{11111111-2222-3333-4444-555555555555}\\Dach Ä.dds");
  sub.TextureScaling = {2.0f, 0.5f};
  sub.AlphaTest = true;
  sub.AlphaReference = 150;
  sub.Transparency = true;
  sub.Opacity = 0.25f;
  sub.AdditiveBlending = true;
  sub.DepthBias = -0.001f;
  sub.ReflectionMode = 2;
  sub.ReflectionStrength = 0.75f;
  return sub;
}

// ---- the stream ----

TEST(TRRMaterialDescStream, DefaultEntryHasTheStoredLayoutAndTheSmallestSize) {
  TRRMaterialDesc d;
  d.Set("", TRRMaterialSubDesc());
  std::vector<uint8_t> expected;
  PutInt(expected, 1);
  PutInt(expected, 1);
  PutText(expected, "");
  const std::vector<uint8_t> sub = DefaultSubBytes();
  expected.insert(expected.end(), sub.begin(), sub.end());
  EXPECT_EQ(Saved(d), expected);
  // The count check assumes this size per entry: it must be what an entry really can be.
  EXPECT_EQ(int64_t(expected.size() - 8), TRRMaterialDesc::MinEntrySize);
  EXPECT_EQ(TRRMaterialSubDesc().SerializedBytes(), sub);
}

TEST(TRRMaterialDescStream, KeepsEveryFieldAndSortsKeysIgnoringCase) {
  TRRMaterialDesc d;
  d.Set("Root\\Node_1\\Mesh_0\\SubMesh_0", TRRMaterialSubDesc());
  d.Set("root\\mesh_0\\submesh_1", Unusual());
  d.Set("Root\\Mesh_0\\SubMesh_0", TRRMaterialSubDesc());
  ASSERT_EQ(d.Count(), 3);
  EXPECT_EQ(d.Key(0), "Root\\Mesh_0\\SubMesh_0");
  EXPECT_EQ(d.Key(1), "root\\mesh_0\\submesh_1");
  EXPECT_EQ(d.Key(2), "Root\\Node_1\\Mesh_0\\SubMesh_0");

  const TRRMaterialDesc back = Loaded(Saved(d));
  EXPECT_EQ(Saved(back), Saved(d));
  const TRRMaterialSubDesc* u = back.Find("ROOT\\MESH_0\\SUBMESH_1");
  ASSERT_NE(u, nullptr);
  EXPECT_TRUE(u->SameAs(Unusual()));
  EXPECT_EQ(u->DiffuseMap.FileName, "C:\\Modelle\\Dach Ä.dds");
  EXPECT_EQ(u->ReflectionMode, 2);
  EXPECT_FLOAT_EQ(u->DepthBias, -0.001f);

  // Setting a key that is there (in another case) replaces its entry.
  d.Set("ROOT\\NODE_1\\MESH_0\\SUBMESH_0", Unusual());
  EXPECT_EQ(d.Count(), 3);
  EXPECT_TRUE(d.SubDesc(2).SameAs(Unusual()));
  EXPECT_TRUE(d.Remove("root\\node_1\\mesh_0\\submesh_0"));
  EXPECT_FALSE(d.Remove("root\\node_1\\mesh_0\\submesh_0"));
  EXPECT_EQ(d.Count(), 2);
}

TEST(TRRMaterialDescStream, CopiesAreIndependentAndEqual) {
  TRRMaterialDesc d;
  d.Set("Root\\Mesh_0\\SubMesh_0", Unusual());
  TRRMaterialDesc copy(d);
  TRRMaterialDesc assigned;
  assigned.Set("other", TRRMaterialSubDesc());
  assigned = d;
  EXPECT_EQ(Saved(copy), Saved(d));
  EXPECT_EQ(Saved(assigned), Saved(d));
  copy.SubDesc(0).Opacity = 0.9f;
  EXPECT_FLOAT_EQ(d.SubDesc(0).Opacity, 0.25f);
}

TEST(TRRMaterialDescStream, AKeyListedTwiceKeepsItsFirstEntry) {
  std::vector<uint8_t> bytes;
  PutInt(bytes, 1);
  PutInt(bytes, 3);
  std::vector<uint8_t> second = TRRMaterialSubDesc().SerializedBytes();
  second[0] = 0;  // not two-sided
  PutText(bytes, "Root\\Mesh_0\\SubMesh_0");
  const auto first = TRRMaterialSubDesc().SerializedBytes();
  bytes.insert(bytes.end(), first.begin(), first.end());
  PutText(bytes, "ROOT\\MESH_0\\SUBMESH_0");
  bytes.insert(bytes.end(), second.begin(), second.end());
  PutText(bytes, "Root\\Mesh_1\\SubMesh_0");
  bytes.insert(bytes.end(), second.begin(), second.end());
  const TRRMaterialDesc d = Loaded(bytes);
  ASSERT_EQ(d.Count(), 2);
  EXPECT_EQ(d.Key(0), "Root\\Mesh_0\\SubMesh_0");
  EXPECT_TRUE(d.SubDesc(0).TwoSided);
  EXPECT_FALSE(d.SubDesc(1).TwoSided);
}

TEST(TRRMaterialDescStream, RefusesBadInputAndKeepsWhatItHeld) {
  TRRMaterialDesc good;
  good.Set("Root\\Mesh_0\\SubMesh_0", Unusual());
  const std::vector<uint8_t> valid = Saved(good);
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Bytes;
    bool Version;  // EUnknownEntityDescription rather than a read error
  };
  std::vector<TCase> cases;
  for (int32_t version : {0, 2, -1}) {
    std::vector<uint8_t> b = valid;
    std::memcpy(b.data(), &version, 4);
    cases.push_back({"version", b, true});
  }
  for (int32_t count : {-1, 2, 0x7FFFFFFF}) {
    std::vector<uint8_t> b = valid;
    std::memcpy(b.data() + 4, &count, 4);
    cases.push_back({"count", b, false});
  }
  for (size_t cut : {size_t(0), size_t(6), size_t(20), valid.size() - 1})
    cases.push_back(
        {"truncated", std::vector<uint8_t>(valid.begin(), valid.begin() + ptrdiff_t(cut)), false});

  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(c.Bytes.size()));
    TRRMaterialDesc d;
    d.Set("kept", TRRMaterialSubDesc());
    gx::TGXMemoryStream s(c.Bytes);
    if (c.Version) {
      try {
        d.LoadFromStream(s);
        ADD_FAILURE() << "read";
      } catch (const EUnknownEntityDescription& e) {
        EXPECT_STREQ(e.what(), "Unsupported description version.");
      }
    } else {
      EXPECT_THROW(d.LoadFromStream(s), gx::EGXStreamReadError);
    }
    ASSERT_EQ(d.Count(), 1);
    EXPECT_EQ(d.Key(0), "kept");
  }
}

// ---- sub-mesh paths ----

gx::IGXMesh MeshOf(int subMeshes) {
  gx::IGXMesh mesh = gx::MakeRef<gx::TGXMesh>(nullptr, "Mesh", true);
  for (int i = 0; i < subMeshes; ++i) mesh->AddSubMesh();
  return mesh;
}

std::vector<std::string> PathsOf(gx::TGXSceneNode* root) {
  std::vector<std::string> paths;
  RRForEachSubMesh(root, [&](const std::string& path, gx::TGXSubEntity& sub) {
    paths.push_back(path + " #" + std::to_string(sub.SubMeshIndex()));
  });
  return paths;
}

TEST(RRForEachSubMeshTest, CountsEveryObjectAndEveryChildInPathOrder) {
  gx::TGXSceneNode root("Modell");
  root.AttachObject(gx::MakeRef<gx::TGXSceneObject>().Get());  // not a mesh: counts for k
  gx::TGXEntity::Create(&root, MeshOf(2));
  auto* n0 = new gx::TGXSceneNode("A", &root);
  gx::TGXEntity::Create(n0, MeshOf(1));
  auto* n00 = new gx::TGXSceneNode("B", n0);
  n00->AttachObject(gx::MakeRef<gx::TGXSceneObject>().Get());
  n00->AttachObject(gx::MakeRef<gx::TGXSceneObject>().Get());
  gx::TGXEntity::Create(n00, MeshOf(1));
  new gx::TGXSceneNode("Leer", &root);
  auto* n2 = new gx::TGXSceneNode("C", &root);
  gx::TGXEntity::Create(n2, MeshOf(0));
  gx::TGXEntity::Create(n2, MeshOf(1));
  const std::vector<std::string> expected = {
      "Root\\Mesh_1\\SubMesh_0 #0", "Root\\Mesh_1\\SubMesh_1 #1", "Root\\Node_0\\Mesh_0\\SubMesh_0 #0",
      "Root\\Node_0\\Node_0\\Mesh_2\\SubMesh_0 #0", "Root\\Node_2\\Mesh_1\\SubMesh_0 #0"};
  EXPECT_EQ(PathsOf(&root), expected);
  RRForEachSubMesh(nullptr, [](const std::string&, gx::TGXSubEntity&) { ADD_FAILURE(); });
}

// ---- the fixture's models ----

class TRRMaterialGeneratorTest : public TMaterialTest {
 protected:
  void SetUp() override {
    TMaterialTest::SetUp();
    SavedImporters = gx::GXModelImporterClasses();
    for (const auto& c : SavedImporters) gx::UnregisterModelImporter(c.Name);
    gx::RegisterModelImporter("data", [this](gx::TGXStream&, gx::TGXSceneNode* target) {
      return std::make_unique<TDataImporter>(target, Data);
    });
  }
  void TearDown() override {
    gx::UnregisterModelImporter("data");
    for (const auto& c : SavedImporters) gx::RegisterModelImporter(c.Name, c.Create);
    TMaterialTest::TearDown();
  }

  // A model of the data, loaded under the name.
  gx::IGXModel Model(const gx::TGXModelData& data, const std::string& name) {
    Data = data;
    gx::IGXModel model = gx::MakeRef<gx::TGXModel>(nullptr, name, false);
    struct TAny : gx::TGXDataLoader {
      std::unique_ptr<gx::TGXMemoryStream> LoadData() override {
        return std::make_unique<gx::TGXMemoryStream>(std::vector<uint8_t>{1});
      }
    };
    model->SetDataLoader(gx::MakeRef<TAny>());
    model->Load();
    return model;
  }

  // One node per entry (name, parent index), each with a mesh of one sub-mesh of the texture name.
  static gx::TGXModelData Nodes(gx::EGXModelFormat format,
                                const std::vector<std::tuple<std::string, int, std::string>>& nodes) {
    gx::TGXModelData data;
    data.Format = format;
    for (const auto& [name, parent, texture] : nodes) {
      gx::TGXModelMesh mesh;
      mesh.Name = name;
      mesh.SubMeshes.push_back({0, 0, texture, {}, {}});
      data.Meshes.push_back(mesh);
      gx::TGXModelNode node;
      node.Name = name;
      node.Parent = parent;
      node.Meshes = {uint32_t(data.Meshes.size() - 1)};
      data.Nodes.push_back(node);
    }
    return data;
  }

  std::vector<gx::TGXModelImporterClass> SavedImporters;
  gx::TGXModelData Data;
};

// A reflection manager that answers as told and records registrations.
class TTestReflections : public IRRReflectionManager {
 public:
  bool Planar = true, EnvironmentSupported = true, EnvironmentOn = true;
  std::vector<std::tuple<gx::TGXMaterial*, gx::TGXSceneNode*, uint8_t>> Registered;
  bool PlanarReflectionsEnabled() const override { return Planar; }
  bool EnvironmentMapsSupported() const override { return EnvironmentSupported; }
  bool EnvironmentMapsEnabled() const override { return EnvironmentOn; }
  void RegisterMaterial(gx::TGXMaterial* m, gx::TGXSceneNode* n, uint8_t mode) override {
    Registered.emplace_back(m, n, mode);
  }
  void UnregisterNode(gx::TGXSceneNode*) override {}
  void AddListener(IRRReflectionListener*) override {}
  void RemoveListener(IRRReflectionListener*) override {}
};

// The checksum of the two bytes bit by bit (no table), to check the table-driven one.
uint32_t BitwiseChecksum(uint16_t bits) {
  uint32_t h = 0;
  for (uint8_t byte : {uint8_t(bits & 0xFF), uint8_t(bits >> 8)}) {
    h ^= byte;
    for (int i = 0; i < 8; ++i) h = (h >> 1) ^ ((h & 1) ? 0xEDB88320u : 0u);
  }
  return h;
}

// ---- feature bits, effect names and definitions ----

TEST_F(TRRMaterialGeneratorTest, FeatureBitsNamesAndDefinitions) {
  TTestReflections on;
  TTestReflections off;
  off.Planar = off.EnvironmentOn = false;
  TTestReflections unsupported;
  unsupported.EnvironmentSupported = false;
  TRRDefaultReflectionManager standard;
  struct TCase {
    const char* Name;
    std::function<void(TRRMaterialSubDesc&)> Change;
    const IRRReflectionManager* Reflections;
    uint16_t Bits;
    const char* Macros;
  };
  const std::vector<TCase> cases = {
      {"default", [](auto&) {}, nullptr, 1, "ENABLE_LIGHT"},
      {"unlit", [](auto& s) { s.Lit = false; }, nullptr, 128, "ENABLE_EXPLICIT_COLOR"},
      {"map, scaled, alpha test",
       [](auto& s) {
         s.DiffuseMap.FileName = "a.png";
         s.TextureScaling = {1.0f, 2.0f};
         s.AlphaTest = true;
       },
       nullptr, 1 | 2 | 8 | 256, "ENABLE_LIGHT,ENABLE_DIFFUSEMAP,ENABLE_ALPHATEST,ENABLE_TEXSCALING"},
      {"relative map only", [](auto& s) { s.DiffuseMap.RelativeName = "{x}\\a.png"; }, nullptr, 1 | 2,
       "ENABLE_LIGHT,ENABLE_DIFFUSEMAP"},
      {"transparency wins over additive",
       [](auto& s) {
         s.Transparency = true;
         s.AdditiveBlending = true;
       },
       nullptr, 1 | 4, "ENABLE_LIGHT,ENABLE_TRANSPARENCY"},
      {"additive", [](auto& s) { s.AdditiveBlending = true; }, nullptr, 1 | 16,
       "ENABLE_LIGHT,ENABLE_ADDITIVE_BLENDING"},
      {"planar, no project", [](auto& s) { s.ReflectionMode = 1; }, nullptr, 1, "ENABLE_LIGHT"},
      {"planar, on", [](auto& s) { s.ReflectionMode = 1; }, &on, 1 | 64, "ENABLE_LIGHT,ENABLE_REFLECTION"},
      {"planar, off", [](auto& s) { s.ReflectionMode = 1; }, &off, 1, "ENABLE_LIGHT"},
      {"planar, standard", [](auto& s) { s.ReflectionMode = 1; }, &standard, 1 | 64,
       "ENABLE_LIGHT,ENABLE_REFLECTION"},
      {"environment, on", [](auto& s) { s.ReflectionMode = 2; }, &on, 1 | 32,
       "ENABLE_LIGHT,ENABLE_ENVIRONMENTMAPPING"},
      {"environment, off", [](auto& s) { s.ReflectionMode = 2; }, &off, 1, "ENABLE_LIGHT"},
      {"environment, unsupported", [](auto& s) { s.ReflectionMode = 2; }, &unsupported, 1, "ENABLE_LIGHT"},
      {"environment, standard", [](auto& s) { s.ReflectionMode = 2; }, &standard, 1, "ENABLE_LIGHT"},
      {"unknown mode", [](auto& s) { s.ReflectionMode = 7; }, &on, 1, "ENABLE_LIGHT"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRRMaterialSubDesc sub;
    c.Change(sub);
    const uint16_t bits = TRRMaterialGenerator::FeatureBits(sub, c.Reflections);
    EXPECT_EQ(bits, c.Bits);
    EXPECT_EQ(TRRMaterialGenerator::EffectMacroList(bits), c.Macros);
    EXPECT_EQ(TRRMaterialGenerator::EffectName(bits), std::to_string(BitwiseChecksum(bits)));
  }
  // The high byte takes part in the name.
  EXPECT_NE(TRRMaterialGenerator::EffectName(1), TRRMaterialGenerator::EffectName(257));
  EXPECT_EQ(TRRMaterialGenerator::EffectMacroList(511).size(),
            std::string("ENABLE_LIGHT,ENABLE_DIFFUSEMAP,"
                        "ENABLE_TRANSPARENCY,ENABLE_ALPHATEST,"
                        "ENABLE_ADDITIVE_BLENDING,"
                        "ENABLE_ENVIRONMENTMAPPING,"
                        "ENABLE_REFLECTION,ENABLE_EXPLICIT_COLOR,"
                        "ENABLE_TEXSCALING")
                .size());
}

// ---- materials ----

TEST_F(TRRMaterialGeneratorTest, EqualDescriptionsShareAMaterialAndReflectingOnesGetTheirOwn) {
  TRRMaterialSubDesc a;
  a.Diffuse = {0.2f, 0.4f, 0.6f};
  const TRRMaterialSubDesc b = a;
  TRRMaterialSubDesc c = a;
  c.DepthBias = 0.0001f;
  const std::string name = TRRMaterialGenerator::MaterialName(a);
  EXPECT_TRUE(std::regex_match(name, std::regex("RRMaterial:[0-9A-F]{32}"))) << name;
  EXPECT_EQ(TRRMaterialGenerator::MaterialName(b), name);
  EXPECT_NE(TRRMaterialGenerator::MaterialName(c), name);

  gx::IGXMaterial ma = TRRMaterialGenerator::MakeMaterial(a);
  ASSERT_TRUE(ma);
  EXPECT_EQ(ma->GetName().Text(), name);
  EXPECT_EQ(TRRMaterialGenerator::MakeMaterial(b), ma);
  EXPECT_NE(TRRMaterialGenerator::MakeMaterial(c), ma);
  // A loaded material comes back as it is: its values are not set again.
  ma->FindValue("Diffuse")->SetFloats({1, 0, 0});
  const auto* raw = reinterpret_cast<const float*>(
      TRRMaterialGenerator::MakeMaterial(b)->FindValue("Diffuse")->Data().data());
  EXPECT_FLOAT_EQ(raw[0], 1.0f);

  TRRMaterialSubDesc mirror = a;
  mirror.ReflectionMode = 1;
  EXPECT_EQ(TRRMaterialGenerator::MaterialName(mirror), "RRMaterial:Privat");
  gx::IGXMaterial m1 = TRRMaterialGenerator::MakeMaterial(mirror),
                  m2 = TRRMaterialGenerator::MakeMaterial(mirror);
  ASSERT_TRUE(m1 && m2);
  EXPECT_NE(m1, m2);
  EXPECT_EQ(m1->GetName().Text(), "RRMaterial:Privat");
  EXPECT_TRUE(Reported.empty());
}

std::vector<float> Floats(gx::TGXMaterial& m, const char* name) {
  gx::TGXEffectValueSource* v = m.FindValue(name);
  if (!v) return {};
  std::vector<float> out(v->Data().size() / 4);
  std::memcpy(out.data(), v->Data().data(), out.size() * 4);
  return out;
}
int32_t Integer(gx::TGXMaterial& m, const char* name) {
  int32_t value = -12345;
  if (gx::TGXEffectValueSource* v = m.FindValue(name)) std::memcpy(&value, v->Data().data(), 4);
  return value;
}

TEST_F(TRRMaterialGeneratorTest, LitMaterialGetsItsParametersAndItsEffectsDefinitions) {
  PutFile("{AAAAAAAA-0000-0000-0000-000000000001}\\Wand.png",
          RREncodePng(2, 2, std::vector<uint32_t>(4, 0xFF808080u), false));
  TRRMaterialSubDesc sub;
  sub.TwoSided = false;
  sub.Ambient = {0.1f, 0.2f, 0.3f};
  sub.Diffuse = {0.4f, 0.5f, 0.6f};
  sub.Specular = {0.7f, 0.8f, 0.9f};
  sub.DiffuseMap = TRRAssetFileName("Wand.png", "{AAAAAAAA-0000-0000-0000-000000000001}\\Wand.png");
  sub.TextureScaling = {4, 2};
  sub.AlphaTest = true;
  sub.AlphaReference = 150;
  sub.Transparency = true;
  sub.Opacity = 0.4f;
  sub.DepthBias = 0.002f;
  gx::IGXMaterial m = TRRMaterialGenerator::MakeMaterial(sub);
  ASSERT_TRUE(m) << (Reported.empty() ? "" : Reported[0].Message);
  EXPECT_EQ(Integer(*m, "CullMode"), 3);
  EXPECT_EQ(Floats(*m, "DepthBias"), std::vector<float>{0.002f});
  EXPECT_EQ(Floats(*m, "Ambient"), (std::vector<float>{0.1f, 0.2f, 0.3f}));
  EXPECT_EQ(Floats(*m, "Diffuse"), (std::vector<float>{0.4f, 0.5f, 0.6f}));
  EXPECT_EQ(Floats(*m, "Specular"), (std::vector<float>{0.7f, 0.8f, 0.9f}));
  EXPECT_EQ(Floats(*m, "SpecularPower"), std::vector<float>{8.0f});
  EXPECT_EQ(Floats(*m, "TexScaling"), (std::vector<float>{4, 2}));
  EXPECT_EQ(Integer(*m, "AlphaRef"), 150);
  EXPECT_EQ(Floats(*m, "Opacity"), std::vector<float>{0.4f});
  ASSERT_NE(m->FindTexture("DiffuseMap")->GetTexture(), nullptr);
  EXPECT_EQ(m->FindTexture("DiffuseMap")->GetTexture()->GetName().Text(),
            "Game:\\{AAAAAAAA-0000-0000-0000-000000000001}\\Wand.png");

  const gx::IGXEffect& effect = m->GetEffect();
  const uint16_t bits = 1 | 2 | 4 | 8 | 256;
  EXPECT_EQ(effect->GetName().Text(), TRRMaterialGenerator::EffectName(bits));
  EXPECT_EQ(effect->GetMacros(), TRRMaterialGenerator::EffectMacros(bits));
  // The transparent feature set's pass blends, so it is drawn among the blended items.
  ASSERT_NE(m->GetTechnique(), nullptr);
  EXPECT_TRUE(m->GetTechnique()->Pass(0)->AlphaBlend());
  EXPECT_TRUE(Reported.empty());
}

TEST_F(TRRMaterialGeneratorTest, UnlitMaterialsTakeTheirColourAndOpacity) {
  TRRMaterialSubDesc sub = RRCadSubDesc(6);
  sub.Opacity = 0.5f;
  gx::IGXMaterial m = TRRMaterialGenerator::MakeMaterial(sub);
  ASSERT_TRUE(m);
  EXPECT_EQ(Integer(*m, "CullMode"), 1);
  EXPECT_EQ(Floats(*m, "ExplicitColor"), (std::vector<float>{0.6f, 0.0f, 0.0f, 0.5f}));
  // Without the light bit the lit colours keep the effect's initial values.
  EXPECT_EQ(Floats(*m, "SpecularPower"), std::vector<float>{8.0f});
  EXPECT_EQ(m->GetEffect()->GetMacros(), std::vector<std::string>{"ENABLE_EXPLICIT_COLOR"});
  EXPECT_FALSE(m->GetTechnique()->Pass(0)->AlphaBlend());
  EXPECT_EQ(m->FindTexture("DiffuseMap")->GetTexture(), nullptr);
}

TEST_F(TRRMaterialGeneratorTest, CadColoursAndTheirDescription) {
  EXPECT_EQ(RRCadColour(10), (TGXVector3{1, 1, 0}));
  EXPECT_EQ(RRCadColour(12), (TGXVector3{0.2f, 0.2f, 0.2f}));
  for (uint8_t beyond : {uint8_t(13), uint8_t(200), uint8_t(255)})
    EXPECT_EQ(RRCadColour(beyond), RRCadColour(4));
  TRRMaterialSubDesc expected;
  expected.Lit = false;
  expected.Diffuse = {0.0f, 0.6f, 0.0f};
  EXPECT_TRUE(RRCadSubDesc(9).SameAs(expected));
}

TEST_F(TRRMaterialGeneratorTest, ReflectingMaterialsRegisterWithTheirNode) {
  TTestReflections reflections;
  Reflections = &reflections;
  Install();
  gx::TGXSceneNode node("Teich");
  TRRMaterialSubDesc water;
  water.ReflectionMode = 1;
  water.ReflectionStrength = 0.6f;
  gx::IGXMaterial m = TRRMaterialGenerator::MakeMaterial(water, &node);
  ASSERT_TRUE(m);
  EXPECT_EQ(Floats(*m, "Reflection"), std::vector<float>{0.6f});
  ASSERT_EQ(reflections.Registered.size(), 1u);
  EXPECT_EQ(std::get<0>(reflections.Registered[0]), m.Get());
  EXPECT_EQ(std::get<1>(reflections.Registered[0]), &node);
  EXPECT_EQ(std::get<2>(reflections.Registered[0]), RRReflectionPlanar);

  water.ReflectionMode = 2;
  gx::IGXMaterial env = TRRMaterialGenerator::MakeMaterial(water, &node);
  EXPECT_EQ(std::get<2>(reflections.Registered.back()), RRReflectionEnvironment);
  EXPECT_EQ(env->GetEffect()->GetMacros(),
            (std::vector<std::string>{"ENABLE_LIGHT", "ENABLE_ENVIRONMENTMAPPING"}));
  // Without a node nothing registers, and the strength is not set.
  gx::IGXMaterial loose = TRRMaterialGenerator::MakeMaterial(water);
  EXPECT_EQ(reflections.Registered.size(), 2u);
  EXPECT_EQ(Floats(*loose, "Reflection"), std::vector<float>{0.0f});
  Reflections = nullptr;
}

// ---- textures ----

TEST_F(TRRMaterialGeneratorTest, ColourMapsBecomeSmallTexturesNamedByTheSignedColour) {
  struct TCase {
    const char* Map;
    const char* Name;
    uint32_t Texel;
  };
  for (const TCase& c : {TCase{"$ffffffff", "-1", 0xFFFFFFFFu}, TCase{"$FF00FF00", "-16711936", 0xFF00FF00u},
                         TCase{"$ff0000", "16711680", 0x00FF0000u}}) {
    SCOPED_TRACE(c.Map);
    gx::IGXTexture t = TRRMaterialGenerator::MakeTexture(TRRAssetFileName(c.Map));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->GetName().Text(), c.Name);
    EXPECT_TRUE(t->IsManual());
    EXPECT_EQ(t->GetWidth(), 2u);
    EXPECT_EQ(t->GetHeight(), 2u);
    EXPECT_EQ(t->GetLevels(), 1u);
    EXPECT_EQ(t->GetFormat(), 22u);
    EXPECT_EQ(t->GetPool(), 1u);
    EXPECT_EQ(t->GetUsage(), 0u);
    EXPECT_EQ(t->InitialPixels(), std::vector<uint32_t>(4, c.Texel));
    EXPECT_EQ(TRRMaterialGenerator::MakeTexture(TRRAssetFileName(c.Map)), t);
  }
  EXPECT_EQ(RRColourMapName(0xFFFFFFFFu), "$ffffffff");
  EXPECT_EQ(RRColourMapName(0x0000FF00u), "$ff00");
  EXPECT_EQ(RRParseColourMapName("$FFffFFff"), 0xFFFFFFFFu);
  for (const char* bad : {"$", "$123456789", "ff", "$12 4", "$-1", ""})
    EXPECT_FALSE(RRParseColourMapName(bad)) << bad;
}

TEST_F(TRRMaterialGeneratorTest, MissingAndBrokenTexturesFallBackToTheDummy) {
  PutFile("{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Textures\\Dummy.png",
          RREncodePng(2, 2, std::vector<uint32_t>(4, 0xFFFF00FFu), false));
  PutFile("{BBBBBBBB-0000-0000-0000-000000000001}\\Kaputt.png", {'k', 'a', 'p', 'u', 't', 't'});
  const TRRAssetFileName missing("C:\\Modelle\\Fehlt.png",
                                 "{BBBBBBBB-0000-0000-0000-000000000001}\\Fehlt.png");
  const TRRAssetFileName broken("Kaputt.png", "{BBBBBBBB-0000-0000-0000-000000000001}\\Kaputt.png");
  for (const TRRAssetFileName& file : {missing, broken, TRRAssetFileName("$nicht hex")}) {
    SCOPED_TRACE(file.FileName);
    gx::IGXTexture t = TRRMaterialGenerator::MakeTexture(file);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->GetName().Text(), RRDummyTextureFile);
  }
  ASSERT_EQ(Reported.size(), 2u);
  EXPECT_TRUE(Reported[0].File.SameFile(missing));
  EXPECT_TRUE(Reported[1].File.SameFile(broken));

  // A material whose map is missing still draws, with the dummy.
  TRRMaterialSubDesc sub;
  sub.DiffuseMap = missing;
  gx::IGXMaterial m = TRRMaterialGenerator::MakeMaterial(sub);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->FindTexture("DiffuseMap")->GetTexture()->GetName().Text(), RRDummyTextureFile);
}

// ---- failures of the effect ----

TEST_F(TRRMaterialGeneratorTest, AMissingOrBrokenEffectIsReportedOnceAndLeavesNoMaterial) {
  for (const char* shader : {"", "technique {"}) {
    SCOPED_TRACE(shader);
    Reported.clear();
    if (*shader)
      PutFile(RRModelEffectRelative, std::vector<uint8_t>(shader, shader + std::strlen(shader)));
    else
      std::filesystem::remove(Folder / "Game" / "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}" / "Shader" /
                              "Model.fx");
    Install();  // fresh caches
    TRRMaterialSubDesc a, b;
    b.Diffuse = {0, 0, 1};
    EXPECT_FALSE(TRRMaterialGenerator::MakeMaterial(a));
    EXPECT_FALSE(TRRMaterialGenerator::MakeMaterial(b));
    ASSERT_EQ(Reported.size(), 1u);
    EXPECT_EQ(Reported[0].File.EffectiveFileName(), RRModelEffectFile);

    // Applying materials goes on: every sub-entity stays without a material of its own.
    gx::TGXSceneNode root;
    gx::TGXEntity::Create(&root, MeshOf(2));
    TRRMaterialDesc desc;
    desc.Set("Root\\Mesh_0\\SubMesh_0", a);
    EXPECT_NO_THROW(TRRMaterialGenerator::ApplyMaterials(&root, desc));
    EXPECT_EQ(PathsOf(&root).size(), 2u);
    RRForEachSubMesh(&root, [](const std::string&, gx::TGXSubEntity& s) { EXPECT_FALSE(s.OwnMaterial()); });
    EXPECT_EQ(Reported.size(), 1u);
  }
}

TEST_F(TRRMaterialGeneratorTest, AMissingKeyRaisesOrTakesTheDerivedDescription) {
  TRRMaterialDesc stored;
  stored.Set("Root\\Mesh_0\\SubMesh_0", RRCadSubDesc(2));
  TRRMaterialDesc derived;
  TRRMaterialSubDesc red;
  red.Diffuse = {1, 0, 0};
  derived.Set("Root\\Mesh_0\\SubMesh_1", red);
  try {
    TRRMaterialGenerator::MakeMaterial(stored, "Root\\Mesh_0\\SubMesh_1");
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unknown material subdesc.");
  }
  EXPECT_EQ(TRRMaterialGenerator::MakeMaterial(stored, "root\\mesh_0\\submesh_0"),
            TRRMaterialGenerator::MakeMaterial(RRCadSubDesc(2)));

  gx::TGXSceneNode root;
  gx::TGXEntity::Create(&root, MeshOf(3));
  TRRMaterialGenerator::ApplyMaterials(&root, stored, &derived);
  std::vector<std::string> names;
  RRForEachSubMesh(&root, [&](const std::string&, gx::TGXSubEntity& s) {
    ASSERT_TRUE(s.OwnMaterial());
    EXPECT_EQ(s.Material, s.OwnMaterial());
    names.push_back(s.OwnMaterial()->GetName().Text());
  });
  EXPECT_EQ(names, (std::vector<std::string>{TRRMaterialGenerator::MaterialName(RRCadSubDesc(2)),
                                             TRRMaterialGenerator::MaterialName(red),
                                             TRRMaterialGenerator::MaterialName(TRRMaterialSubDesc())}));
  // The CAD display: one material for every sub-entity.
  TRRMaterialGenerator::ApplyMaterial(&root, RRCadSubDesc(10));
  RRForEachSubMesh(&root, [&](const std::string&, gx::TGXSubEntity& s) {
    EXPECT_EQ(s.OwnMaterial()->GetName().Text(), TRRMaterialGenerator::MaterialName(RRCadSubDesc(10)));
  });
}

// ---- derivation ----

TEST_F(TRRMaterialGeneratorTest, LightConesByTheirOwnOrAnAncestorsName) {
  using F = gx::EGXModelFormat;
  gx::IGXModel model = Model(Nodes(F::XFile, {{"Haus", -1, "wand.png"},
                                              {"lkLampe", 0, "glas.png"},
                                              {"Schirm", 1, ""},
                                              {"LKW", -1, ""},
                                              {"Laterne", -1, std::string("\0FF00FF00", 9)}}),
                             "Lampen.x");
  const TRRMaterialDesc d = TRRMaterialGenerator::DeriveDescription(*model, {});
  ASSERT_EQ(d.Count(), 5);
  for (const char* key :
       {"Root\\Node_0\\Node_0\\Mesh_0\\SubMesh_0", "Root\\Node_0\\Node_0\\Node_0\\Mesh_0\\SubMesh_0",
        "Root\\Node_1\\Mesh_0\\SubMesh_0"}) {
    SCOPED_TRACE(key);
    const TRRMaterialSubDesc* cone = d.Find(key);
    ASSERT_NE(cone, nullptr);
    EXPECT_FALSE(cone->Lit);
    EXPECT_EQ(cone->Diffuse, (TGXVector3{1, 1, 1}));
    EXPECT_TRUE(cone->AdditiveBlending);
    EXPECT_EQ(cone->DiffuseMap.FileName, "Lichtkegel.png");
    EXPECT_EQ(cone->DiffuseMap.RelativeName, "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Lichtkegel.png");
    EXPECT_FALSE(cone->TwoSided);
    EXPECT_EQ(TRRMaterialGenerator::FeatureBits(*cone, nullptr), 128 | 2 | 16);
  }
  EXPECT_TRUE(d.Find("Root\\Node_0\\Mesh_0\\SubMesh_0")->Lit);
  EXPECT_TRUE(d.Find("Root\\Node_2\\Mesh_0\\SubMesh_0")->Lit);
}

TEST_F(TRRMaterialGeneratorTest, ColoursFromTextureNames) {
  using F = gx::EGXModelFormat;
  gx::IGXModel model = Model(Nodes(F::Format3DS, {{"Halb", -1, gx::GXModelColorName(1, 0.5f, 0, 0.5f)},
                                                  {"Voll", -1, std::string("\0FF204060", 9)},
                                                  {"Falsch", -1, std::string("\0XYZ", 4)},
                                                  {"Kurz", -1, std::string("\0", 1)}}),
                             "Farben.3ds");
  const TRRMaterialDesc d = TRRMaterialGenerator::DeriveDescription(*model, {});
  const TRRMaterialSubDesc& half = *d.Find("Root\\Node_0\\Mesh_0\\SubMesh_0");
  EXPECT_TRUE(half.TwoSided);
  EXPECT_TRUE(half.Lit);
  EXPECT_TRUE(half.Transparency);
  EXPECT_NEAR(half.Opacity, 0.5f, 1.0f / 255);
  EXPECT_FALSE(half.AlphaTest);
  EXPECT_EQ(half.Ambient, (TGXVector3{1, 1, 1}));
  EXPECT_EQ(half.Specular, (TGXVector3{1, 1, 1}));
  EXPECT_EQ(half.DiffuseMap.FileName, "$ffff8000");
  // The colour's texture is opaque: the opacity lives in the material.
  gx::IGXTexture texture = TRRMaterialGenerator::MakeTexture(half.DiffuseMap);
  ASSERT_TRUE(texture);
  EXPECT_EQ(texture->InitialPixels(), std::vector<uint32_t>(4, 0xFFFF8000u));

  const TRRMaterialSubDesc& full = *d.Find("Root\\Node_1\\Mesh_0\\SubMesh_0");
  EXPECT_FALSE(full.Transparency);
  EXPECT_FLOAT_EQ(full.Opacity, 1.0f);
  EXPECT_EQ(full.DiffuseMap.FileName, "$ff204060");
  for (const char* key : {"Root\\Node_2\\Mesh_0\\SubMesh_0", "Root\\Node_3\\Mesh_0\\SubMesh_0"}) {
    const TRRMaterialSubDesc& plain = *d.Find(key);
    EXPECT_TRUE(plain.DiffuseMap.IsEmpty()) << key;
    EXPECT_TRUE(plain.Lit);
    EXPECT_EQ(plain.Diffuse, (TGXVector3{0.9f, 0.9f, 0.9f}));
  }
}

TEST_F(TRRMaterialGeneratorTest, CompanionsByTheirFileNameIgnoringCase) {
  using F = gx::EGXModelFormat;
  gx::IGXModel model = Model(
      Nodes(F::XFile, {{"A", -1, "texturen\\WAND.PNG"}, {"B", -1, "dach.png"}, {"C", -1, ""}, {"D", -1, "ziegel.png"}}), "Haus.x");
  // A stored companion's entry is named by its digest; its original name still finds it.
  const std::vector<TRRAssetFileName> companions = {
      TRRAssetFileName("C:\\Modelle\\Fenster.png"),
      TRRAssetFileName("C:\\Modelle\\wand.png", "{CCCCCCCC-0000-0000-0000-000000000001}\\Wand.png"),
      TRRAssetFileName("Ziegel.PNG", "{CCCCCCCC-0000-0000-0000-000000000001}\\9f2c41d07be3.dds")};
  const TRRMaterialDesc d = TRRMaterialGenerator::DeriveDescription(*model, companions);
  const TRRMaterialSubDesc& wall = *d.Find("Root\\Node_0\\Mesh_0\\SubMesh_0");
  EXPECT_EQ(wall.DiffuseMap.RelativeName, "{CCCCCCCC-0000-0000-0000-000000000001}\\Wand.png");
  EXPECT_EQ(wall.DiffuseMap.FileName, "C:\\Modelle\\wand.png");
  EXPECT_TRUE(d.Find("Root\\Node_1\\Mesh_0\\SubMesh_0")->DiffuseMap.IsEmpty());
  EXPECT_TRUE(d.Find("Root\\Node_2\\Mesh_0\\SubMesh_0")->DiffuseMap.IsEmpty());
  EXPECT_EQ(d.Find("Root\\Node_3\\Mesh_0\\SubMesh_0")->DiffuseMap.RelativeName,
            "{CCCCCCCC-0000-0000-0000-000000000001}\\9f2c41d07be3.dds");

  // The dummy model is derived without companions: no maps at all.
  const TRRMaterialDesc dummy = TRRMaterialGenerator::DeriveDescription(*model, {});
  for (int i = 0; i < dummy.Count(); ++i) EXPECT_TRUE(dummy.SubDesc(i).DiffuseMap.IsEmpty());
  // Each companion list has its own entry in the cache.
  EXPECT_FALSE(TRRMaterialGenerator::DeriveDescription(*model, companions)
                   .Find("Root\\Node_0\\Mesh_0\\SubMesh_0")
                   ->DiffuseMap.IsEmpty());
}

// A DDS header of the four-character code or the RGB masks (alpha mask 0: no alpha flag).
std::vector<uint8_t> Dds(uint32_t fourCC, uint32_t r = 0, uint32_t g = 0, uint32_t b = 0, uint32_t a = 0) {
  std::vector<uint8_t> f(128 + 64, 0);
  auto put = [&](size_t at, uint32_t v) { std::memcpy(f.data() + at, &v, 4); };
  std::memcpy(f.data(), "DDS ", 4);
  put(4, 124);
  put(8, 0x1007);
  put(12, 4);
  put(16, 4);
  put(76, 32);
  if (fourCC) {
    put(80, 0x4);
    put(84, fourCC);
  } else {
    put(80, 0x40 | (a ? 0x1 : 0));
    put(88, 32);
    put(92, r), put(96, g), put(100, b), put(104, a);
  }
  return f;
}

TEST_F(TRRMaterialGeneratorTest, AlphaRulesByTheImageFormatAndTheModelsFolder) {
  const std::string pkg = "{DDDDDDDD-0000-0000-0000-000000000001}";
  struct TCase {
    const char* File;
    std::vector<uint8_t> Bytes;
    const char* DiskPath;  // the map's first path
    bool AlphaTest, Transparency;
    int32_t Reference;
  };
  const std::vector<TCase> cases = {
      {"dxt1.dds", Dds(gx::GXFormatDXT1), "C:\\Modelle\\dxt1.dds", true, false, 150},
      {"dxt5.dds", Dds(gx::GXFormatDXT5), "C:\\Modelle\\dxt5.dds", true, true, 5},
      {"sdk.dds", Dds(gx::GXFormatDXT5), "d:\\projekte\\velmora sdk\\3d-modelle\\Haus\\sdk.dds", true, false,
       150},
      {"sdk11.png", RREncodePng(2, 2, std::vector<uint32_t>(4, 0x80FFFFFFu), true),
       "D:\\Projekte\\Velmora 11 SDK\\3D-Modelle\\sdk11.png", true, false, 150},
      {"argb.dds", Dds(0, 0xFF0000, 0xFF00, 0xFF, 0xFF000000), "C:\\argb.dds", true, true, 5},
      {"abgr.dds", Dds(0, 0xFF, 0xFF00, 0xFF0000, 0xFF000000), "C:\\abgr.dds", true, true, 5},
      {"xrgb.dds", Dds(0, 0xFF0000, 0xFF00, 0xFF, 0), "C:\\xrgb.dds", false, false, 0},
      {"dxt3.dds", Dds(gx::GXFormatDXT3), "C:\\dxt3.dds", false, false, 0},
      {"rgba.png", RREncodePng(2, 2, std::vector<uint32_t>(4, 0x80FFFFFFu), true), "C:\\rgba.png", true, true,
       5},
      {"rgb.png", RREncodePng(2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu), false), "C:\\rgb.png", false,
       false, 0},
      {"kaputt.dds", {'D', 'D', 'S', ' ', 1, 2, 3}, "C:\\kaputt.dds", false, false, 0},
      {"fehlt.dds", {}, "C:\\fehlt.dds", false, false, 0},
  };
  std::vector<TRRAssetFileName> companions;
  std::vector<std::tuple<std::string, int, std::string>> nodes;
  for (const TCase& c : cases) {
    if (!c.Bytes.empty()) PutFile(pkg + "\\" + c.File, c.Bytes);
    companions.emplace_back(c.DiskPath, pkg + "\\" + c.File);
    nodes.emplace_back(c.File, -1, c.File);
  }
  gx::IGXModel model = Model(Nodes(gx::EGXModelFormat::XFile, nodes), "Alpha.x");
  const TRRMaterialDesc d = TRRMaterialGenerator::DeriveDescription(*model, companions);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].File);
    const TRRMaterialSubDesc& sub = *d.Find("Root\\Node_" + std::to_string(i) + "\\Mesh_0\\SubMesh_0");
    EXPECT_EQ(sub.DiffuseMap.RelativeName, pkg + "\\" + cases[i].File);
    EXPECT_EQ(sub.AlphaTest, cases[i].AlphaTest);
    EXPECT_EQ(sub.Transparency, cases[i].Transparency);
    EXPECT_EQ(sub.AlphaReference, cases[i].Reference);
  }
  // Reading headers reports nothing: the texture reports a bad file when it is loaded.
  EXPECT_TRUE(Reported.empty());
}

TEST_F(TRRMaterialGeneratorTest, TemplatePathsAreTheInstancesPaths) {
  gx::TGXModelData data = Nodes(gx::EGXModelFormat::XFile, {{"A", -1, "a"}, {"B", 0, "b"}, {"C", -1, "c"}});
  data.RootMeshes = {0, 2};
  data.Meshes[0].SubMeshes.push_back({0, 0, "d", {}, {}});
  gx::IGXModel model = Model(data, "Pfade.x");
  gx::TGXSceneNode instance;
  model->CreateInstance(&instance);
  std::vector<std::string> fromTemplate;
  RRForEachTemplateSubMesh(model->GetTemplate(),
                           [&](const std::string& path, gx::TGXSceneNode&, const gx::IGXMesh&, int j) {
                             fromTemplate.push_back(path + " #" + std::to_string(j));
                           });
  EXPECT_EQ(PathsOf(&instance), fromTemplate);
  EXPECT_EQ(fromTemplate.size(), 7u);
  const TRRMaterialDesc d = TRRMaterialGenerator::DeriveDescription(*model, {});
  EXPECT_EQ(d.Count(), 7);
  TRRMaterialGenerator::ApplyMaterials(&instance, d);
  RRForEachSubMesh(
      &instance, [&](const std::string& path, gx::TGXSubEntity& s) { EXPECT_TRUE(s.OwnMaterial()) << path; });
}

}  // namespace
}  // namespace rr::test
