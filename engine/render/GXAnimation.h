#pragma once
// Animations: TGXAnimation is a resource made by code (the model builders) holding one
// TGXSubAnimation per animated node, each with position, rotation and scale keys in strictly
// increasing frame order. TGXAnimationController plays animations on the nodes of an instance.
//
// Sampling allocates nothing and keeps, per bound track and kind, the index of the key it found
// last: playback moves forward a frame at a time, so the next search starts where the last one
// ended and usually stops at once.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/GXGuid.h"
#include "engine/core/GXMath.h"
#include "engine/core/GXNode.h"
#include "engine/core/GXResourceManager.h"

namespace gx {

// {D773CA58-BF65-40D5-99E6-E425DA765AD3}
inline constexpr TGXGuid IID_IGXAnimation{
    0xD773CA58, 0xBF65, 0x40D5, {0x99, 0xE6, 0xE4, 0x25, 0xDA, 0x76, 0x5A, 0xD3}};

template <typename T>
struct TGXAnimationKey {
  uint32_t Frame = 0;
  T Value;
};
using TGXPositionKey = TGXAnimationKey<TGXVector3>;
using TGXRotationKey = TGXAnimationKey<TGXQuaternion>;
using TGXScaleKey = TGXAnimationKey<TGXVector3>;

class TGXSubAnimation {
 public:
  explicit TGXSubAnimation(std::string name) : FName(std::move(name)) {}

  const std::string& Name() const { return FName; }
  const std::vector<TGXPositionKey>& PositionKeys() const { return FPositionKeys; }
  const std::vector<TGXRotationKey>& RotationKeys() const { return FRotationKeys; }
  const std::vector<TGXScaleKey>& ScaleKeys() const { return FScaleKeys; }
  // Ignored unless the frame lies after the last key of that kind.
  void AddPositionKey(uint32_t frame, const TGXVector3& value);
  void AddRotationKey(uint32_t frame, const TGXQuaternion& value);
  void AddScaleKey(uint32_t frame, const TGXVector3& value);

  // The value at frame f: without keys (0, 0, 0), identity or (1, 1, 1); at or before the first
  // key its value, at or after the last its value; between keys i and i + 1 (the last key not
  // after f) interpolated linearly, rotations by slerp. hint is the key index found last
  // (any value is safe) and receives the one found now.
  TGXVector3 SamplePosition(float f, uint32_t& hint) const;
  TGXQuaternion SampleRotation(float f, uint32_t& hint) const;
  TGXVector3 SampleScale(float f, uint32_t& hint) const;

  // The first and last key frames over the three kinds (0 without keys).
  uint32_t FirstFrame() const;
  uint32_t LastFrame() const;

 private:
  std::string FName;
  std::vector<TGXPositionKey> FPositionKeys;
  std::vector<TGXRotationKey> FRotationKeys;
  std::vector<TGXScaleKey> FScaleKeys;
  // Per pair of neighbouring rotation keys what the spherical interpolation between them
  // computes once: the angle and the sign (slerp's acos and sine are most of a sample's cost).
  struct TSlerpPair {
    float Theta = 0, Sin = 0, Sign = 1;
    bool Linear = true;
  };
  std::vector<TSlerpPair> FRotationPairs;
};

class TGXAnimation : public TGXResource {
 public:
  static constexpr TGXGuid IID = IID_IGXAnimation;

  TGXAnimation(TGXWeakRef<TGXResource>* cell, std::string name, bool manual = true)
      : TGXResource(cell, std::move(name), manual) {}
  std::string ClassName() const override { return "TGXAnimation"; }

  int SubAnimationCount() const { return static_cast<int>(FSubAnimations.size()); }
  // A bad index raises EInvalidParameter.
  TGXSubAnimation* SubAnimation(int index) const;
  // Always 0.
  uint32_t StartFrame() const { return 0; }
  // The largest last-key frame over all tracks and kinds.
  uint32_t EndFrame() const;
  float GetSecondsPerFrame() const { return FSecondsPerFrame; }
  // Values that are not positive and finite are ignored.
  void SetSecondsPerFrame(float value);
  // A new track; a loaded animation refuses (EInvalidCall "CreateSubAnimation", "Animation
  // already loaded").
  TGXSubAnimation* AddSubAnimation(const std::string& name);

 private:
  std::vector<std::unique_ptr<TGXSubAnimation>> FSubAnimations;
  float FSecondsPerFrame = 0.04f;
};
using IGXAnimation = TGXRef<TGXAnimation>;

class TGXAnimationController {
 public:
  TGXAnimationController() = default;
  TGXAnimationController(const TGXAnimationController&) = delete;
  TGXAnimationController& operator=(const TGXAnimationController&) = delete;
  // Stops listening to the bound nodes.
  ~TGXAnimationController();

  // Loads the animation and replaces an earlier binding of it. With a root, each track drives
  // the root when the names are equal, else root's first descendant of that name
  // (case-sensitive), else nothing. Then takes the animation's seconds per frame.
  void Bind(IGXAnimation animation, TGXNode* root);
  // Drops the binding of the animation, if any.
  void Unbind(const TGXAnimation* animation);
  int BindingCount() const { return static_cast<int>(FBindings.size()); }
  // The node track i of binding b drives, or null (also after that node was destroyed).
  TGXNode* BoundNode(int binding, int track) const;

  uint32_t StartFrame() const { return FStartFrame; }
  uint32_t EndFrame() const { return FEndFrame; }
  float SecondsPerFrame() const { return FSecondsPerFrame; }
  float Time() const { return FTime; }
  float Duration() const { return FDuration; }
  bool Loop() const { return FLoop; }
  void SetLoop(bool value) { FLoop = value; }
  void SetStartFrame(uint32_t frame);
  // Stores the frame, then Duration := (EndFrame - StartFrame) x SecondsPerFrame.
  void SetEndFrame(uint32_t frame);
  // The same; values that are not positive and finite are ignored.
  void SetSecondsPerFrame(float value);

  // SetTime(Time + d).
  void Advance(float d);
  // Time := t brought into [0, Duration): looping wraps it (as often as needed), otherwise it is
  // clamped to [0, Duration]; a Duration of 0 gives 0 and a non-finite t is ignored. Then every
  // bound node takes the sampled position, rotation and scale of its track (kinds without keys
  // leave the node's value alone) at frame Time / SecondsPerFrame + StartFrame.
  void SetTime(float t);

 private:
  struct TTrack {
    const TGXSubAnimation* Sub = nullptr;
    TGXNode* Node = nullptr;
    uint32_t Hint[3] = {0, 0, 0};
  };
  struct TBinding {
    IGXAnimation Animation;
    std::vector<TTrack> Tracks;
  };
  void UpdateDuration();
  void NodeDestroyed(TGXNode* node);
  void Listen(TGXNode* node);
  // Stops listening to the nodes of the binding that no other binding uses.
  void Forget(const TBinding& binding, size_t except);

  std::vector<TBinding> FBindings;
  uint32_t FStartFrame = 0, FEndFrame = 0;
  float FSecondsPerFrame = 0.04f;
  float FTime = 0, FDuration = 0;
  bool FLoop = true;
};

}  // namespace gx
