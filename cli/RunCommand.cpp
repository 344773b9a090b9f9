#include "cli/RunCommand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <ostream>

#include "app/RREntityManager.h"
#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/entities/RRController.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRSignal.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "app/entities/track/RRTrack.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXEngine.h"
#include "engine/core/GXSerialization.h"
#include "engine/core/GXTimer.h"
#include "engine/media/GXMediaCore.h"
#include "engine/render/GXRenderCore.h"

namespace cli {

const char* const RunCommandUsage =
    "Aufruf: velmora-cli run PROJEKT.vmp --seconds S [--dt 0.04] [--animations on|off] [--sound]\n"
    "                       [--set T:NAME=WERT ...] [--light LICHT] [--out DATEI] [--json]\n"
    "Lässt eine Anlage S Sekunden laufen (Schritte von dt Sekunden, 0.001 bis 1; S bis 86400) und zeigt,\n"
    "welche Gleise die Züge betreten und verlassen, welche Weichen und Signale schalten und welche\n"
    "Ereignisse und Aktionen ablaufen, wann Schranken schließen und Schuppentore öffnen, dann den Stand\n"
    "jedes Fahrzeugs, Signals, Schalters, Countdowns, jeder Schranke und jedes Lokschuppens.\n"
    "--set stellt zur Zeit T (Sekunden) einen Schalter oder Regler (Wert 0 bis 1), ein Signal (0 Fahrt,\n"
    "1 Halt) oder eine Weiche (Fahrweg) wie von Hand; NAME ist der Name des Objekts oder #ID.\n"
    "--light stellt zuerst die Beleuchtung LICHT ein (etwa Tag oder Nacht). --sound öffnet das\n"
    "Standard-Tonausgabegerät; --out speichert die Anlage danach.\n";

namespace {

constexpr double kMaxSeconds = 86400, kMinDt = 0.001, kMaxDt = 1;

// Microseconds that move on by one step when told.
class TStepClock final : public gx::IGXClock {
 public:
  int64_t Frequency() const override { return 1000000; }
  int64_t Counter() const override { return FNow; }
  uint32_t TickCount() const override { return uint32_t(FNow / 1000); }
  void Advance(int64_t microseconds) { FNow += microseconds; }

 private:
  int64_t FNow = 0;
};

bool ParseNumber(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end && std::isfinite(value);
}

// Three decimals, whatever the locale.
std::string Fixed(double v) {
  if (!std::isfinite(v)) v = 0;
  if (std::fabs(v) < 0.0005) v = 0;  // no "-0.000"
  char buffer[64];
  auto [p, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 3);
  return ec == std::errc() ? std::string(buffer, p) : "0.000";
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// A notification, or (Action set) an action the event manager executed: Subject is then its
// event and Name what it did.
// A --set: at Time, the entity named Target (or #ID) gets Value.
struct TSetting {
  double Time;
  std::string Target;
  double Value;
  rr::TRREntity* Entity = nullptr;
};

bool ParseSetting(const std::string& text, TSetting& setting) {
  const size_t colon = text.find(':'), equals = text.rfind('=');
  if (colon == std::string::npos || equals == std::string::npos || equals < colon + 2) return false;
  setting.Target = text.substr(colon + 1, equals - colon - 1);
  return ParseNumber(text.substr(0, colon), setting.Time) && setting.Time >= 0 &&
         ParseNumber(text.substr(equals + 1), setting.Value);
}

// The entity a --set names: #ID, or the first entity (in ID order) with that name.
rr::TRREntity* FindTarget(rr::TRREntityManager& m, const std::string& target) {
  double id = 0;
  if (target.size() > 1 && target[0] == '#' && ParseNumber(target.substr(1), id) && id >= 1 && id <= 2147483647.0)
    return m.FindByID(static_cast<int32_t>(id));
  for (int i = 0; i < m.EntitySlotCount(); ++i)
    if (rr::TRREntity* e = m.EntitySlot(i); e && e->Name() == target) return e;
  return nullptr;
}

// Sets what the user would set by hand; false for an entity that cannot be set.
bool Apply(const TSetting& s) {
  if (auto* c = dynamic_cast<rr::TRRController*>(s.Entity)) {
    c->SetValue(static_cast<float>(s.Value));
  } else if (auto* signal = dynamic_cast<rr::TRRSignal*>(s.Entity)) {
    signal->SetSignalState(s.Value != 0 ? rr::RRSignalClosed : rr::RRSignalOpen);
  } else if (auto* t = dynamic_cast<rr::TRRTrack*>(s.Entity); t && t->IsSwitchable()) {
    t->SetActiveRoute(static_cast<int32_t>(std::clamp(s.Value, -1.0, 1e6)));
  } else {
    return false;
  }
  return true;
}

struct TEntry {
  double Time;
  int64_t Frame;
  rr::TRRConditionKind Kind;
  int32_t SubjectID;
  std::string Subject;
  int32_t TrackID, Route, Parameter;
  std::string Track, Name;
  std::string Action;
  // A change of state seen after a frame (no notification): "barrierClosed", "barrierOpened",
  // "doorsOpening", "doorsClosing"; Bay is the shed's bay.
  std::string State = {};
  int Bay = -1;
};

const char* StateText(const std::string& state) {
  if (state == "barrierClosed") return "geschlossen";
  if (state == "barrierOpened") return "geöffnet";
  if (state == "doorsOpening") return "Tore öffnen";
  return "Tore schließen";
}

// The barriers and engine-shed bays of the layout in ID order, with what each showed after the
// last frame, so the run can report their changes beside the notifications.
struct TSceneryWatch {
  struct TBarrier {
    rr::TRRBarrier* Entity;
    bool Closed;
  };
  struct TBay {
    rr::TRRVehicleBuilding* Shed;
    int Index;
    bool Open;
  };
  std::vector<TBarrier> Barriers;
  std::vector<TBay> Bays;

  void Collect(const rr::TRREntityManager& m) {
    for (int i = 0; i < m.EntitySlotCount(); ++i) {
      if (auto* b = dynamic_cast<rr::TRRBarrier*>(m.EntitySlot(i))) Barriers.push_back({b, b->Closed()});
      if (auto* shed = dynamic_cast<rr::TRRVehicleBuilding*>(m.EntitySlot(i)))
        for (int k = 0; k < shed->BayCount(); ++k) Bays.push_back({shed, k, !shed->Bay(k)->DoorsClosed()});
    }
  }
  void ReportChanges(double now, int64_t frame, std::vector<TEntry>& log) {
    for (TBarrier& b : Barriers)
      if (b.Entity->Closed() != b.Closed) {
        b.Closed = b.Entity->Closed();
        log.push_back({now, frame, rr::TRRConditionKind::Switch, b.Entity->ID(), b.Entity->Name(), 0, -1, 0, {}, {}, {},
                       b.Closed ? "barrierClosed" : "barrierOpened"});
      }
    for (TBay& b : Bays)
      if (!b.Shed->Bay(b.Index)->DoorsClosed() != b.Open) {
        b.Open = !b.Open;
        log.push_back({now, frame, rr::TRRConditionKind::Switch, b.Shed->ID(), b.Shed->Name(), 0, -1, 0, {}, {}, {},
                       b.Open ? "doorsOpening" : "doorsClosing", b.Index});
      }
  }
};

const char* KindName(rr::TRRConditionKind kind) {
  const auto& classes = rr::RRConditionClasses();
  const auto i = static_cast<size_t>(kind);
  return i < classes.size() ? classes[i].DisplayName : "";
}

// Takes the options off the project and the program again however the command ends.
struct TRunGuard {
  rr::TRRGlobal& Global;
  rr::TRRProject& Project = Global.Project();
  gx::TGXRenderSurface* Surface = Project.Services().ViewSurface;
  gx::IGXClock* Clock = Project.Services().Clock;
  bool Animations = Global.Animations();
  bool SoundEnabled = Global.SoundEnabled();
  int Observer = 0;
  bool OwnMedia = false;
  ~TRunGuard() {
    Project.RemoveEventObserver(Observer);
    Project.CloseProject();
    Project.SetViewSurface(Surface);
    Project.SetFrameClock(Clock);
    Global.SetAnimations(Animations);
    Global.SetSoundEnabled(SoundEnabled);
    if (OwnMedia) Global.Engine().DestroyMediaCore();
  }
};

int Usage(std::ostream& err, const std::string& line) {
  err << line << " (velmora-cli run --help)\n";
  return ExitUsage;
}

}  // namespace

int RunRunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string input, output, lightName;
  std::vector<TSetting> settings;
  double seconds = -1, dt = 0.04;
  bool animations = true, sound = false, json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--seconds" && hasValue) {
      if (!ParseNumber(args[++i], seconds) || seconds <= 0 || seconds > kMaxSeconds)
        return Usage(err, "Ungültige Laufzeit: " + args[i] + " (mehr als 0 bis 86400 Sekunden)");
    } else if (a == "--dt" && hasValue) {
      if (!ParseNumber(args[++i], dt) || dt < kMinDt || dt > kMaxDt)
        return Usage(err, "Ungültiger Zeitschritt: " + args[i] + " (0.001 bis 1 Sekunde)");
    } else if (a == "--animations" && hasValue) {
      const std::string& v = args[++i];
      if (v != "on" && v != "off") return Usage(err, "--animations erwartet on oder off, nicht " + v);
      animations = v == "on";
    } else if (a == "--sound") {
      sound = true;
    } else if ((a == "--out" || a == "-o") && hasValue) {
      output = args[++i];
    } else if (a == "--json") {
      json = true;
    } else if (a == "--set" && hasValue) {
      TSetting setting{};
      if (!ParseSetting(args[++i], setting))
        return Usage(err, "--set erwartet ZEIT:NAME=WERT, nicht " + args[i]);
      settings.push_back(setting);
    } else if (a == "--light" && hasValue) {
      lightName = args[++i];
    } else if (!a.empty() && a[0] != '-' && input.empty()) {
      input = a;
    } else {
      return Usage(err, "Unbekannte Option: " + a);
    }
  }
  if (input.empty() || seconds < 0) {
    err << RunCommandUsage;
    return ExitUsage;
  }

  rr::TRRGlobal* global = rr::Global();
  if (!global) {
    err << "Das Programm ist nicht gestartet.\n";
    return ExitFailed;
  }
  const rr::TRRLayoutFileProbe probe = rr::RRProbeLayoutFile(global->FileSystem(), input);
  if (probe.Kind != rr::TRRLayoutFileKind::Project || probe.Version < rr::RRProjectMinVersion ||
      probe.Version > rr::RRProjectVersion)
    return Fail(err, rr::RRLayoutFileErrorLine(input, probe, rr::TRRExpectedFile::Project));

  if (const int status = EnsureRenderCore(err); status != ExitOK) return status;
  gx::TGXEngine& engine = global->Engine();

  rr::TRRProject& project = global->Project();
  project.CloseProject();
  TRunGuard guard{*global};
  if (sound && !engine.MediaCore()) {
    try {
      engine.AttachMediaCore(std::make_unique<gx::TGXMediaCore>());
      guard.OwnMedia = true;
    } catch (...) {
      err << "Kein Tonausgabegerät: die Anlage läuft ohne Ton.\n";
    }
  }
  global->SetAnimations(animations);
  global->SetSoundEnabled(sound);
  TStepClock clock;
  project.SetViewSurface(nullptr);
  project.SetFrameClock(&clock);

  std::vector<TEntry> log;
  int64_t frame = 0;
  double now = 0;
  guard.Observer = project.AddEventObserver([&](rr::TRRConditionKind kind, const rr::TRREventNotification& n) {
    TEntry e{now, frame, kind, n.SubjectID, n.Subject ? n.Subject->Name() : std::string(), n.TrackID,
             n.RouteIndex, n.Parameter, {}, n.Name, {}};
    if (rr::TRREntityManager* m = project.Manager())
      if (rr::TRREntity* t = m->FindByID(n.TrackID)) e.Track = t->Name();
    log.push_back(std::move(e));
  });
  if (!project.LoadProject(input, false)) return Fail(err, "Die Anlage kann nicht geladen werden: " + input);
  if (rr::TRREventManager* events = project.EventManager()) {
    // The entities' notifications come through the project; these two kinds only the manager sees.
    events->SetNotifyObserver([&](rr::TRRConditionKind kind, const rr::TRREventNotification& n) {
      if (kind == rr::TRRConditionKind::Countdown || kind == rr::TRRConditionKind::EventEnabled)
        log.push_back({now, frame, kind, n.SubjectID, n.Name, 0, -1, n.Parameter, {}, {}, {}});
    });
    events->SetActionObserver([&](const rr::TRRAction& a, const std::string& effect) {
      const rr::TRREvent* event = a.Event();
      TEntry e{now, frame, rr::TRRConditionKind::Switch, event ? event->ID() : 0, event ? event->Name() : std::string(),
               0, -1, 0, {}, effect, a.DisplayName()};
      log.push_back(std::move(e));
    });
  }

  // What --light and --set name must exist before the layout runs.
  if (std::string problem; !lightName.empty() && !ApplyLightPreset(lightName, problem)) return Usage(err, problem);
  for (TSetting& s : settings) {
    s.Entity = project.Manager() ? FindTarget(*project.Manager(), s.Target) : nullptr;
    if (!s.Entity) return Usage(err, "--set: kein Objekt " + Quoted(s.Target));
    if (!dynamic_cast<rr::TRRController*>(s.Entity) && !dynamic_cast<rr::TRRSignal*>(s.Entity) &&
        !(dynamic_cast<rr::TRRTrack*>(s.Entity) && static_cast<rr::TRRTrack*>(s.Entity)->IsSwitchable()))
      return Usage(err, "--set: " + Quoted(s.Target) + " ist kein Schalter, Regler, Signal und keine Weiche");
  }
  std::stable_sort(settings.begin(), settings.end(), [](const TSetting& a, const TSetting& b) { return a.Time < b.Time; });
  TSceneryWatch scenery;
  if (rr::TRREntityManager* m = project.Manager()) scenery.Collect(*m);
  size_t nextSetting = 0;

  const auto stepMicro = static_cast<int64_t>(std::llround(dt * 1e6));
  const auto frames = static_cast<int64_t>(std::llround(seconds / dt));
  for (frame = 1; frame <= frames; ++frame) {
    clock.Advance(stepMicro);
    now = static_cast<double>(frame) * static_cast<double>(stepMicro) / 1e6;
    // A setting is made before the first frame step at or after its time, as a key press would.
    while (nextSetting < settings.size() && settings[nextSetting].Time <= now + 1e-9) Apply(settings[nextSetting++]);
    project.Tick();
    scenery.ReportChanges(now, frame, log);
  }
  frame = frames;

  std::vector<rr::TRRTrackVehicle*> vehicles;
  if (rr::TRREntityManager* m = project.Manager())
    for (rr::TRREntity* e : m->Vehicles())
      if (auto* v = dynamic_cast<rr::TRRTrackVehicle*>(e)) vehicles.push_back(v);
  std::sort(vehicles.begin(), vehicles.end(), [](auto* a, auto* b) { return a->ID() < b->ID(); });
  // Signals and controllers in ID order, the countdowns still running in name order.
  std::vector<rr::TRRSignal*> signals;
  std::vector<rr::TRRController*> controllers;
  if (rr::TRREntityManager* m = project.Manager())
    for (int i = 0; i < m->EntitySlotCount(); ++i) {
      if (auto* s = dynamic_cast<rr::TRRSignal*>(m->EntitySlot(i))) signals.push_back(s);
      if (auto* c = dynamic_cast<rr::TRRController*>(m->EntitySlot(i))) controllers.push_back(c);
    }
  const rr::TRREventManager* events = project.EventManager();
  const rr::TRRLight* light = project.Light();
  const std::string lightShown =
      light && light->ActiveIndex() >= 0
          ? light->Preset(light->ActiveIndex()).Name.GetText(gx::GX_LANG_GERMAN, gx::GX_LANG_GERMAN)
          : std::string();

  if (json) {
    out << "{\"seconds\":" << Fixed(seconds) << ",\"dt\":" << Fixed(dt) << ",\"frames\":" << frames
        << ",\"animations\":" << (animations ? "true" : "false") << ",\"events\":[";
    for (size_t i = 0; i < log.size(); ++i) {
      const TEntry& e = log[i];
      if (!e.State.empty()) {
        out << (i ? "," : "") << "{\"time\":" << Fixed(e.Time) << ",\"frame\":" << e.Frame
            << ",\"state\":" << JsonString(e.State) << ",\"subject\":{\"id\":" << e.SubjectID
            << ",\"name\":" << JsonString(e.Subject) << "}" << (e.Bay >= 0 ? ",\"bay\":" + std::to_string(e.Bay) : "")
            << "}";
        continue;
      }
      if (!e.Action.empty()) {
        out << (i ? "," : "") << "{\"time\":" << Fixed(e.Time) << ",\"frame\":" << e.Frame
            << ",\"action\":" << JsonString(e.Action) << ",\"event\":{\"id\":" << e.SubjectID
            << ",\"name\":" << JsonString(e.Subject) << "},\"effect\":" << JsonString(e.Name) << "}";
        continue;
      }
      out << (i ? "," : "") << "{\"time\":" << Fixed(e.Time) << ",\"frame\":" << e.Frame
          << ",\"kind\":" << static_cast<int>(e.Kind) << ",\"condition\":" << JsonString(KindName(e.Kind))
          << ",\"subject\":{\"id\":" << e.SubjectID << ",\"name\":" << JsonString(e.Subject) << "}"
          << ",\"track\":{\"id\":" << e.TrackID << ",\"name\":" << JsonString(e.Track) << "},\"route\":" << e.Route
          << ",\"parameter\":" << e.Parameter << ",\"name\":" << JsonString(e.Name) << "}";
    }
    out << "],\"vehicles\":[";
    for (size_t i = 0; i < vehicles.size(); ++i) {
      rr::TRRTrackVehicle* v = vehicles[i];
      const gx::TGXVector3 p = v->WorldPivot();
      out << (i ? "," : "") << "{\"id\":" << v->ID() << ",\"name\":" << JsonString(v->Name())
          << ",\"locomotive\":" << (v->HasEngine() ? "true" : "false") << ",\"track\":" << v->TrackID()
          << ",\"route\":" << v->RouteIndex() << ",\"position\":" << Fixed(v->RoutePosition())
          << ",\"direction\":" << v->RouteDirection() << ",\"targetSpeed\":" << Fixed(v->TargetSpeed())
          << ",\"currentSpeed\":" << Fixed(v->CurrentSpeed()) << ",\"world\":[" << Fixed(p.x) << "," << Fixed(p.y)
          << "," << Fixed(p.z) << "],\"soundPlaying\":" << (v->SoundPlaying() ? "true" : "false")
          << ",\"soundVolume\":" << Fixed(v->SoundVolume()) << "}";
    }
    out << "],\"signals\":[";
    for (size_t i = 0; i < signals.size(); ++i)
      out << (i ? "," : "") << "{\"id\":" << signals[i]->ID() << ",\"name\":" << JsonString(signals[i]->Name())
          << ",\"state\":" << int(signals[i]->SignalState()) << "}";
    out << "],\"controllers\":[";
    for (size_t i = 0; i < controllers.size(); ++i)
      out << (i ? "," : "") << "{\"id\":" << controllers[i]->ID() << ",\"name\":"
          << JsonString(controllers[i]->Name()) << ",\"value\":" << Fixed(controllers[i]->Value())
          << ",\"target\":" << controllers[i]->TargetID() << "}";
    out << "],\"countdowns\":[";
    size_t n = 0;
    if (events)
      for (const auto& [name, info] : events->Countdowns())
        out << (n++ ? "," : "") << "{\"name\":" << JsonString(name) << ",\"remaining\":" << Fixed(info.Remaining)
            << "}";
    // Every group and event with its enabled flag, depth first (enable actions change them).
    out << "],\"enabled\":[";
    size_t k = 0;
    if (events) {
      events->ForEachGroup([&](rr::TRREventGroup& g) {
        out << (k++ ? "," : "") << "{\"id\":" << g.ID() << ",\"group\":" << JsonString(g.Name())
            << ",\"enabled\":" << (g.Enabled() ? "true" : "false") << "}";
      });
      events->ForEachEvent([&](rr::TRREvent& e) {
        out << (k++ ? "," : "") << "{\"id\":" << e.ID() << ",\"event\":" << JsonString(e.Name())
            << ",\"enabled\":" << (e.Enabled() ? "true" : "false") << "}";
      });
    }
    out << "],\"barriers\":[";
    for (size_t i = 0; i < scenery.Barriers.size(); ++i) {
      const rr::TRRBarrier* b = scenery.Barriers[i].Entity;
      out << (i ? "," : "") << "{\"id\":" << b->ID() << ",\"name\":" << JsonString(b->Name())
          << ",\"closed\":" << (b->Closed() ? "true" : "false") << "}";
    }
    out << "],\"bays\":[";
    for (size_t i = 0; i < scenery.Bays.size(); ++i) {
      const TSceneryWatch::TBay& b = scenery.Bays[i];
      out << (i ? "," : "") << "{\"id\":" << b.Shed->ID() << ",\"name\":" << JsonString(b.Shed->Name())
          << ",\"bay\":" << b.Index << ",\"doorsOpen\":" << (b.Open ? "true" : "false") << "}";
    }
    out << "],\"light\":" << JsonString(lightShown) << "}\n";
  } else {
    out << "Lauf: " << Fixed(seconds) << " s in " << frames << " Schritten zu " << Fixed(dt) << " s, Animationen "
        << (animations ? "an" : "aus") << "\n";
    for (const TEntry& e : log) {
      if (!e.State.empty()) {
        out << Fixed(e.Time) << " s  Bild " << e.Frame << "  " << (e.Bay >= 0 ? "Lokschuppen " : "Schranke ")
            << Quoted(e.Subject) << " (ID " << e.SubjectID << ")"
            << (e.Bay >= 0 ? ", Stand " + std::to_string(e.Bay) : std::string()) << ": " << StateText(e.State) << "\n";
        continue;
      }
      if (!e.Action.empty()) {
        out << Fixed(e.Time) << " s  Bild " << e.Frame << "  Aktion " << Quoted(e.Action) << " von "
            << Quoted(e.Subject) << (e.Name.empty() ? std::string(": ohne Wirkung") : ": " + e.Name) << "\n";
        continue;
      }
      out << Fixed(e.Time) << " s  Bild " << e.Frame << "  " << KindName(e.Kind) << ": " << Quoted(e.Subject)
          << " (ID " << e.SubjectID << ")";
      if (e.TrackID) out << ", Gleis " << Quoted(e.Track) << " (ID " << e.TrackID << ", Fahrweg " << e.Route << ")";
      if (e.Kind == rr::TRRConditionKind::Switch) out << ", Stellung " << e.Parameter;
      if (!e.Name.empty()) out << ", " << Quoted(e.Name);
      out << "\n";
    }
    out << "Fahrzeuge:\n";
    for (rr::TRRTrackVehicle* v : vehicles) {
      const gx::TGXVector3 p = v->WorldPivot();
      out << "  ID " << v->ID() << " " << Quoted(v->Name()) << (v->HasEngine() ? " (Lok)" : "") << ": Gleis "
          << v->TrackID() << ", Fahrweg " << v->RouteIndex() << ", Position " << Fixed(v->RoutePosition())
          << ", Richtung " << v->RouteDirection() << ", Soll " << Fixed(v->TargetSpeed()) << ", Ist "
          << Fixed(v->CurrentSpeed()) << ", Ort (" << Fixed(p.x) << ", " << Fixed(p.y) << ", " << Fixed(p.z) << ")";
      if (v->HasEngine())
        out << ", Geräusch " << (v->SoundPlaying() ? "spielt" : "still") << " (" << Fixed(v->SoundVolume()) << ")";
      out << "\n";
    }
    if (!signals.empty()) out << "Signale:\n";
    for (rr::TRRSignal* s : signals)
      out << "  ID " << s->ID() << " " << Quoted(s->Name()) << ": "
          << (s->SignalState() == rr::RRSignalOpen ? "Fahrt" : "Halt") << "\n";
    if (!controllers.empty()) out << "Schalter und Regler:\n";
    for (rr::TRRController* c : controllers)
      out << "  ID " << c->ID() << " " << Quoted(c->Name()) << ": Wert " << Fixed(c->Value()) << ", Ziel "
          << c->TargetID() << "\n";
    // Only what is switched off: a layout's events normally all run.
    if (events) {
      events->ForEachGroup([&](rr::TRREventGroup& g) {
        if (!g.Enabled()) out << "Ereignisgruppe " << Quoted(g.Name()) << " (ID " << g.ID() << "): inaktiv\n";
      });
      events->ForEachEvent([&](rr::TRREvent& e) {
        if (!e.Enabled()) out << "Ereignis " << Quoted(e.Name()) << " (ID " << e.ID() << "): inaktiv\n";
      });
    }
    if (!scenery.Barriers.empty()) out << "Schranken:\n";
    for (const TSceneryWatch::TBarrier& b : scenery.Barriers)
      out << "  ID " << b.Entity->ID() << " " << Quoted(b.Entity->Name()) << ": "
          << (b.Entity->Closed() ? "geschlossen" : "offen") << "\n";
    if (!scenery.Bays.empty()) out << "Lokschuppen:\n";
    for (const TSceneryWatch::TBay& b : scenery.Bays)
      out << "  ID " << b.Shed->ID() << " " << Quoted(b.Shed->Name()) << ", Stand " << b.Index << ": Tore "
          << (b.Open ? "offen" : "zu") << "\n";
    if (!lightShown.empty()) out << "Beleuchtung: " << lightShown << "\n";
    if (events && !events->Countdowns().empty()) out << "Countdowns:\n";
    if (events)
      for (const auto& [name, info] : events->Countdowns())
        out << "  " << Quoted(name) << ": noch " << Fixed(info.Remaining) << " s\n";
  }

  if (!output.empty() && !project.SaveProject(output))
    return Fail(err, "Die Anlage kann nicht gespeichert werden: " + output);
  return ExitOK;
}

}  // namespace cli
