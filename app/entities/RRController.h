#pragma once
// A control element on the layout: a rotary regulator or a toggle switch with a value in 0..1,
// its own or bound to a target - a signal (open = 1), a locomotive's target speed or the route
// of a switchable track. Every value set is reported to the event notifier (changed or not).
// While the controller is selected the keyboard moves it (RRControllerKeyValue).
//
// Description payload (after the model payload): Integer version (2 written; 1..2 read), kind
// byte (0 regulator, 1 toggle switch), target ID (an ID reference, 0 none), version 2: value
// (Single), on speed and off speed (Singles). Numbers that are not finite read as 0; a value is
// kept within 0..1.

#include <cstdint>
#include <memory>
#include <optional>

#include "app/entities/RREntityModifier.h"
#include "app/entities/RRModel.h"

namespace rr {

class TRRRegisteredEntityList;
class TRRTrackVehicle;

inline constexpr const char* RRKindController = "{5633643A-15B2-460A-BA54-A3D2D0CE3860}";
inline constexpr int32_t RRControllerDescVersion = 2;
inline constexpr uint8_t RRControllerRegulator = 0;
inline constexpr uint8_t RRControllerToggle = 1;
// The CAD type of controllers.
inline constexpr uint8_t RRControllerCadType = 12;

class TRRControllerDesc : public TRRModelDesc {
  RR_DESCRIPTION_CLASS()

 public:
  TRRControllerDesc();
  void LoadFromStream(gx::TGXStream& s) override;
  void SaveToStream(gx::TGXStream& s) const override;
  // The model's accessors and the target ID.
  void GetPropertyAccess(TRRPropertyAccessList& list) override;
  // The model's data and the kind (the target, value and speeds stay).
  void AssignFrom(const TRREntityDescription& other) override;

  uint8_t Kind = RRControllerRegulator;
  int32_t TargetID = 0;
  float Value = 0;
  float OnSpeed = 0;
  float OffSpeed = 0;
};

class TRRControllerModifier;

class TRRController : public TRRModel {
  RR_ENTITY_CLASS()

 public:
  TRRController(gx::TGXNode* parent, IRREntityManager* manager, const TRREntityDescription& description);
  ~TRRController() override;
  static void RegisterKinds(TRRRegisteredEntityList& list);

  // The model's frame step, then the lever or knob shows the value.
  void Animate(bool animationsOn, float deltaTime) override;
  std::unique_ptr<TRREntityDescription> CreateDescription() const override;
  void Select() override;
  void Deselect() override;

  uint8_t Kind() const { return FKind; }
  int32_t TargetID() const { return FTargetID; }
  float OnSpeed() const { return FOnSpeed; }
  float OffSpeed() const { return FOffSpeed; }
  // The target as an entity (null without one or when it is gone).
  TRREntity* Target() const;
  // Read from the target (a signal, a locomotive, a switchable track), else the own value.
  float Value() const;
  // A toggle switch takes 1 above 0.5, else 0; a regulator clamps to 0..1; a value that is not
  // a number changes nothing. Pushed to the target (or kept), then reported.
  void SetValue(float x);
  // An ID > 0 binds and pushes the own value to the target; 0 keeps the value shown and unbinds.
  void SetTarget(int32_t id);

 private:
  uint8_t FKind = RRControllerRegulator;
  int32_t FTargetID = 0;
  float FValue = 0;
  float FOnSpeed = 0;
  float FOffSpeed = 0;
  std::unique_ptr<TRRControllerModifier> FModifier;
};

// The value a key gives a controller of the kind (key-down only), or none when the key does
// nothing for it.
std::optional<float> RRControllerKeyValue(uint8_t kind, int32_t key, float value);

class TRRControllerModifier : public TRREntityModifier {
 public:
  explicit TRRControllerModifier(TRRController& controller) : FController(controller) {}
  bool KeyEvent(gx::TGXRenderTarget* view, uint32_t message, const TRRInputRecord& record, int32_t key) override;

 private:
  TRRController& FController;
};

}  // namespace rr
