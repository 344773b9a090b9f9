#include "app/entities/RRModel.h"

#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "app/RRTextureConverter.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/track/RRTrack.h"
#include "engine/core/GXException.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXEntity.h"
#include "engine/render/GXMaterial.h"

namespace rr {

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRModelDesc, TRREntityDescription)

void TRRModelDesc::LoadFromStream(gx::TGXStream& s) {
  TRREntityDescription::LoadFromStream(s);
  const int32_t version = gx::ReadInteger(s);
  if (version < 1 || version > RRModelDescVersion) throw EUnknownEntityDescription();
  TRRModelFileName file;
  file.ReadFromStream(s);
  if (version == 2) {
    // Version 2 stored the materials; they are derived from the model now.
    TRRMaterialDesc discarded;
    discarded.LoadFromStream(s);
  }
  const bool enabled = gx::ReadBoolean(s);
  const uint8_t cadType = gx::ReadByte(s);
  bool loop = FLoop;
  float startTime = FStartTime;
  float speed = RRModelOldSpeed;
  if (version >= 3) {
    loop = gx::ReadBoolean(s);
    startTime = gx::ReadSingle(s);
    speed = gx::ReadSingle(s);
    // A damaged number would stop or race the animation and be written back.
    if (!std::isfinite(startTime)) startTime = 0;
    if (!std::isfinite(speed)) speed = 1.0f;
  }
  FModelFile = std::move(file);
  FAnimationEnabled = enabled;
  FCADType = cadType;
  FLoop = loop;
  FStartTime = startTime;
  FSpeed = speed;
}

void TRRModelDesc::SaveToStream(gx::TGXStream& s) const {
  TRREntityDescription::SaveToStream(s);
  gx::WriteInteger(s, RRModelDescVersion);
  FModelFile.WriteToStream(s);
  gx::WriteBoolean(s, FAnimationEnabled);
  gx::WriteByte(s, FCADType);
  gx::WriteBoolean(s, FLoop);
  gx::WriteSingle(s, FStartTime);
  gx::WriteSingle(s, FSpeed);
}

void TRRModelDesc::GetPropertyAccess(TRRPropertyAccessList& list) {
  TRREntityDescription::GetPropertyAccess(list);
  list.Add<TRRModelFileNameAccess>(FModelFile);
}

void TRRModelDesc::AssignFrom(const TRREntityDescription& other) {
  TRREntityDescription::AssignFrom(other);
  const auto* o = dynamic_cast<const TRRModelDesc*>(&other);
  if (!o || o == this) return;
  FModelFile = o->FModelFile;
}

void TRRModelDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRREntityDescription::LoadFromPropertyBag(bag, modelFileName);
  FAnimationEnabled = true;
  bag.GetBoolean("EnableAnimation", FAnimationEnabled);
  int32_t cadType = -1;
  bag.GetInteger("CADType", cadType);
  FCADType = cadType >= 0 && cadType < RRCadTypeCount ? static_cast<uint8_t>(cadType) : RRModelDefaultCadType;
  std::string file;
  if (bag.GetFilename("ModelName", file) || bag.GetString("ModelName", file)) {
    // The catalogue refresh replaces it when the file is a catalogue model; a model of the
    // user's own disk is then still found.
    FModelFile = TRRModelFileName{TRRAssetFileName(file), {}};
    size_t p = file.find_last_of("\\/");
    modelFileName = p == std::string::npos ? file : file.substr(p + 1);
  }
}

std::unique_ptr<TRRModelDesc> RRImportedModelDesc(const std::string& file, const std::string& diskFile) {
  auto d = std::make_unique<TRRModelDesc>();
  d->SetAssetID(gx::TGXGuid::NewGuid());
  size_t slash = file.find_last_of("\\/");
  std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  if (size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.erase(dot);
  d->Name().SetText(gx::GX_LANG_GERMAN, name, true);
  d->SetCADType(RRModelDefaultCadType);
  d->ModelFile().Model = TRRAssetFileName(file);
  if (!diskFile.empty())
    for (const std::string& companion : FindCompanionFiles(diskFile))
      d->ModelFile().Companions.emplace_back(companion);
  return d;
}

// ---- model entity ----

namespace {

std::exception_ptr LoadFailure(const gx::TGXResource& resource) {
  return std::make_exception_ptr(
      gx::EGXException({gx::TGXExceptionArg::Object(resource.ClassName()), "DoLoad", resource.LoadError()}));
}

// Every node of the subtree, depth first, parents before children.
template <class Fn>
void ForEachNode(gx::TGXNode* node, Fn&& fn) {
  fn(node);
  for (int i = 0; i < node->ChildCount(); ++i) ForEachNode(node->Child(i), fn);
}

// Every sub-entity under root in the order of the sub-mesh paths (a node's objects first, then
// its children), without building the paths: the CAD display runs over thousands of models.
template <class Fn>
void ForEachSubEntity(gx::TGXNode* node, Fn&& fn) {
  if (auto* scene = dynamic_cast<gx::TGXSceneNode*>(node)) {
    for (int k = 0; k < scene->ObjectCount(); ++k)
      if (auto* entity = dynamic_cast<gx::TGXEntity*>(scene->Objects()[k])) {
        const int count = entity->SubEntityCount();
        for (int j = 0; j < count; ++j) fn(*entity->SubEntity(j));
      }
  }
  for (int i = 0; i < node->ChildCount(); ++i) ForEachSubEntity(node->Child(i), fn);
}

const TRRMaterialDesc& EmptyMaterials() {
  static const TRRMaterialDesc empty;
  return empty;
}

bool SameCompanions(const std::vector<TRRAssetFileName>& a, const std::vector<TRRAssetFileName>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].FileName != b[i].FileName || a[i].RelativeName != b[i].RelativeName) return false;
  return true;
}

// How the instances of one model file with one companion list are dressed: the derived
// description and, once an instance was dressed with it, its materials in sub-entity order.
// Materials without reflection are shared by their description's bytes and do not depend on the
// node, so the next instance takes them without building paths, digests and resource names
// again. Weak slots only: a dressing never keeps a model or a material alive, and a dead one is
// made again.
struct TDressing {
  gx::TGXWeakRef<gx::TGXModel> Model;
  std::vector<TRRAssetFileName> Companions;
  TRRSharedMaterialDesc Derived;
  bool Shareable = false;  // no sub description reflects
  std::vector<gx::TGXWeakRef<gx::TGXMaterial>> Materials;
};

struct TDressings {
  gx::TGXResourceManager* Resources = nullptr;
  std::unordered_multimap<const gx::TGXModel*, std::unique_ptr<TDressing>> Items;
  size_t PruneAt = 64;
};

TDressing& DressingOf(const gx::TGXModel& model, const std::vector<TRRAssetFileName>& companions,
                      gx::TGXResourceManager* resources) {
  static TDressings all;
  if (all.Resources != resources) {
    all.Items.clear();
    all.Resources = resources;
  }
  auto range = all.Items.equal_range(&model);
  for (auto it = range.first; it != range.second;) {
    if (!it->second->Model) {
      it = all.Items.erase(it);  // a dead model whose address came back
      continue;
    }
    if (SameCompanions(it->second->Companions, companions)) return *it->second;
    ++it;
  }
  if (all.Items.size() >= all.PruneAt) {
    std::erase_if(all.Items, [](const auto& item) { return !item.second->Model; });
    all.PruneAt = std::max<size_t>(64, all.Items.size() * 2);
  }
  auto d = std::make_unique<TDressing>();
  d->Model = const_cast<gx::TGXModel*>(&model);
  d->Companions = companions;
  d->Derived =
      std::make_shared<const TRRMaterialDesc>(TRRMaterialGenerator::DeriveDescription(model, companions));
  d->Shareable = true;
  for (int i = 0; i < d->Derived->Count(); ++i)
    d->Shareable = d->Shareable && d->Derived->SubDesc(i).ReflectionMode == RRReflectionNone;
  return *all.Items.emplace(&model, std::move(d))->second;
}

// Gives the node's sub-entities the dressing's materials; false when there are none (yet), one
// of them died or the sub-entities do not match.
bool DressFrom(TDressing& dressing, gx::TGXSceneNode* node) {
  if (dressing.Materials.empty()) return false;
  thread_local std::vector<gx::IGXMaterial> locked;
  locked.clear();
  for (const auto& m : dressing.Materials) {
    locked.push_back(m.Lock());
    if (!locked.back()) {
      dressing.Materials.clear();
      return false;
    }
  }
  size_t count = 0;
  ForEachSubEntity(node, [&](gx::TGXSubEntity&) { ++count; });
  if (count != locked.size()) return false;
  size_t i = 0;
  ForEachSubEntity(node, [&](gx::TGXSubEntity& sub) { sub.SetMaterial(locked[i++]); });
  locked.clear();
  return true;
}

// Keeps the materials a freshly dressed instance got, when every one of them could be made.
void RecordDressing(TDressing& dressing, gx::TGXSceneNode* node) {
  if (!dressing.Shareable) return;
  std::vector<gx::TGXWeakRef<gx::TGXMaterial>> materials;
  bool complete = true;
  ForEachSubEntity(node, [&](gx::TGXSubEntity& sub) {
    complete = complete && sub.OwnMaterial();
    materials.emplace_back(sub.OwnMaterial().Get());
  });
  if (complete && !materials.empty()) dressing.Materials = std::move(materials);
}

}  // namespace

TRRModelEntity::TRRModelEntity(gx::TGXNode* parent, TRRMaterialDesc* materials, const TRRModelFileName& file)
    : gx::TGXSceneNode({}, parent), FFileName(file) {
  TRRSharedMaterialDesc shared;
  if (materials && !materials->Empty()) shared = std::make_shared<const TRRMaterialDesc>(*materials);
  const bool given = shared != nullptr;
  Build(shared);
  if (materials && !given && shared) materials->Assign(*shared);
}

TRRModelEntity::TRRModelEntity(gx::TGXNode* parent, TRRSharedMaterialDesc& materials,
                               const TRRModelFileName& file)
    : gx::TGXSceneNode({}, parent), FFileName(file) {
  Build(materials);
}

void TRRModelEntity::Build(TRRSharedMaterialDesc& materials) {
  const TRRModelServices* services = TRRModelServices::Get();
  if (FFileName.Model.EffectiveFileName().empty() || !services || !services->Resources ||
      !services->CanMake(gx::IID_IGXModel))
    return;
  FReflections = services->Reflections;
  if (!Instantiate(*services)) return;

  const std::vector<TRRAssetFileName> none;
  TDressing& dressing = DressingOf(*FModel, FIsDummy ? none : FFileName.Companions, services->Resources);
  FDerived = dressing.Derived;
  if (FIsDummy || !materials || materials->Empty()) {
    FMaterials = FDerived;
    if (!FIsDummy) materials = FDerived;
    if (!DressFrom(dressing, this)) {
      TRRMaterialGenerator::ApplyMaterials(this, *FMaterials);
      RecordDressing(dressing, this);
    }
  } else {
    FMaterials = materials;
    TRRMaterialGenerator::ApplyMaterials(this, *FMaterials, FDerived.get());
  }
  FAnimation = FModel->GetAnimation();
}

const TRRMaterialDesc& TRRModelEntity::Materials() const {
  return FMaterials ? *FMaterials : EmptyMaterials();
}

bool TRRModelEntity::Instantiate(const TRRModelServices& services) {
  gx::TGXResourceManager& resources = *services.Resources;
  gx::IGXModel model;
  bool reported = false;
  try {
    model = resources.Get<gx::TGXModel>(FFileName.Model.EffectiveFileName());
    if (model->IsUnloaded()) {
      model->SetDataLoader(services.MakeLoader(FFileName.Model));
      model->Load();
    }
  } catch (...) {
    services.Report(FFileName.Model, std::current_exception());
    reported = true;
  }
  if (model && model->IsLoaded()) {
    FModel = std::move(model);
  } else {
    // Every instance of a file that cannot be loaded names it (one that failed for an earlier
    // instance still held elsewhere raises nothing now).
    if (!reported) services.Report(FFileName.Model, model ? LoadFailure(*model) : nullptr);
    FIsDummy = true;
    gx::IGXModel dummy;
    try {
      dummy = resources.Get<gx::TGXModel>(RRDummyModelFile);
      // A dummy that failed already is held by the entities that met it and was reported then.
      if (dummy->IsUnloaded()) {
        dummy->SetDataLoader(services.MakeLoader(TRRAssetFileName(RRDummyModelFile)));
        dummy->Load();
      }
    } catch (...) {
      services.Report(TRRAssetFileName(RRDummyModelFile), std::current_exception());
    }
    FModel = std::move(dummy);
    if (!FModel || !FModel->IsLoaded()) return false;
  }
  FModel->CreateInstance(this);
  return true;
}

TRRModelEntity::~TRRModelEntity() {
  if (FReflections)
    ForEachNode(this, [this](gx::TGXNode* n) {
      if (auto* scene = dynamic_cast<gx::TGXSceneNode*>(n)) FReflections->UnregisterNode(scene);
    });
}

void TRRModelEntity::ApplyMaterials() {
  if (!HasModel() || !FMaterials) return;
  TRRMaterialGenerator::ApplyMaterials(this, *FMaterials, FDerived.get());
}

gx::TGXSceneNode* RRCreateTrackModelEntity(gx::TGXNode* parent, const TRRModelFileName& model, TRRTrackType) {
  return new TRRModelEntity(parent, nullptr, model);
}

// ---- model ----

RR_DEFINE_ENTITY_CLASS(TRRModel, TRREntity)

void TRRModel::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindModel), StaticClass(), TRRModelDesc::StaticClass());
}

namespace {

const TRRModelDesc* AsModelDesc(const TRREntityDescription& d) {
  return dynamic_cast<const TRRModelDesc*>(&d);
}

// The CAD material of each type, shared by every model while any of them shows it; a weak slot
// so the cache never keeps a material past its users (or past the render core). Keyed by the
// resource manager the material came from.
struct TCadMaterialCache {
  gx::TGXResourceManager* Resources = nullptr;
  gx::TGXWeakRef<gx::TGXMaterial> Materials[RRCadTypeCount];
};

gx::IGXMaterial CadMaterial(uint8_t cadType) {
  static TCadMaterialCache cache;
  const TRRModelServices* services = TRRModelServices::Get();
  gx::TGXResourceManager* resources = services ? services->Resources : nullptr;
  if (!resources) return nullptr;
  if (cache.Resources != resources) {
    for (auto& m : cache.Materials) m = nullptr;
    cache.Resources = resources;
  }
  const int index = cadType < RRCadTypeCount ? cadType : RRModelDefaultCadType;
  if (gx::IGXMaterial m = cache.Materials[index].Lock()) return m;
  gx::IGXMaterial m = TRRMaterialGenerator::MakeMaterial(RRCadSubDesc(static_cast<uint8_t>(index)));
  cache.Materials[index] = m.Get();
  return m;
}

}  // namespace

TRRModel::TRRModel(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRREntity(parent, manager, description) {
  const TRRModelDesc* d = AsModelDesc(description);
  const TRRModelDesc defaults;
  if (!d) d = &defaults;
  FSpeed = d->Speed();
  BuildModel(d->ModelFile(), d->Loop(), d->StartTime());
  FAnimationEnabled = d->AnimationEnabled();
  FLoop = d->Loop();
  FCADType = d->CADType();
}

TRRModel::~TRRModel() {
  BeginDestruction();
  if (FReflections) FReflections->RemoveListener(this);
  // The controller listens to nodes of the model entity, which the node tree frees after us.
  FController.reset();
}

void TRRModel::BuildModel(const TRRModelFileName& file, bool loop, float startTime) {
  FMaterials.reset();
  FModelEntity = new TRRModelEntity(this, FMaterials, file);
  FStartTime = startTime;
  FHasAnimation = false;
  if (const gx::IGXAnimation& animation = FModelEntity->Animation()) {
    FHasAnimation = true;
    FController = std::make_unique<gx::TGXAnimationController>();
    FController->Bind(animation, FModelEntity);
    FController->SetEndFrame(animation->EndFrame());
    FController->SetLoop(loop);
    FController->SetTime(startTime);
  }
  if (FMaterials && !FMaterials->Empty()) {
    const TRRModelServices* services = TRRModelServices::Get();
    FReflections = services ? services->Reflections : nullptr;
    if (FReflections) FReflections->AddListener(this);
  }
}

void TRRModel::FreeModel() {
  if (FReflections) FReflections->RemoveListener(this);
  FReflections = nullptr;
  FSavedMaterials.reset();
  FController.reset();
  delete FModelEntity;
  FModelEntity = nullptr;
  FMaterials.reset();
}

void TRRModel::ReplaceModel(const TRRModelFileName& file) {
  FreeModel();
  FSpeed = 1.0f;
  BuildModel(file, FLoop, 0);
}

const TRRMaterialDesc& TRRModel::Materials() const { return FMaterials ? *FMaterials : EmptyMaterials(); }

const TRRModelFileName& TRRModel::ModelFileName() const {
  static const TRRModelFileName none;
  return FModelEntity ? FModelEntity->ModelFileName() : none;
}

void TRRModel::ReflectionSettingsChanged() {
  if (FModelEntity) FModelEntity->ApplyMaterials();
  // The CAD display is made again at the next frame from the materials given now.
  FSavedMaterials.reset();
}

std::unique_ptr<TRREntityDescription> TRRModel::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRREntity::CreateDescription();
  if (auto* d = dynamic_cast<TRRModelDesc*>(base.get())) {
    d->ModelFile() = ModelFileName();
    d->SetAnimationEnabled(FAnimationEnabled);
    d->SetLoop(FLoop);
    d->SetCADType(FCADType);
    d->SetStartTime(FController ? FController->Time() : FStartTime);
    d->SetSpeed(FSpeed);
  }
  return base;
}

// ---- technical view ----

void TRRModel::UpdateView(bool technicalView) {
  if (technicalView == (FSavedMaterials != nullptr) || !FModelEntity) return;
  if (technicalView) {
    auto saved = std::make_unique<std::vector<gx::IGXMaterial>>();
    ForEachSubEntity(FModelEntity, [&](gx::TGXSubEntity& sub) { saved->push_back(sub.OwnMaterial()); });
    if (!saved->empty()) {
      gx::IGXMaterial cad = CadMaterial(FCADType);
      ForEachSubEntity(FModelEntity, [&](gx::TGXSubEntity& sub) { sub.SetMaterial(cad); });
    }
    FSavedMaterials = std::move(saved);
  } else {
    // In the order they were taken; should the sub-entities have changed since, the ones both
    // lists have get theirs back and the others keep what they have.
    std::unique_ptr<std::vector<gx::IGXMaterial>> saved = std::move(FSavedMaterials);
    size_t i = 0;
    ForEachSubEntity(FModelEntity, [&](gx::TGXSubEntity& sub) {
      if (i < saved->size()) sub.SetMaterial((*saved)[i]);
      ++i;
    });
  }
}

// ---- animation ----

void TRRModel::Animate(bool animationsOn, float deltaTime) {
  TRREntity::Animate(animationsOn, deltaTime);
  if (!FController || !FHasAnimation || !FAnimationEnabled || !animationsOn) return;
  FController->Advance(deltaTime * FSpeed);
  if (!IsRunning()) FAnimationEnabled = false;
}

void TRRModel::ResetAnimation(bool toBeginning) {
  if (!FController) return;
  FController->SetTime(toBeginning ? 0.0f : FController->Duration());
}

void TRRModel::SetLoop(bool value) {
  FLoop = value;
  if (FController) FController->SetLoop(value);
}

bool TRRModel::IsRunning() const {
  if (!FAnimationEnabled) return false;
  if (FLoop) return true;
  const float t = CurrentTime();
  return t > 0 && t < Duration();
}

float TRRModel::CurrentTime() const { return FController ? FController->Time() : 0.0f; }

float TRRModel::Duration() const { return FController ? FController->Duration() : 0.0f; }

void TRRModel::StartAnimationAction(int32_t direction, int32_t startPosition) {
  if (startPosition == 0)
    ResetAnimation(true);
  else if (startPosition == 2)
    ResetAnimation(false);
  if (direction == 0)
    FSpeed = std::fabs(FSpeed);
  else if (direction == 2)
    FSpeed = -std::fabs(FSpeed);
  StartAnimation();
}

void TRRModel::StopAnimationAction(int32_t endPosition) {
  if (endPosition == 0)
    ResetAnimation(true);
  else if (endPosition == 2)
    ResetAnimation(false);
  StopAnimation();
}

}  // namespace rr
