#pragma once
// A plant: a model that gets a size of its own. A plant made from a description with scale seed
// 0 draws a size between 1 and 1.15 from the plant random source; the size is written back as
// the seed, so a saved plant keeps it. Plants show CAD type 9 in the technical view.
//
// Description payload (after the model payload): Integer version (1), scale seed (Single). A
// seed that is negative or not finite counts as 0 (a negative size would mirror the plant).

#include <cstdint>
#include <functional>
#include <memory>

#include "app/entities/RRModel.h"

namespace rr {

class TRRRegisteredEntityList;

inline constexpr const char* RRKindVegetation = "{7B851F1A-D8D4-4D38-849B-DCCFA34ECD83}";
inline constexpr int32_t RRVegetationDescVersion = 1;
inline constexpr uint8_t RRVegetationCadType = 9;
// A random size lies in [1, 1 + RRVegetationScaleSpread).
inline constexpr float RRVegetationScaleSpread = 0.15f;

class TRRVegetationDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()

 public:
  TRRVegetationDesc() { SetCADType(RRVegetationCadType); }
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // The model's keys and "ScaleSeed" (single).
  void LoadFromPropertyBag(const TRREntityDescription_10& bag, std::string& modelFileName) override;

  float ScaleSeed = 0;
};

class TRRVegetation : public TRRModel {
  RR_ENTITY_CLASS()

 public:
  TRRVegetation(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  static void RegisterKinds(TRRRegisteredEntityList& list);

  std::unique_ptr<TRREntityDescription> CreateDescription() const override;

  float Scale() const { return FScale; }

  // The source of random sizes: a number in [0, 1) per call. Null restores the default (a
  // generator of its own, seeded once). Tests make sizes predictable with it.
  static void SetRandomSource(std::function<float()> source);

 private:
  float FScale = 1.0f;
};

}  // namespace rr
