// Model files imported into a layout, and models in runs that do not draw: a .3ds or .x file
// becomes a model object with its textures as companions, placed at the camera's target; without
// a render core a model keeps its whole description.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/RREntityManager.h"
#include "app/RRModelServices.h"
#include "app/RRProject.h"
#include "app/entities/RRModel.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXResourceManager.h"
#include "tests/app/ModelTestSupport.h"
#include "tests/app/ProjectTestSupport.h"

using namespace rr;
namespace fsys = std::filesystem;

namespace {

void WriteBytes(const fsys::path& p, const std::vector<uint8_t>& data) {
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// The model's own part of the payload (behind the base payload).
std::vector<uint8_t> ModelPayload(const TRREntityDescription& d) {
  gx::TGXMemoryStream whole, base;
  d.SaveToStream(whole);
  d.TRREntityDescription::SaveToStream(base);
  return std::vector<uint8_t>(whole.Data().begin() + static_cast<std::ptrdiff_t>(base.Data().size()),
                              whole.Data().end());
}

struct TModelImportTest : ::testing::Test {
  TRRScriptedUIService Ui;
  gx::TGXFileSystem Fs;
  gx::TGXVector3 Target{100, 20, -50};
  std::unique_ptr<TRRProject> Project;
  fsys::path Dir;

  void SetUp() override {
    prjtest::RegisterKinds();
    Dir = fsys::temp_directory_path() / ("velmora-model-import-" + std::to_string(getpid()));
    fsys::remove_all(Dir);
    fsys::create_directories(Dir / "tex");
    TRRProjectServices s;
    s.UI = &Ui;
    s.FileSystem = &Fs;
    s.CameraTarget = [this] { return Target; };
    s.FindKind = [](const char*) -> const TRRDescriptionClass* { return nullptr; };
    s.CreateEventSection = [] { return std::make_unique<prjtest::TEventStub>(); };
    Project = std::make_unique<TRRProject>(std::move(s));
    ASSERT_TRUE(Project->NewProject({}));
  }
  void TearDown() override {
    Project.reset();
    fsys::remove_all(Dir);
  }
  std::string File(const std::string& name) { return (Dir / name).string(); }

  // The one selected entity after an import, as a model.
  TRRModel* Imported() {
    const auto& selection = Project->Manager()->Selection();
    EXPECT_EQ(selection.Count(), 1);
    return selection.Count() == 1 ? dynamic_cast<TRRModel*>(selection.Item(0)) : nullptr;
  }
};

}  // namespace

TEST_F(TModelImportTest, ModelFilesBecomeModelObjectsWithTheirTexturesAsCompanions) {
  WriteBytes(Dir / "tex" / "Putz.png", {1, 2, 3});
  WriteBytes(Dir / "Ziegel.PNG", {1, 2, 3});
  struct TCase {
    const char* File;
    gx::EGXModelFormat Format;
    const char* Wall;               // the texture the model names
    std::vector<std::string> Want;  // companions found beside it
  } cases[] = {
      {"Bahnhof.3ds", gx::EGXModelFormat::Format3DS, "tex\\Putz.png", {"tex/Putz.png"}},
      {"Stellwerk.alt.x", gx::EGXModelFormat::XFile, "ziegel.png", {"Ziegel.PNG"}},  // case ignored
      {"Schuppen.x", gx::EGXModelFormat::XFile, "fehlt.png", {}},
  };
  gx::TGXGuid previous;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    WriteBytes(Dir / c.File, modeltest::Write(modeltest::House(c.Format, c.Wall)));
    ASSERT_TRUE(Project->ImportFile(File(c.File)));
    TRRModel* model = Imported();
    ASSERT_NE(model, nullptr);
    std::unique_ptr<TRREntityDescription> d = model->CreateDescription();
    auto* m = dynamic_cast<TRRModelDesc*>(d.get());
    ASSERT_NE(m, nullptr);
    const std::string file = c.File;
    EXPECT_EQ(m->Name().GetText(gx::GX_LANG_GERMAN, gx::GX_LANG_GERMAN), file.substr(0, file.rfind('.')));
    EXPECT_EQ(m->CADType(), 4);
    EXPECT_NE(m->AssetID(), gx::TGXGuid());
    EXPECT_NE(m->AssetID(), previous);  // a new identifier for every import
    previous = m->AssetID();
    EXPECT_EQ(m->ModelFile().Model.FileName, File(c.File));
    ASSERT_EQ(m->ModelFile().Companions.size(), c.Want.size());
    for (size_t i = 0; i < c.Want.size(); ++i)
      EXPECT_EQ(m->ModelFile().Companions[i].FileName, File(c.Want[i]));
    // Without anything drawn the pivot counts: at the target, 0.01 above it.
    gx::TGXVector3 p = model->WorldPosition();
    EXPECT_NEAR(p.x, 100, 1e-4);
    EXPECT_NEAR(p.y, 20.01f, 1e-4);
    EXPECT_NEAR(p.z, -50, 1e-4);
    EXPECT_FALSE(model->ModelEntity()->HasModel());  // no render core: nothing loaded, nothing missing
    EXPECT_TRUE(Project->LastMissingFiles().empty());
  }
  // The imported models are saved with the layout and read back with their files.
  ASSERT_TRUE(Project->SaveProject(File("Anlage.vmp")));
  ASSERT_TRUE(Project->LoadProject(File("Anlage.vmp"), false));
  std::vector<TRREntity*> models;
  Project->Manager()->FindByClass(TRRModel::StaticClass(), models);
  ASSERT_EQ(models.size(), 3u);
  int withCompanions = 0;
  for (TRREntity* e : models)
    withCompanions += static_cast<int>(static_cast<TRRModel*>(e)->ModelFileName().Companions.size());
  EXPECT_EQ(withCompanions, 2);
}

TEST_F(TModelImportTest, FilesNoReaderTakesFailWithTheImportMessage) {
  WriteBytes(Dir / "kaputt.x", {'x', 'o', 'f', ' ', '0', '3', '0', '3'});
  const size_t before = Ui.Texts().size();
  EXPECT_FALSE(Project->ImportFile(File("kaputt.x")));
  ASSERT_EQ(Ui.Texts().size(), before + 1);
  EXPECT_NE(Ui.Texts().back().find("Fehler beim Importieren von "), std::string::npos);
  // Asked for it, the text comes back instead of a message.
  std::string error;
  EXPECT_FALSE(Project->ImportFile(File("fehlt.3ds"), &error));
  EXPECT_EQ(error,
            "Fehler beim Importieren von " + File("fehlt.3ds") + ". Die Datei hat ein unbekanntes Format.");
  EXPECT_EQ(Ui.Texts().size(), before + 1);
  EXPECT_EQ(Project->Manager()->Selection().Count(), 0);
}

TEST(RRModelHeadless, AModelThatCannotLoadKeepsItsWholeDescription) {
  TRRModelDesc d;
  d.SetID(1);
  d.Name().SetText(gx::GX_LANG_GERMAN, "Mühle", true);
  d.ModelFile().Model = TRRAssetFileName("Game:\\{K}\\Muehle.x", "{K}\\Muehle.x");
  d.ModelFile().Companions = {TRRAssetFileName("Game:\\{K}\\Holz.dds", "{K}\\Holz.dds")};
  d.SetAnimationEnabled(false);
  d.SetLoop(false);
  d.SetStartTime(2.5f);
  d.SetSpeed(0.3f);
  d.SetCADType(200);
  gx::TGXFileSystem fs;
  gx::TGXResourceManager bare;  // no model factory: a command that does not draw
  TRRModelServices withoutFactory;
  withoutFactory.FileSystem = &fs;
  withoutFactory.Resources = &bare;
  const TRRModelServices* variants[] = {nullptr, &withoutFactory};
  for (const TRRModelServices* services : variants) {
    SCOPED_TRACE(services ? "no model factory" : "no services");
    std::unique_ptr<TRRModelServicesScope> scope;
    if (services)
      scope = std::make_unique<TRRModelServicesScope>(*services);
    else
      TRRModelServices::Clear();
    gx::TGXSceneNode root;
    auto* model = static_cast<TRRModel*>(TRRModel::StaticClass().Create(&root, nullptr, d));
    EXPECT_FALSE(model->ModelEntity()->HasModel());
    EXPECT_FALSE(model->ModelEntity()->IsDummy());
    EXPECT_FALSE(model->HasAnimation());
    model->UpdateView(true);
    model->Animate(true, 1.0f);
    model->UpdateView(false);
    EXPECT_EQ(ModelPayload(*model->CreateDescription()), ModelPayload(d));
    // Starting what is not there changes nothing but the switch.
    model->StartAnimationAction(2, 2);
    EXPECT_TRUE(model->AnimationEnabled());
    EXPECT_FALSE(model->IsRunning());  // loop off, no time to run through
    EXPECT_FLOAT_EQ(model->Speed(), -0.3f);
  }
}
