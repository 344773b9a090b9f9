#include "app/entities/scenery/RRVegetation.h"

#include <cmath>
#include <mutex>
#include <random>

#include "app/entities/RREntityRegistry.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/scenery/RRPlantBatch.h"
#include "engine/core/GXSerialization.h"

namespace rr {

namespace {

// A seed that would mirror the plant or poison its matrix means "choose a size".
float UsableSeed(float seed) { return std::isfinite(seed) && seed > 0 ? seed : 0.0f; }

std::mutex& RandomLock() {
  static std::mutex lock;
  return lock;
}

std::function<float()>& RandomSource() {
  static std::function<float()> source;
  return source;
}

float NextRandom() {
  std::lock_guard<std::mutex> guard(RandomLock());
  if (RandomSource()) return RandomSource()();
  static std::mt19937 generator(std::random_device{}());
  return std::uniform_real_distribution<float>(0.0f, 1.0f)(generator);
}

}  // namespace

// ---- description ----

RR_DEFINE_DESCRIPTION_CLASS(TRRVegetationDesc, TRRModelDesc)

void TRRVegetationDesc::LoadFromStream(gx::TGXStream& s) {
  TRRModelDesc::LoadFromStream(s);
  if (gx::ReadInteger(s) != RRVegetationDescVersion) throw EUnknownEntityDescription();
  ScaleSeed = UsableSeed(gx::ReadSingle(s));
}

void TRRVegetationDesc::SaveToStream(gx::TGXStream& s) const {
  TRRModelDesc::SaveToStream(s);
  gx::WriteInteger(s, RRVegetationDescVersion);
  gx::WriteSingle(s, ScaleSeed);
}

void TRRVegetationDesc::LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) {
  TRRModelDesc::LoadFromPropertyBag(bag, modelFileName);
  float seed = 0;
  bag.GetSingle("ScaleSeed", seed);
  ScaleSeed = UsableSeed(seed);
}

// ---- plant ----

RR_DEFINE_ENTITY_CLASS(TRRVegetation, TRRModel)

void TRRVegetation::RegisterKinds(TRRRegisteredEntityList& list) {
  list.Register(gx::TGXGuid::Parse(RRKindVegetation), StaticClass(), TRRVegetationDesc::StaticClass());
}

void TRRVegetation::SetRandomSource(std::function<float()> source) {
  std::lock_guard<std::mutex> guard(RandomLock());
  RandomSource() = std::move(source);
}

TRRVegetation::TRRVegetation(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description)
    : TRRModel(parent, manager, description) {
  const auto* d = dynamic_cast<const TRRVegetationDesc*>(&description);
  const float seed = d ? UsableSeed(d->ScaleSeed) : 0.0f;
  if (seed > 0) {
    FScale = seed;
  } else {
    // A source that answers outside [0, 1) still gives a size in range.
    float r = NextRandom();
    if (!std::isfinite(r) || r < 0 || r >= 1) r = 0;
    FScale = 1.0f + r * RRVegetationScaleSpread;
  }
  if (TRRModelEntity* model = ModelEntity()) model->SetScale({FScale, FScale, FScale});
  SetCADType(RRVegetationCadType);
  TRRPlantBatch::Attach(*this);
}

std::unique_ptr<TRREntityDescription> TRRVegetation::CreateDescription() const {
  std::unique_ptr<TRREntityDescription> base = TRRModel::CreateDescription();
  if (auto* d = dynamic_cast<TRRVegetationDesc*>(base.get())) d->ScaleSeed = FScale;
  return base;
}

}  // namespace rr
