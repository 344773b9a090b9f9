// The event system while the layout runs: notifications queue the actions of matching events,
// the frame step counts the countdowns down and runs the queue once.

#include <algorithm>
#include <cmath>
#include <exception>

#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

TRREventManager::TRRNotifyHook& NotifyHook() {
  static TRREventManager::TRRNotifyHook hook;
  return hook;
}

// The field a condition of the kind is looked up by: the entity, event or track it names.
int32_t IndexKey(const TRRCondition& c) {
  if (auto* s = dynamic_cast<const TRREntityStateCondition*>(&c)) return s->SubjectID();
  if (auto* t = dynamic_cast<const TRRTrackCondition*>(&c)) return t->TrackID();
  if (auto* e = dynamic_cast<const TRREventEnabledCondition*>(&c)) return e->EventID();
  return 0;
}

// The key of a notification of the kind: what the matching conditions name.
int32_t NotificationKey(TRRConditionKind kind, const TRREventNotification& n) {
  return kind == TRRConditionKind::TrackEnter || kind == TRRConditionKind::TrackExit ? n.TrackID : n.SubjectID;
}

// Countdown names compare as CompareText does: by lower-case code points.
std::string FoldedName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (size_t pos = 0; pos < name.size();) gx::AppendUtf8(out, gx::LowerCaseChar(gx::DecodeUtf8(name, pos)));
  return out;
}

bool EnabledAllTheWay(const TRREvent& e) {
  if (!e.Enabled()) return false;
  for (const TRREventGroup* g = e.Parent(); g; g = g->Parent())
    if (!g->Enabled()) return false;
  return true;
}

std::string MessageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unbekannter Fehler";
  }
}

}  // namespace

void TRREventManager::SetNotifyHook(TRRNotifyHook hook) { NotifyHook() = std::move(hook); }

void TRREventManager::Report(const std::string& kind, const std::string& text) {
  // Once per kind of failure: a fault in an event that fires every frame gives one report.
  if (!FReported.insert(kind).second) return;
  if (FErrorReporter) FErrorReporter(text);
}

void TRREventManager::BuildNotifyIndex() {
  for (auto& bucket : FIndexByID) bucket.clear();
  FIndexByName.clear();
  // Disabled events are listed too (enabling one changes no structure); they are skipped when
  // a notification comes. Listing in walk order keeps the walk's order within a bucket.
  FRoot->ForEachEvent([this](TRREvent& e) {
    if (!e.Condition()) return;
    const int kind = RRConditionKindOf(*e.Condition());
    if (kind < 0) return;
    if (kind == static_cast<int>(TRRConditionKind::Countdown)) {
      const auto& name = static_cast<const TRRCountdownCondition*>(e.Condition())->CountdownName();
      FIndexByName[FoldedName(name)].push_back(&e);
    } else {
      FIndexByID[kind][IndexKey(*e.Condition())].push_back(&e);
    }
  });
  FIndexRevision = FTreeRevision;
}

void TRREventManager::Notify(TRRConditionKind kind, const TRREventNotification& notification) {
  if (const TRRNotifyHook& hook = NotifyHook()) {
    try {
      hook(kind, notification);
    } catch (...) {
      Report("hook", std::string(RRTextEventHookFailed) + ": " + MessageOf(std::current_exception()));
    }
  }
  if (FNotifyObserver) FNotifyObserver(kind, notification);
  const int k = static_cast<int>(kind);
  if (k < 0 || k >= RRConditionKindCount) return;
  if (FIndexRevision != FTreeRevision) BuildNotifyIndex();
  const std::vector<TRREvent*>* candidates = nullptr;
  if (kind == TRRConditionKind::Countdown) {
    auto it = FIndexByName.find(FoldedName(notification.Name));
    if (it != FIndexByName.end()) candidates = &it->second;
  } else {
    auto it = FIndexByID[k].find(NotificationKey(kind, notification));
    if (it != FIndexByID[k].end()) candidates = &it->second;
  }
  if (!candidates) return;
  for (TRREvent* e : *candidates) {
    if (!EnabledAllTheWay(*e) || !e->Condition()->Matches(notification)) continue;
    for (int i = 0; i < e->ActionCount(); ++i) FPendingActions.push_back(e->Action(i));
  }
}

void TRREventManager::TickCountdowns(float dt) {
  if (!std::isfinite(dt) || dt < 0) dt = 0;
  // Expired ones leave the list first, so that what their notifications start is not counted
  // down in the same tick; they notify in ascending name order.
  std::vector<std::pair<std::string, TRRCountdownInfo>> expired;
  for (auto it = FCountdowns.begin(); it != FCountdowns.end();) {
    it->second.Remaining -= dt;
    if (it->second.Remaining <= 0) {
      expired.emplace_back(it->first, it->second);
      it = FCountdowns.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& [name, info] : expired) {
    TRREventNotification n;
    n.Name = name;
    try {
      Notify(TRRConditionKind::Countdown, n);
    } catch (...) {
      Report("countdown", std::string(RRTextEventNotifyFailed) + ": " + MessageOf(std::current_exception()));
    }
    if (!info.AutoRestart) continue;
    // The overshoot carries into the next period, at most one period of it: a countdown far
    // behind (a long stall) expires once, not once per missed period in later ticks.
    const float overshoot = info.Duration > 0 ? std::fmod(info.Remaining, info.Duration) : 0.0f;
    StartCountdown(name, true, std::isfinite(overshoot) ? overshoot : 0.0f, info.Duration);
  }
}

void TRREventManager::ExecutePendingActions(IRREntityManager* entities) {
  if (FPendingActions.empty() || FExecutingNow) return;
  FExecutingNow = true;
  FExecuting.swap(FPendingActions);
  TRRActionContext context{entities, this, static_cast<bool>(FActionObserver)};
  // By index, re-reading the size: an action may take others out of the list (they become null).
  for (size_t i = 0; i < FExecuting.size(); ++i) {
    TRRAction* action = FExecuting[i];
    if (!action) continue;
    try {
      const std::string effect = action->Execute(context);
      if (FActionObserver && i < FExecuting.size() && FExecuting[i] == action) FActionObserver(*action, effect);
    } catch (...) {
      // The action may have gone meanwhile (its entry is null then).
      const bool alive = i < FExecuting.size() && FExecuting[i] == action;
      const std::string kind = alive ? action->ClassName() : "?";
      const std::string shown = alive ? std::string(" („") + action->DisplayName() + "“)" : std::string();
      Report("action:" + kind,
             std::string(RRTextEventActionFailed) + shown + ": " + MessageOf(std::current_exception()));
    }
  }
  FExecuting.clear();
  FExecutingNow = false;
}

void TRREventManager::Unqueue(const TRRAction* action) {
  std::erase(FPendingActions, action);
  // The list being executed keeps its length while it runs: entries become null.
  std::replace(FExecuting.begin(), FExecuting.end(), const_cast<TRRAction*>(action), static_cast<TRRAction*>(nullptr));
}

void TRREventManager::UnqueueAll() {
  FPendingActions.clear();
  std::fill(FExecuting.begin(), FExecuting.end(), nullptr);
}

}  // namespace rr
