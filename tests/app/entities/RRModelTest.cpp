// Model entities without a graphics device: model files read by the real readers with their
// geometry left out (so no device buffers are needed), materials from the real model effect on
// the device-free resource manager of the material tests. Covers materials handed back and kept,
// the technical view's flat colours, animations, replacing the model, failures with the dummy,
// reflection notices, the event actions' targets and the track models.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRProject.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRModel.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackCatalogue.h"
#include "app/entities/track/RRTrackRoute.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXModelReader.h"
#include "tests/app/MaterialTestSupport.h"
#include "tests/app/ModelTestSupport.h"
#include "tests/app/ProjectTestSupport.h"

using namespace rr;

namespace {

using modeltest::TGeometryFreeImporter;

class TTestReflections : public IRRReflectionManager {
 public:
  bool PlanarReflectionsEnabled() const override { return false; }
  bool EnvironmentMapsSupported() const override { return false; }
  bool EnvironmentMapsEnabled() const override { return false; }
  void RegisterMaterial(gx::TGXMaterial*, gx::TGXSceneNode*, uint8_t) override {}
  void UnregisterNode(gx::TGXSceneNode*) override { ++Unregistered; }
  void AddListener(IRRReflectionListener* l) override {
    if (std::find(Listeners.begin(), Listeners.end(), l) == Listeners.end()) Listeners.push_back(l);
  }
  void RemoveListener(IRRReflectionListener* l) override { std::erase(Listeners, l); }
  void Notify() {
    for (IRRReflectionListener* l : std::vector<IRRReflectionListener*>(Listeners))
      l->ReflectionSettingsChanged();
  }
  std::vector<IRRReflectionListener*> Listeners;
  int Unregistered = 0;
};

constexpr const char* kPackage = "{6F0E2D11-0A3B-4C5D-8E9F-101112131415}";

class TRRModelTest : public test::TMaterialTest {
 protected:
  void SetUp() override {
    TMaterialTest::SetUp();
    Models = std::make_unique<modeltest::TGeometryFreeModels>(&Resources);
    Reflections = &TestReflections;
    Install();
    PutModel("Haus.x", modeltest::House(gx::EGXModelFormat::XFile));
    PutModel("Muehle.3ds", modeltest::Windmill(gx::EGXModelFormat::Format3DS));
    PutFile(std::string(RRBasePackageID) + "\\Dummy.x",
            modeltest::Write(modeltest::House(gx::EGXModelFormat::XFile)));
  }
  void TearDown() override {
    Root.reset();
    TRRModelServices::Clear();
    Models.reset();
    TMaterialTest::TearDown();
  }

  void PutModel(const std::string& name, const gx::TGXModelData& data) {
    PutFile(std::string(kPackage) + "\\" + name, modeltest::Write(data));
  }
  static TRRModelFileName File(const std::string& name) {
    return {TRRAssetFileName(name, std::string(kPackage) + "\\" + name), {}};
  }
  TRRModel* Make(const std::string& file, bool loop = true, float startTime = 0, float speed = 1) {
    TRRModelDesc d;
    d.SetID(++NextID);
    if (!file.empty()) d.ModelFile() = File(file);
    d.SetLoop(loop);
    d.SetStartTime(startTime);
    d.SetSpeed(speed);
    d.SetCADType(3);
    return static_cast<TRRModel*>(TRRModel::StaticClass().Create(Root.get(), nullptr, d));
  }
  // The material each sub-entity draws with, in sub-mesh path order.
  static std::vector<gx::TGXMaterial*> DrawnMaterials(gx::TGXSceneNode* node) {
    std::vector<gx::TGXMaterial*> out;
    RRForEachSubMesh(
        node, [&](const std::string&, gx::TGXSubEntity& sub) { out.push_back(sub.OwnMaterial().Get()); });
    return out;
  }
  int ReportsOf(const std::string& name) const {
    return static_cast<int>(
        std::count_if(Reported.begin(), Reported.end(), [&](const test::TReportedError& r) {
          return r.File.EffectiveFileName().find(name) != std::string::npos;
        }));
  }

  std::unique_ptr<modeltest::TGeometryFreeModels> Models;
  TTestReflections TestReflections;
  std::unique_ptr<gx::TGXSceneNode> Root = std::make_unique<gx::TGXSceneNode>();
  int32_t NextID = 0;
};

}  // namespace

TEST_F(TRRModelTest, MaterialsAreDerivedHandedBackOrKept) {
  TRRModel* model = Make("Haus.x");
  TRRModelEntity* entity = model->ModelEntity();
  ASSERT_TRUE(entity->HasModel());
  EXPECT_FALSE(entity->IsDummy());
  // Walls, roof and door: one entry per sub-mesh path, handed back to the model.
  ASSERT_EQ(model->Materials().Count(), 3);
  EXPECT_EQ(entity->Materials().Count(), 3);
  EXPECT_TRUE(model->Materials().Find("Root\\Node_0\\Mesh_0\\SubMesh_1"));
  std::vector<gx::TGXMaterial*> drawn = DrawnMaterials(entity);
  ASSERT_EQ(drawn.size(), 3u);
  for (gx::TGXMaterial* m : drawn) EXPECT_NE(m, nullptr);
  EXPECT_TRUE(Reported.empty());
  EXPECT_EQ(TestReflections.Listeners.size(), 1u);

  // A description given by the caller is kept as it is; paths it lacks take the derived ones.
  TRRMaterialDesc given;
  TRRMaterialSubDesc red;
  red.Lit = false;
  red.Diffuse = {1, 0, 0};
  given.Set("Root\\Node_0\\Mesh_0\\SubMesh_0", red);
  TRRMaterialDesc before = given;
  TRRModelEntity own(Root.get(), &given, File("Haus.x"));
  EXPECT_EQ(own.Materials().Count(), 1);
  EXPECT_EQ(given.Count(), before.Count());
  std::vector<gx::TGXMaterial*> ownDrawn = DrawnMaterials(&own);
  ASSERT_EQ(ownDrawn.size(), 3u);
  EXPECT_EQ(ownDrawn[0]->GetName().Text(), TRRMaterialGenerator::MaterialName(red));
  EXPECT_EQ(ownDrawn[1], drawn[1]);  // the derived roof: shared by equal descriptions
  EXPECT_EQ(ownDrawn[2], drawn[2]);
}

TEST_F(TRRModelTest, TechnicalViewSwapsToTheCadColourAndBack) {
  TRRModel* model = Make("Haus.x");
  TRRModel* empty = Make("");
  gx::TGXSceneNode* entity = model->ModelEntity();
  const std::vector<gx::TGXMaterial*> original = DrawnMaterials(entity);
  const std::string cadName = TRRMaterialGenerator::MaterialName(RRCadSubDesc(3));
  struct TStep {
    bool Technical;
    bool WantCad;
  } steps[] = {{false, false}, {true, true}, {true, true}, {false, false}, {false, false}, {true, true}};
  for (const TStep& s : steps) {
    model->UpdateView(s.Technical);
    empty->UpdateView(s.Technical);
    EXPECT_EQ(model->CadDisplayOn(), s.WantCad);
    const std::vector<gx::TGXMaterial*> now = DrawnMaterials(entity);
    ASSERT_EQ(now.size(), original.size());
    for (size_t i = 0; i < now.size(); ++i) {
      if (s.WantCad) {
        ASSERT_NE(now[i], nullptr);
        EXPECT_EQ(now[i]->GetName().Text(), cadName);
        EXPECT_EQ(now[i], now[0]);  // one material for every sub-mesh
      } else {
        EXPECT_EQ(now[i], original[i]);  // given back in order
      }
    }
  }
  EXPECT_TRUE(empty->ModelEntity()->Materials().Empty());
  // Other CAD types give other colours; the new type shows at the next switch.
  model->UpdateView(false);
  model->SetCADType(9);
  model->UpdateView(true);
  EXPECT_EQ(DrawnMaterials(entity)[0]->GetName().Text(), TRRMaterialGenerator::MaterialName(RRCadSubDesc(9)));
  // The sub-entities change while the colours show (a mesh gains a sub-mesh): the ones both lists
  // have get theirs back, the new one keeps what it has.
  gx::TGXEntity* first = nullptr;
  RRForEachSubMesh(entity, [&](const std::string&, gx::TGXSubEntity& sub) {
    if (!first) first = sub.Entity();
  });
  ASSERT_NE(first, nullptr);
  first->Mesh()->AddSubMesh();
  model->UpdateView(false);
  EXPECT_FALSE(model->CadDisplayOn());
  EXPECT_EQ(DrawnMaterials(entity).size(), original.size() + 1);
}

TEST_F(TRRModelTest, AnimationsPlayWrapStopAndAreWrittenBack) {
  TRRModel* mill = Make("Muehle.3ds", true, 0.4f, 1);
  ASSERT_TRUE(mill->HasAnimation());
  ASSERT_NE(mill->Controller(), nullptr);
  EXPECT_FLOAT_EQ(mill->Duration(), 1.6f);  // 40 frames of 0.04 s
  EXPECT_FLOAT_EQ(mill->CurrentTime(), 0.4f);
  gx::TGXNode* sails = mill->ModelEntity()->FindChild("Fluegel", true);
  ASSERT_NE(sails, nullptr);
  const gx::TGXQuaternion at04 = sails->Rotation();

  struct TStep {
    const char* What;
    bool Reset;  // to the beginning first
    bool AnimationsOn;
    float Delta;
    float WantTime;
  } looping[] = {
      {"animations off: nothing moves", false, false, 0.5f, 0.4f},
      {"plays", false, true, 0.2f, 0.6f},
      {"wraps past the end", false, true, 1.6f, 0.6f},
      {"duration + 0.5 from the beginning gives 0.5", true, true, 1.6f + 0.5f, 0.5f},
  };
  for (const TStep& s : looping) {
    SCOPED_TRACE(s.What);
    if (s.Reset) mill->ResetAnimation(true);
    mill->Animate(s.AnimationsOn, s.Delta);
    EXPECT_NEAR(mill->CurrentTime(), s.WantTime, 1e-4);
    EXPECT_TRUE(mill->AnimationEnabled());
  }
  EXPECT_FALSE(sails->Rotation() == at04);  // the sails turned

  // Not looping: started at its end, it stops at the next frame and stays there.
  mill->SetLoop(false);
  mill->ResetAnimation(false);
  EXPECT_FALSE(mill->IsRunning());
  mill->Animate(true, 0.04f);
  EXPECT_FALSE(mill->AnimationEnabled());
  EXPECT_FLOAT_EQ(mill->CurrentTime(), 1.6f);
  mill->Animate(true, 0.04f);
  EXPECT_FLOAT_EQ(mill->CurrentTime(), 1.6f);
  // Started from the beginning at half speed it runs through and stops at the end.
  mill->StartAnimationAction(0, 0);
  mill->SetSpeed(0.5f);
  mill->Animate(true, 1.0f);
  EXPECT_TRUE(mill->IsRunning());
  EXPECT_NEAR(mill->CurrentTime(), 0.5f, 1e-5);
  mill->Animate(true, 10.0f);
  EXPECT_FALSE(mill->AnimationEnabled());

  // Written back: the controller's time and the speed.
  mill->ResetAnimation(true);
  mill->StartAnimation();
  mill->Animate(true, 1.0f);
  std::unique_ptr<TRREntityDescription> d = mill->CreateDescription();
  auto* m = dynamic_cast<TRRModelDesc*>(d.get());
  ASSERT_NE(m, nullptr);
  EXPECT_NEAR(m->StartTime(), 0.5f, 1e-5);
  EXPECT_FLOAT_EQ(m->Speed(), 0.5f);
  EXPECT_FALSE(m->Loop());
  EXPECT_TRUE(m->AnimationEnabled());
  EXPECT_EQ(m->CADType(), 3);
  EXPECT_EQ(m->ModelFile().Model.RelativeName, std::string(kPackage) + "\\Muehle.3ds");
  // A model made from it continues there.
  TRRModel* again = static_cast<TRRModel*>(TRRModel::StaticClass().Create(Root.get(), nullptr, *m));
  EXPECT_NEAR(again->CurrentTime(), 0.5f, 1e-5);
  EXPECT_FALSE(again->Loop());
}

TEST_F(TRRModelTest, ActionsSetPositionDirectionAndRunningState) {
  struct TCase {
    bool Start;
    int32_t Direction, Position;
    float WantTime, WantSpeed;
    bool WantEnabled;
  } cases[] = {
      {true, 0, 0, 0, 2, true},        // forward from the beginning
      {true, 2, 2, 1.6f, -2, true},    // backward from the end
      {true, 1, 1, 0.8f, -2, true},    // both as they are (speed stays backward from before)
      {false, 0, 2, 1.6f, -2, false},  // stop at the end
      {false, 0, 0, 0, -2, false},     // stop at the beginning
      {false, 0, 1, 0.8f, -2, false},  // stop where it is
  };
  for (const TCase& c : cases) {
    TRRModel* m = Make("Muehle.3ds", false, 0.8f, 2);
    if (c.Direction == 1 && c.Start) m->StartAnimationAction(2, 1);  // backward first
    if (c.Start)
      m->StartAnimationAction(c.Direction, c.Position);
    else
      m->StopAnimationAction(c.Position);
    EXPECT_NEAR(m->CurrentTime(), c.WantTime, 1e-5);
    EXPECT_FLOAT_EQ(m->Speed(), c.Start ? c.WantSpeed : 2);
    EXPECT_EQ(m->AnimationEnabled(), c.WantEnabled);
  }
  // Played backward without loop it stops at the beginning.
  TRRModel* back = Make("Muehle.3ds", false, 0.3f, 1);
  back->StartAnimationAction(2, 1);
  back->Animate(true, 1.0f);
  EXPECT_FLOAT_EQ(back->CurrentTime(), 0);
  EXPECT_FALSE(back->AnimationEnabled());
}

TEST_F(TRRModelTest, ReplacingTheModelDerivesAnewAndKeepsTheLoop) {
  TRRModel* model = Make("Muehle.3ds", false, 1.0f, 3);
  model->UpdateView(true);
  ASSERT_TRUE(model->CadDisplayOn());
  model->ReplaceModel(File("Haus.x"));
  EXPECT_FALSE(model->HasAnimation());
  EXPECT_EQ(model->Controller(), nullptr);
  EXPECT_FLOAT_EQ(model->Speed(), 1);
  EXPECT_FALSE(model->Loop());
  EXPECT_FALSE(model->CadDisplayOn());  // the saved materials went with the old model
  EXPECT_EQ(model->Materials().Count(), 3);
  EXPECT_EQ(model->ModelFileName().Model.RelativeName, std::string(kPackage) + "\\Haus.x");
  EXPECT_EQ(model->ModelEntity()->Parent(), model);
  EXPECT_EQ(TestReflections.Listeners.size(), 1u);
  model->UpdateView(true);  // the colours come back for the new model
  EXPECT_TRUE(model->CadDisplayOn());
  model->ReplaceModel(File("Muehle.3ds"));
  EXPECT_TRUE(model->HasAnimation());
  EXPECT_FLOAT_EQ(model->CurrentTime(), 0);
  EXPECT_FALSE(model->Controller()->Loop());
  std::unique_ptr<TRREntityDescription> d = model->CreateDescription();
  EXPECT_EQ(static_cast<TRRModelDesc&>(*d).ModelFile().Model.RelativeName,
            std::string(kPackage) + "\\Muehle.3ds");
}

TEST_F(TRRModelTest, ReflectionNoticesReapplyMaterialsAndDropTheCadList) {
  TRRModel* model = Make("Haus.x");
  model->UpdateView(true);
  TestReflections.Notify();
  EXPECT_FALSE(model->CadDisplayOn());
  EXPECT_NE(DrawnMaterials(model->ModelEntity())[0]->GetName().Text(),
            TRRMaterialGenerator::MaterialName(RRCadSubDesc(3)));
  model->UpdateView(true);
  EXPECT_TRUE(model->CadDisplayOn());
  delete model;
  EXPECT_TRUE(TestReflections.Listeners.empty());
  EXPECT_GT(TestReflections.Unregistered, 0);  // the model's nodes were forgotten
  // A model without materials (no file) does not listen.
  Make("");
  EXPECT_TRUE(TestReflections.Listeners.empty());
}

TEST_F(TRRModelTest, FilesThatCannotBeLoadedShowTheDummyAndAreReported) {
  PutFile(std::string(kPackage) + "\\Kaputt.x", {'x', 'o', 'f', ' ', '0', '3', '0', '3', 't', 'x', 't'});
  struct TCase {
    const char* File;
  } cases[] = {{"Fehlt.x"}, {"Kaputt.x"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    Reported.clear();
    TRRModel* a = Make(c.File);
    TRRModel* b = Make(c.File);
    for (TRRModel* m : {a, b}) {
      EXPECT_TRUE(m->ModelEntity()->IsDummy());
      EXPECT_TRUE(m->ModelEntity()->HasModel());
      EXPECT_TRUE(m->Materials().Empty());  // the dummy's materials are not handed back
      EXPECT_EQ(m->ModelEntity()->Materials().Count(), 3);
      // The file stays named, so the layout keeps it for when it is back.
      EXPECT_EQ(m->ModelFileName().Model.RelativeName, std::string(kPackage) + "\\" + c.File);
    }
    EXPECT_EQ(ReportsOf(c.File), 2);  // each instance names the file
  }
}

TEST_F(TRRModelTest, WithoutTheDummyTheNodeStaysEmptyAndTheDummyIsReportedOnce) {
  std::filesystem::remove(Folder / "Game" / RRBasePackageID / "Dummy.x");
  Reported.clear();
  TRRModel* a = Make("Fehlt.x");
  TRRModel* b = Make("Fehlt.x");
  for (TRRModel* m : {a, b}) {
    EXPECT_TRUE(m->ModelEntity()->IsDummy());
    EXPECT_FALSE(m->ModelEntity()->HasModel());
    EXPECT_EQ(m->ModelEntity()->ChildCount(), 0);
    m->UpdateView(true);
    m->UpdateView(false);
  }
  EXPECT_EQ(ReportsOf("Fehlt.x"), 2);
  EXPECT_EQ(ReportsOf("Dummy.x"), 1);
}

TEST_F(TRRModelTest, WithoutTheModelEffectModelsStillLoadWithoutMaterials) {
  std::string effect = RRModelEffectRelative;
  std::replace(effect.begin(), effect.end(), '\\', '/');
  std::filesystem::remove(Folder / "Game" / effect);
  TRRModel* model = Make("Haus.x");
  EXPECT_TRUE(model->ModelEntity()->HasModel());
  EXPECT_EQ(model->Materials().Count(), 3);
  for (gx::TGXMaterial* m : DrawnMaterials(model->ModelEntity())) EXPECT_EQ(m, nullptr);
  EXPECT_GE(ReportsOf("Model.fx"), 1);
  model->UpdateView(true);  // no CAD material either: nothing breaks
  model->UpdateView(false);
}

TEST_F(TRRModelTest, TrackModelsAreModelEntities) {
  PutModel("Drehscheibe.x", [] {
    gx::TGXModelData data = modeltest::House(gx::EGXModelFormat::XFile);
    data.Nodes[0].Name = "Rad";
    data.Nodes[1].Name = "Haus";
    data.Nodes[1].Parent = -1;
    return data;
  }());
  TRRTrack::SetModelFactory(&RRCreateTrackModelEntity);
  struct TCase {
    TRRTrackType Type;
  } cases[] = {{TRRTrackType::BufferStop}, {TRRTrackType::Turntable}};
  for (const TCase& c : cases) {
    TRRTrackDesc d(c.Type);
    d.SetID(++NextID);
    auto route = std::make_unique<TRRTrackRouteDesc>();
    route->L1 = 25.8f;
    d.AddRoute(std::move(route));
    d.SetHasBed(false);
    d.BedModel() = File("Haus.x");
    d.NoBedModel() = File("Fehlt.x");
    d.TurntableModel() = File("Drehscheibe.x");
    auto* track = static_cast<TRRTrack*>(TRRTrack::StaticClass().Create(Root.get(), nullptr, d));
    if (c.Type == TRRTrackType::BufferStop) {
      auto* bed = dynamic_cast<TRRModelEntity*>(track->BedModelNode());
      auto* noBed = dynamic_cast<TRRModelEntity*>(track->NoBedModelNode());
      ASSERT_NE(bed, nullptr);
      ASSERT_NE(noBed, nullptr);
      EXPECT_FALSE(bed->IsDummy());
      EXPECT_TRUE(noBed->IsDummy());
      EXPECT_FALSE(bed->Visible());
      EXPECT_TRUE(noBed->Visible());
      EXPECT_EQ(ReportsOf("Fehlt.x"), 1);
    } else {
      auto* model = dynamic_cast<TRRModelEntity*>(track->TurntableModelNode());
      ASSERT_NE(model, nullptr);
      EXPECT_TRUE(model->HasModel());
      EXPECT_NE(track->BridgeNode(), nullptr);
      EXPECT_NE(track->HutNode(), nullptr);
      EXPECT_FLOAT_EQ(track->TurntableScale(), 1.0f);  // (25.8 + 0.2) / 26
    }
  }
  TRRTrack::SetModelFactory(nullptr);
}

TEST(RRTrackCatalogueModels, BufferStopsAndTurntablesNameTheModelsOfTheSharedPackage) {
  const char* xml = R"(<Gleissystem hersteller="Probe" system="Test" spurweite="H0">
    <Prellbock name="P" laenge="90"/><Drehscheibe name="D" durchmesser="260"/><Gerade name="G" laenge="90"/>
  </Gleissystem>)";
  TRRTrackSystemDefinition system = RRReadTrackSystem(xml, "test.xml");
  ASSERT_EQ(system.Pieces.size(), 3u);
  const std::string shared = "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Modelle\\";
  struct TCase {
    const TRRModelFileName& Model;
    std::string Want;
  } cases[] = {{system.Pieces[0]->BedModel(), "Prellbock.x"},
               {system.Pieces[0]->NoBedModel(), "PrellbockOhneBettung.x"},
               {system.Pieces[1]->TurntableModel(), "Drehscheibe.x"},
               {system.Pieces[2]->BedModel(), ""}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Want);
    EXPECT_EQ(c.Model.Model.RelativeName, c.Want.empty() ? "" : shared + c.Want);
    EXPECT_EQ(c.Model.Model.EffectiveFileName(), c.Want.empty() ? "" : "Game:\\" + shared + c.Want);
    EXPECT_TRUE(c.Model.Companions.empty());
  }
  // The names are stored with the piece and read back.
  gx::TGXMemoryStream s;
  TRREntityDescription::WriteRecord(*system.Pieces[0], s);
  s.SetPosition(0);
  auto back = TRREntityDescription::ReadRecord(s);
  EXPECT_EQ(static_cast<TRRTrackDesc&>(*back).NoBedModel().Model.RelativeName,
            shared + "PrellbockOhneBettung.x");
}

TEST_F(TRRModelTest, ALayoutWithDamagedModelFilesLoadsWithDummiesAndNamesThem) {
  PutFile(std::string(kPackage) + "\\Kaputt.x", {'x', 'o', 'f', ' ', '0', '3', '0', '3'});
  TRRScriptedUIService ui;
  TRRProjectServices s;
  s.UI = &ui;
  s.FileSystem = &FileSystem;
  s.Resources = &Resources;
  s.FindKind = [](const char*) -> const TRRDescriptionClass* { return nullptr; };
  s.CreateEventSection = [] { return std::make_unique<prjtest::TEventStub>(); };
  TRRProject project(std::move(s));
  ASSERT_TRUE(project.NewProject({}));
  for (const char* file : {"Haus.x", "Kaputt.x", "Fehlt.x"}) {
    TRRModelDesc d;
    d.SetID(project.Manager()->NextID());
    project.Manager()->ReserveIDs(1);
    d.ModelFile() = File(file);
    project.Manager()->CreateEntity(nullptr, d);
  }
  const std::string layout = (Folder / "Anlage.vmp").string();
  ASSERT_TRUE(project.SaveProject(layout));
  ui.ClearShown();
  ASSERT_TRUE(project.LoadProject(layout, false));
  std::vector<TRREntity*> models;
  project.Manager()->FindByClass(TRRModel::StaticClass(), models);
  ASSERT_EQ(models.size(), 3u);
  int dummies = 0;
  for (TRREntity* e : models) {
    auto* m = static_cast<TRRModel*>(e);
    EXPECT_TRUE(m->ModelEntity()->HasModel());
    dummies += m->ModelEntity()->IsDummy();
  }
  EXPECT_EQ(dummies, 2);
  ASSERT_EQ(project.LastMissingFiles().size(), 2u);
  std::vector<std::string> texts = ui.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find(RRTextMissingLoad), std::string::npos);
  EXPECT_NE(texts[0].find("Kaputt.x"), std::string::npos);
  EXPECT_NE(texts[0].find("Fehlt.x"), std::string::npos);
  // The fixture's services are back once the layout is closed.
  project.CloseProject();
  ASSERT_NE(TRRModelServices::Get(), nullptr);
  EXPECT_EQ(TRRModelServices::Get()->Reflections, &TestReflections);
}

TEST_F(TRRModelTest, InstancesOfOneFileShareTheirMaterialsAlsoAfterTheOthersWent) {
  TRRModel* a = Make("Haus.x");
  TRRModel* b = Make("Haus.x");
  const std::vector<gx::TGXMaterial*> first = DrawnMaterials(a->ModelEntity());
  EXPECT_EQ(DrawnMaterials(b->ModelEntity()), first);
  EXPECT_EQ(&a->Materials(), &b->Materials());  // one derived description for both
  std::vector<std::string> names;
  for (gx::TGXMaterial* m : first) names.push_back(m->GetName().Text());
  // With every instance gone the materials are gone too; a new instance makes them again.
  delete a;
  delete b;
  TRRModel* c = Make("Haus.x");
  std::vector<std::string> again;
  for (gx::TGXMaterial* m : DrawnMaterials(c->ModelEntity())) {
    ASSERT_NE(m, nullptr);
    again.push_back(m->GetName().Text());
  }
  EXPECT_EQ(again, names);
  // Other companions are another dressing: the walls find their texture now.
  PutFile(std::string(kPackage) + "\\Putz.png",
          RREncodePng(2, 2, {0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u, 0xFFFF0000u}, false));
  TRRModelDesc d;
  d.SetID(++NextID);
  d.ModelFile() = File("Haus.x");
  d.ModelFile().Companions = {TRRAssetFileName("Putz.png", std::string(kPackage) + "\\Putz.png")};
  auto* textured = static_cast<TRRModel*>(TRRModel::StaticClass().Create(Root.get(), nullptr, d));
  EXPECT_NE(DrawnMaterials(textured->ModelEntity())[0], DrawnMaterials(c->ModelEntity())[0]);
  EXPECT_EQ(textured->Materials().SubDesc(0).DiffuseMap.RelativeName, std::string(kPackage) + "\\Putz.png");
}
