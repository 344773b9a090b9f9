#include "engine/render/GXAnimation.h"

#include <algorithm>
#include <cmath>

#include "engine/core/GXException.h"

namespace gx {

namespace {

template <typename T>
void AddKey(std::vector<TGXAnimationKey<T>>& keys, uint32_t frame, const T& value) {
  if (!keys.empty() && frame <= keys.back().Frame) return;
  keys.push_back({frame, value});
}

// The index of the last key whose frame is not after f, searched from hint. The caller has
// ruled out f before the first and at or after the last key, so 0 <= i < size - 1.
template <typename T>
uint32_t FindKey(const std::vector<TGXAnimationKey<T>>& keys, float f, uint32_t hint) {
  const uint32_t last = uint32_t(keys.size()) - 1;
  // The last key in [lo, hi] whose frame is not above f (keys[lo] is known to be).
  auto search = [&](uint32_t lo, uint32_t hi) {
    while (lo < hi) {
      const uint32_t mid = lo + (hi - lo + 1) / 2;
      if (float(keys[mid].Frame) <= f)
        lo = mid;
      else
        hi = mid - 1;
    }
    return lo;
  };
  uint32_t i = std::min(hint, last - 1);
  // Backwards (a rewound or wrapped time): below the hint.
  if (float(keys[i].Frame) > f) return search(0, i);
  // Forwards: a few steps, then a binary search for long jumps.
  for (int step = 0; step < 4; ++step) {
    if (float(keys[i + 1].Frame) > f) return i;
    ++i;
  }
  return search(i, last - 1);
}

template <typename T, typename Lerp>
T Sample(const std::vector<TGXAnimationKey<T>>& keys, float f, uint32_t& hint, const T& none, Lerp lerp) {
  if (keys.empty()) return none;
  if (!(f > float(keys.front().Frame))) {
    hint = 0;
    return keys.front().Value;
  }
  if (f >= float(keys.back().Frame)) {
    hint = uint32_t(keys.size()) - 1;
    return keys.back().Value;
  }
  const uint32_t i = FindKey(keys, f, hint);
  hint = i;
  const float t = (f - float(keys[i].Frame)) / float(keys[i + 1].Frame - keys[i].Frame);
  return lerp(keys[i].Value, keys[i + 1].Value, t);
}

}  // namespace

// ---- sub-animation ----

void TGXSubAnimation::AddPositionKey(uint32_t frame, const TGXVector3& value) {
  AddKey(FPositionKeys, frame, value);
}
void TGXSubAnimation::AddRotationKey(uint32_t frame, const TGXQuaternion& value) {
  const size_t before = FRotationKeys.size();
  AddKey(FRotationKeys, frame, value);
  if (FRotationKeys.size() == before || before == 0) return;
  // The first half of GXQuaternionSlerp, for the pair ending in the new key.
  const TGXQuaternion& a = FRotationKeys[before - 1].Value;
  float dot = GXQuaternionDot(a, value);
  TSlerpPair pair;
  if (dot < 0) {
    dot = -dot;
    pair.Sign = -1;
  }
  if (1.0f - dot > 1e-6f) {
    pair.Theta = std::acos(std::min(dot, 1.0f));
    pair.Sin = std::sin(pair.Theta);
    pair.Linear = false;
  }
  FRotationPairs.push_back(pair);
}
void TGXSubAnimation::AddScaleKey(uint32_t frame, const TGXVector3& value) {
  AddKey(FScaleKeys, frame, value);
}

TGXVector3 TGXSubAnimation::SamplePosition(float f, uint32_t& hint) const {
  return Sample(FPositionKeys, f, hint, TGXVector3(0, 0, 0), GXVec3Lerp);
}

TGXQuaternion TGXSubAnimation::SampleRotation(float f, uint32_t& hint) const {
  return Sample(FRotationKeys, f, hint, TGXQuaternion(),
                [this, &hint](const TGXQuaternion& a, const TGXQuaternion& b, float t) {
                  // The second half of GXQuaternionSlerp with the pair's angle (Sample has set
                  // hint to the pair's first key).
                  const TSlerpPair& pair = FRotationPairs[hint];
                  float wa = 1 - t, wb = t;
                  if (!pair.Linear) {
                    wa = std::sin((1 - t) * pair.Theta) / pair.Sin;
                    wb = std::sin(t * pair.Theta) / pair.Sin;
                  }
                  wb *= pair.Sign;
                  return TGXQuaternion{wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z,
                                       wa * a.w + wb * b.w};
                });
}

TGXVector3 TGXSubAnimation::SampleScale(float f, uint32_t& hint) const {
  return Sample(FScaleKeys, f, hint, TGXVector3(1, 1, 1), GXVec3Lerp);
}

uint32_t TGXSubAnimation::FirstFrame() const {
  uint32_t first = UINT32_MAX;
  if (!FPositionKeys.empty()) first = std::min(first, FPositionKeys.front().Frame);
  if (!FRotationKeys.empty()) first = std::min(first, FRotationKeys.front().Frame);
  if (!FScaleKeys.empty()) first = std::min(first, FScaleKeys.front().Frame);
  return first == UINT32_MAX ? 0 : first;
}

uint32_t TGXSubAnimation::LastFrame() const {
  uint32_t last = 0;
  if (!FPositionKeys.empty()) last = std::max(last, FPositionKeys.back().Frame);
  if (!FRotationKeys.empty()) last = std::max(last, FRotationKeys.back().Frame);
  if (!FScaleKeys.empty()) last = std::max(last, FScaleKeys.back().Frame);
  return last;
}

// ---- animation ----

TGXSubAnimation* TGXAnimation::SubAnimation(int index) const {
  if (index < 0 || index >= SubAnimationCount())
    throw EInvalidParameter({TGXExceptionArg::Object(ClassName()), "SubAnimation", index});
  return FSubAnimations[size_t(index)].get();
}

uint32_t TGXAnimation::EndFrame() const {
  uint32_t end = 0;
  for (const auto& sub : FSubAnimations) end = std::max(end, sub->LastFrame());
  return end;
}

void TGXAnimation::SetSecondsPerFrame(float value) {
  if (std::isfinite(value) && value > 0) FSecondsPerFrame = value;
}

TGXSubAnimation* TGXAnimation::AddSubAnimation(const std::string& name) {
  if (IsLoaded())
    throw EInvalidCall(
        {TGXExceptionArg::Object(ClassName()), "CreateSubAnimation", "Animation already loaded"});
  FSubAnimations.push_back(std::make_unique<TGXSubAnimation>(name));
  return FSubAnimations.back().get();
}

// ---- controller ----

TGXAnimationController::~TGXAnimationController() {
  while (!FBindings.empty()) {
    Forget(FBindings.back(), FBindings.size() - 1);
    FBindings.pop_back();
  }
}

void TGXAnimationController::Listen(TGXNode* node) {
  if (node) node->AddDestroyListener(TGXDestroyHandler(this, &TGXAnimationController::NodeDestroyed));
}

void TGXAnimationController::Forget(const TBinding& binding, size_t except) {
  const TGXMethodKey key = TGXDestroyHandler(this, &TGXAnimationController::NodeDestroyed).Key();
  for (const TTrack& track : binding.Tracks) {
    if (!track.Node) continue;
    bool used = false;
    for (size_t b = 0; b < FBindings.size() && !used; ++b) {
      if (b == except) continue;
      for (const TTrack& other : FBindings[b].Tracks) used |= other.Node == track.Node;
    }
    if (!used) track.Node->RemoveDestroyListener(key);
  }
}

void TGXAnimationController::NodeDestroyed(TGXNode* node) {
  for (TBinding& binding : FBindings)
    for (TTrack& track : binding.Tracks)
      if (track.Node == node) track.Node = nullptr;
}

void TGXAnimationController::Unbind(const TGXAnimation* animation) {
  for (size_t b = 0; b < FBindings.size(); ++b) {
    if (FBindings[b].Animation.Get() != animation) continue;
    Forget(FBindings[b], b);
    FBindings.erase(FBindings.begin() + ptrdiff_t(b));
    return;
  }
}

void TGXAnimationController::Bind(IGXAnimation animation, TGXNode* root) {
  if (!animation) return;
  animation->Load();
  Unbind(animation.Get());
  if (root) {
    TBinding binding;
    binding.Animation = animation;
    for (int i = 0; i < animation->SubAnimationCount(); ++i) {
      const std::string& name = animation->SubAnimation(i)->Name();
      TTrack track;
      track.Sub = animation->SubAnimation(i);
      track.Node = root->Name() == name ? root : root->FindChild(name, true);
      binding.Tracks.push_back(track);
    }
    for (const TTrack& track : binding.Tracks) Listen(track.Node);
    FBindings.push_back(std::move(binding));
  }
  SetSecondsPerFrame(animation->GetSecondsPerFrame());
}

TGXNode* TGXAnimationController::BoundNode(int binding, int track) const {
  return FBindings.at(size_t(binding)).Tracks.at(size_t(track)).Node;
}

void TGXAnimationController::UpdateDuration() {
  FDuration = (float(FEndFrame) - float(FStartFrame)) * FSecondsPerFrame;
  if (!(FDuration > 0)) FDuration = 0;
}

void TGXAnimationController::SetStartFrame(uint32_t frame) {
  FStartFrame = frame;
  UpdateDuration();
}

void TGXAnimationController::SetEndFrame(uint32_t frame) {
  FEndFrame = frame;
  UpdateDuration();
}

void TGXAnimationController::SetSecondsPerFrame(float value) {
  if (!std::isfinite(value) || value <= 0) return;
  FSecondsPerFrame = value;
  UpdateDuration();
}

void TGXAnimationController::Advance(float d) { SetTime(FTime + d); }

void TGXAnimationController::SetTime(float t) {
  if (!std::isfinite(t)) return;
  if (!(FDuration > 0) || !std::isfinite(FDuration)) {
    t = 0;
  } else if (FLoop) {
    t = std::fmod(t, FDuration);
    if (t < 0) t += FDuration;
    if (!(t < FDuration)) t = 0;  // rounding of the sum above
  } else {
    t = std::clamp(t, 0.0f, FDuration);
  }
  FTime = t;
  const float f = FTime / FSecondsPerFrame + float(FStartFrame);
  for (TBinding& binding : FBindings) {
    for (TTrack& track : binding.Tracks) {
      if (!track.Node) continue;
      const TGXSubAnimation& sub = *track.Sub;
      if (!sub.PositionKeys().empty()) track.Node->SetPosition(sub.SamplePosition(f, track.Hint[0]));
      if (!sub.RotationKeys().empty()) track.Node->SetRotation(sub.SampleRotation(f, track.Hint[1]));
      if (!sub.ScaleKeys().empty()) track.Node->SetScale(sub.SampleScale(f, track.Hint[2]));
    }
  }
}

}  // namespace gx
