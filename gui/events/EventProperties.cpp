#include "gui/events/EventProperties.h"

#include <QString>
#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/entities/RRController.h"
#include "app/entities/RRModel.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"

namespace rr {

namespace {

using TOptions = std::vector<std::pair<std::string, int32_t>>;

template <class T>
bool IsKind(const TRREntity& e) {
  return e.Is<T>();
}
bool IsSwitchTrack(const TRREntity& e) {
  auto* t = dynamic_cast<const TRRTrack*>(&e);
  return t && t->IsSwitchable();
}

template <class T>
T* Entity(const TEventPropertyContext& c, int32_t id) {
  return c.Entities && id != -1 && id != 0 ? dynamic_cast<T*>(c.Entities->FindByID(id)) : nullptr;
}

TEventProperty EntityRow(std::string caption, bool (*accepts)(const TRREntity&), std::function<int32_t()> get,
                         std::function<void(int32_t)> set, std::string placeholder = {}, bool rebuilds = false) {
  TEventProperty p;
  p.Kind = TEventPropertyKind::Entity;
  p.Caption = std::move(caption);
  p.Accepts = accepts;
  p.Placeholder = std::move(placeholder);
  p.GetInt = std::move(get);
  p.SetInt = std::move(set);
  p.Rebuilds = rebuilds;
  return p;
}

TEventProperty ChoiceRow(std::string caption, TOptions options, std::function<int32_t()> get,
                         std::function<void(int32_t)> set) {
  TEventProperty p;
  p.Kind = TEventPropertyKind::Choice;
  p.Caption = std::move(caption);
  p.Options = std::move(options);
  p.GetInt = std::move(get);
  p.SetInt = std::move(set);
  return p;
}

// "Jede Position" or "Umschalten" (-1), then one entry per route of the track.
TOptions RouteOptions(const char* first, const TRRTrack& track) {
  TOptions o{{first, -1}};
  for (int i = 0; i < track.GetRouteCount(); ++i) o.push_back({std::to_string(i), i});
  return o;
}

TEventProperty CountdownRow(std::function<std::string()> get, std::function<void(const std::string&)> set,
                            const TEventPropertyContext& c, bool freeText) {
  TEventProperty p;
  p.Kind = TEventPropertyKind::Countdown;
  p.Caption = "Name";
  p.FreeText = freeText;
  if (c.Events) p.Names = c.Events->ActionCountdownNames();
  p.GetText = std::move(get);
  p.SetText = std::move(set);
  return p;
}

TOptions EventOptions(const TEventPropertyContext& c) {
  TOptions o;
  if (c.Events)
    for (auto& [caption, id] : c.Events->EventAndGroupOptions()) o.push_back({caption, id});
  return o;
}

}  // namespace

std::vector<TEventProperty> RRConditionProperties(TRRCondition& condition, const TEventPropertyContext& c) {
  std::vector<TEventProperty> rows;
  if (auto* s = dynamic_cast<TRRSwitchCondition*>(&condition)) {
    rows.push_back(EntityRow("Weiche", IsSwitchTrack, [s] { return s->TrackID(); },
                             [s](int32_t id) { s->SetTrackID(id); }, {}, true));
    if (auto* t = Entity<TRRTrack>(c, s->TrackID()))
      rows.push_back(ChoiceRow("Position", RouteOptions("Jede Position", *t), [s] { return s->Route(); },
                               [s](int32_t v) { s->SetRoute(v); }));
  } else if (auto* g = dynamic_cast<TRRSignalSwitchCondition*>(&condition)) {
    rows.push_back(EntityRow("Signal", IsKind<TRRSignal>, [g] { return g->SignalID(); },
                             [g](int32_t id) { g->SetSignalID(id); }, {}, true));
    if (Entity<TRRSignal>(c, g->SignalID()))
      rows.push_back(ChoiceRow("Position", {{"Jede Position", -1}, {"Offen", 0}, {"Geschlossen", 1}},
                               [g] { return g->State(); }, [g](int32_t v) { g->SetState(v); }));
  } else if (auto* t = dynamic_cast<TRRTrackCondition*>(&condition)) {
    rows.push_back(EntityRow("Lok", IsKind<TRRTrackVehicle>, [t] { return t->VehicleID(); },
                             [t](int32_t id) { t->SetVehicleID(id); }, "Alle Loks"));
    rows.push_back(EntityRow("Gleis", IsKind<TRRTrack>, [t] { return t->TrackID(); },
                             [t](int32_t id) { t->SetTrackID(id); }));
  } else if (auto* k = dynamic_cast<TRRControllerCondition*>(&condition)) {
    rows.push_back(EntityRow("Kippschalter", IsKind<TRRController>, [k] { return k->ControllerID(); },
                             [k](int32_t id) { k->SetControllerID(id); }, {}, true));
    if (Entity<TRRController>(c, k->ControllerID()))
      rows.push_back(ChoiceRow("Position", {{"Jede Position", -1}, {"An", 1}, {"Aus", 0}},
                               [k] { return k->Position(); }, [k](int32_t v) { k->SetPosition(v); }));
  } else if (auto* e = dynamic_cast<TRREventEnabledCondition*>(&condition)) {
    rows.push_back(ChoiceRow("Ereignis/Gruppe", EventOptions(c), [e] { return e->EventID(); },
                             [e](int32_t v) { e->SetEventID(v); }));
    rows.push_back(ChoiceRow("Zustand", {{"Jeder", -1}, {"Aktiviert", 1}, {"Deaktiviert", 0}},
                             [e] { return e->State(); }, [e](int32_t v) { e->SetState(v); }));
  } else if (auto* n = dynamic_cast<TRRCountdownCondition*>(&condition)) {
    rows.push_back(CountdownRow([n] { return n->CountdownName(); },
                                [n](const std::string& s) { n->SetCountdownName(s); }, c, false));
  }
  return rows;
}

std::vector<TEventProperty> RRActionProperties(TRRAction& action, const TEventPropertyContext& c) {
  std::vector<TEventProperty> rows;
  const TOptions ends{{"Anfang", 0}, {"Aktuell", 1}, {"Ende", 2}};
  if (auto* s = dynamic_cast<TRRSwitchTrackRouteAction*>(&action)) {
    rows.push_back(EntityRow("Weiche", IsSwitchTrack, [s] { return s->TrackID(); },
                             [s](int32_t id) { s->SetTrackID(id); }, {}, true));
    if (auto* t = Entity<TRRTrack>(c, s->TrackID()))
      rows.push_back(ChoiceRow("Position", RouteOptions("Umschalten", *t), [s] { return s->Route(); },
                               [s](int32_t v) { s->SetRoute(v); }));
  } else if (auto* g = dynamic_cast<TRRSetSignalAction*>(&action)) {
    rows.push_back(EntityRow("Signal", IsKind<TRRSignal>, [g] { return g->SignalID(); },
                             [g](int32_t id) { g->SetSignalID(id); }));
    rows.push_back(ChoiceRow("Position", {{"Umschalten", -1}, {"Offen", 0}, {"Geschlossen", 1}},
                             [g] { return g->State(); }, [g](int32_t v) { g->SetState(v); }));
  } else if (auto* v = dynamic_cast<TRRSetVehicleSpeedAction*>(&action)) {
    rows.push_back(EntityRow("Lok", IsKind<TRRTrackVehicle>, [v] { return v->VehicleID(); },
                             [v](int32_t id) { v->SetVehicleID(id); }, "Alle Loks"));
    rows.push_back(EntityRow("Gleis", IsKind<TRRTrack>, [v] { return v->TrackID(); },
                             [v](int32_t id) { v->SetTrackID(id); }, "Jedes Gleis"));
    TEventProperty p;
    p.Kind = TEventPropertyKind::Number;
    p.Caption = "Geschwindigkeit";
    p.Min = -75;
    p.Max = 75;
    p.Factor = c.LengthFactor > 0 ? c.LengthFactor : 1;
    p.Unit = c.LengthUnit + "/s";
    p.GetNumber = [v] { return double(v->Speed()); };
    p.SetNumber = [v](double x) { v->SetSpeed(float(x)); };
    rows.push_back(std::move(p));
  } else if (auto* e = dynamic_cast<TRREnableEventAction*>(&action)) {
    rows.push_back(ChoiceRow("Ereignis/Gruppe", EventOptions(c), [e] { return e->EventID(); },
                             [e](int32_t x) { e->SetEventID(x); }));
    rows.push_back(ChoiceRow("Zustand",
                             {{"Umschalten", TRREnableEventAction::ModeToggle},
                              {"Aktiviert", TRREnableEventAction::ModeEnable},
                              {"Deaktiviert", TRREnableEventAction::ModeDisable}},
                             [e] { return int32_t(e->Mode()); }, [e](int32_t x) { e->SetMode(uint8_t(x)); }));
  } else if (auto* s = dynamic_cast<TRRStartCountdownAction*>(&action)) {
    rows.push_back(CountdownRow([s] { return s->CountdownName(); },
                                [s](const std::string& x) { s->SetCountdownName(x); }, c, true));
    TEventProperty p;
    p.Kind = TEventPropertyKind::Number;
    p.Caption = "Dauer";
    p.Min = 0;
    p.Max = 3.4e38;
    p.Unit = "Sekunden";
    p.GetNumber = [s] { return double(s->Duration()); };
    p.SetNumber = [s](double x) { s->SetDuration(float(x)); };
    rows.push_back(std::move(p));
    TEventProperty r;
    r.Kind = TEventPropertyKind::Check;
    r.Caption = "Automatischer Neustart";
    r.GetInt = [s] { return int32_t(s->AutoRestart() != 0); };
    r.SetInt = [s](int32_t x) { s->SetAutoRestart(x != 0); };
    rows.push_back(std::move(r));
  } else if (auto* s = dynamic_cast<TRRStopCountdownAction*>(&action)) {
    rows.push_back(CountdownRow([s] { return s->CountdownName(); },
                                [s](const std::string& x) { s->SetCountdownName(x); }, c, true));
  } else if (auto* a = dynamic_cast<TRRStartAnimationAction*>(&action)) {
    rows.push_back(EntityRow("Objekt", IsKind<TRRModel>, [a] { return a->ModelID(); },
                             [a](int32_t id) { a->SetModelID(id); }));
    rows.push_back(ChoiceRow("Richtung", {{"Vorwärts", 0}, {"Aktuell", 1}, {"Rückwärts", 2}},
                             [a] { return a->Direction(); }, [a](int32_t x) { a->SetDirection(x); }));
    rows.push_back(ChoiceRow("Startposition", ends, [a] { return a->StartPosition(); },
                             [a](int32_t x) { a->SetStartPosition(x); }));
  } else if (auto* a = dynamic_cast<TRRStopAnimationAction*>(&action)) {
    rows.push_back(EntityRow("Objekt", IsKind<TRRModel>, [a] { return a->ModelID(); },
                             [a](int32_t id) { a->SetModelID(id); }));
    rows.push_back(ChoiceRow("Endposition", ends, [a] { return a->EndPosition(); },
                             [a](int32_t x) { a->SetEndPosition(x); }));
  }
  return rows;
}

int RRChoiceIndex(const TEventProperty& property, int32_t value) {
  const int n = int(property.Options.size());
  if (n == 0) return -1;
  for (int i = 0; i < n; ++i)
    if (property.Options[size_t(i)].second == value) return i;
  if (property.Options.front().second == -1) return int(std::clamp(int64_t(value) + 1, int64_t(0), int64_t(n - 1)));
  // Nothing shown rather than an option the field does not hold.
  return -1;
}

std::vector<const TRREntity*> RRPropertyEntities(const TEventProperty& property, const TRREntityManager* entities) {
  std::vector<const TRREntity*> out;
  if (!entities || !property.Accepts) return out;
  for (int i = 0; i < entities->EntitySlotCount(); ++i)
    if (const TRREntity* e = entities->EntitySlot(i); e && property.Accepts(*e)) out.push_back(e);
  std::sort(out.begin(), out.end(), [](const TRREntity* a, const TRREntity* b) {
    const int c = QString::localeAwareCompare(QString::fromStdString(a->Name()), QString::fromStdString(b->Name()));
    return c != 0 ? c < 0 : a->ID() < b->ID();
  });
  return out;
}

std::string RRPropertyEntityText(const TEventProperty& property, int32_t id, const TRREntityManager* entities) {
  const std::string empty = "[Leer]";
  if (id == -1) return property.Placeholder.empty() ? empty : "[" + property.Placeholder + "]";
  const TRREntity* e = entities && id != 0 ? entities->FindByID(id) : nullptr;
  if (!e || (property.Accepts && !property.Accepts(*e))) return empty;
  return e->Name();
}

bool RRParsePropertyNumber(const TEventProperty& property, const std::string& text, double& stored) {
  QString t = QString::fromStdString(text).trimmed();
  t.replace(',', '.');
  bool ok = false;
  const double shown = t.toDouble(&ok);
  if (!ok || !std::isfinite(shown)) return false;
  const double factor = property.Factor > 0 ? property.Factor : 1;
  stored = std::clamp(shown, property.Min, property.Max) / factor;
  return true;
}

}  // namespace rr
