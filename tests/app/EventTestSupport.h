#pragma once
// Building event trees in tests: a named event or group with a fresh ID appended to a group, a
// condition of a class set on an event, an action of a class appended to it.

#include <memory>
#include <string>

#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"

namespace evtest {

inline rr::TRREvent* NewEvent(rr::TRREventManager& m, rr::TRREventGroup& g, const std::string& name) {
  auto e = std::make_unique<rr::TRREvent>(&m);
  e->SetName(name);
  e->SetID(m.NewID());
  return g.AddEvent(std::move(e));
}

inline rr::TRREventGroup* NewGroup(rr::TRREventManager& m, rr::TRREventGroup& parent, const std::string& name) {
  auto g = std::make_unique<rr::TRREventGroup>(&m);
  g->SetName(name);
  g->SetID(m.NewID());
  return parent.AddGroup(std::move(g));
}

template <class T>
T* SetCond(rr::TRREvent* e) {
  auto c = std::make_unique<T>();
  T* p = c.get();
  e->SetCondition(std::move(c));
  return p;
}

template <class T>
T* Add(rr::TRREvent* e) {
  return static_cast<T*>(e->AddAction(std::make_unique<T>()));
}

}  // namespace evtest
