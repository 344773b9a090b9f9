// The material files of the shared base package as the build generated them: the model effect is
// the source in data/shaders, the placeholder crate shows colours without any companion file, the
// light cone fades from its top centre and the placeholder texture is a two-colour checker.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "app/RRDatabase.h"
#include "app/RRMaterial.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXImageReader.h"
#include "engine/render/GXModelReader.h"
#include "engine/render/GXModelWriter.h"
#include "tools/assetgen/BaseMaterials.h"

namespace {

using namespace rr;

class TBaseMaterials : public ::testing::Test {
 protected:
  void SetUp() override {
    FileSystem.SetRoot("Game", VELMORA_CLI_DATA_DIR);
    Database = std::make_unique<TRRDatabase>(FileSystem, std::vector<TRRAssetPath>{});
    ASSERT_TRUE(Database->FindAsset(gx::TGXGuid::Parse(RRBasePackage2)));
  }
  std::vector<uint8_t> Bytes(const std::string& relative) {
    return FileSystem.OpenFile(std::string("Game:\\") + RRBasePackageID + "\\" + relative)->Data();
  }
  gx::TGXFileSystem FileSystem;
  std::unique_ptr<TRRDatabase> Database;
};

TEST_F(TBaseMaterials, TheModelEffectIsTheSourceFile) {
  std::ifstream in(std::string(VELMORA_DATA_DIR) + "/shaders/Model.fx", std::ios::binary);
  const std::vector<uint8_t> source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(source.empty());
  EXPECT_EQ(Bytes("Shader\\Model.fx"), source);
  EXPECT_EQ(std::string(RRModelEffectFile), std::string("Game:\\") + RRBasePackageID + "\\Shader\\Model.fx");
}

TEST_F(TBaseMaterials, TheDummyCrateShowsColoursWithoutCompanions) {
  const std::vector<uint8_t> file = Bytes("Dummy.x");
  const gx::TGXModelData model = gx::GXReadModel(file.data(), file.size());
  ASSERT_EQ(model.Meshes.size(), 1u);
  const gx::TGXModelMesh& mesh = model.Meshes[0];
  ASSERT_EQ(mesh.SubMeshes.size(), 2u);
  std::set<std::string> maps;
  for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes) {
    const TRRMaterialSubDesc d = TRRMaterialGenerator::DeriveSubDesc(false, false, sub.TextureName, {});
    ASSERT_TRUE(RRParseColourMapName(d.DiffuseMap.FileName)) << d.DiffuseMap.FileName;
    EXPECT_FALSE(d.Transparency);
    maps.insert(d.DiffuseMap.FileName);
  }
  EXPECT_EQ(maps.size(), 2u);  // crate and question marks differ
  // 10 units across, standing on the ground.
  EXPECT_NEAR(mesh.BoundsMin.y, 0, 1e-4);
  EXPECT_NEAR(mesh.BoundsMax.x - mesh.BoundsMin.x, 10, 0.1);
  // The same bytes on every run.
  EXPECT_EQ(gx::GXWriteXFile(assetgen::DummyModel()), file);
}

TEST_F(TBaseMaterials, TheTexturesDecode) {
  const gx::TGXImage cone = gx::GXReadImage(Bytes("Lichtkegel.png"));
  ASSERT_EQ(cone.Width, 64u);
  EXPECT_TRUE(cone.HasAlpha);
  EXPECT_GT(cone.Pixel(32, 0) >> 24, 200u);
  EXPECT_EQ(cone.Pixel(0, 63) >> 24, 0u);
  EXPECT_EQ(cone.Pixel(63, 63) >> 24, 0u);
  EXPECT_GT(cone.Pixel(32, 10) >> 24, cone.Pixel(32, 40) >> 24);

  const gx::TGXImage dummy = gx::GXReadImage(Bytes("Textures\\Dummy.png"));
  ASSERT_EQ(dummy.Width, 64u);
  EXPECT_FALSE(dummy.HasAlpha);
  std::set<uint32_t> colours(dummy.Pixels.begin(), dummy.Pixels.end());
  EXPECT_EQ(colours.size(), 2u);
  EXPECT_NE(dummy.Pixel(0, 0), dummy.Pixel(8, 0));
  EXPECT_EQ(dummy.Pixel(0, 0), dummy.Pixel(8, 8));
}

}  // namespace
