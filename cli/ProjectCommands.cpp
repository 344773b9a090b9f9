#include "cli/ProjectCommands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "app/RREntityManager.h"
#include "app/RREntitySerializer.h"
#include "app/RREventActions.h"
#include "app/RREventConditions.h"
#include "app/RREvents.h"
#include "app/RRGlobal.h"
#include "app/RRLayoutFileProbe.h"
#include "app/RRProject.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRCamera.h"
#include "app/entities/RREntity.h"
#include "app/entities/RREntityRegistry.h"
#include "app/entities/RRLight.h"
#include "app/entities/RRModel.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelShape.h"
#include "app/entities/scenery/RRBarrier.h"
#include "app/entities/scenery/RRPrimitive.h"
#include "app/entities/scenery/RRStreet.h"
#include "app/entities/scenery/RRVegetation.h"
#include "app/entities/scenery/RRVehicleBuilding.h"
#include "app/entities/track/RRCatenary.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackParameters.h"
#include "app/entities/track/RRTrackRoute.h"
#include "cli/CliJson.h"
#include "cli/CliReport.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXSerialization.h"

namespace cli {

namespace {

std::string Vector(std::initializer_list<float> values) {
  std::string s = "[";
  for (float v : values) {
    if (s.size() > 1) s += ',';
    s += JsonNumber(v);
  }
  return s + "]";
}

rr::TRRProject* Project(std::ostream& err) {
  rr::TRRProject* p = rr::CurrentProject();
  if (!p) err << "Das Programm ist nicht gestartet.\n";
  return p;
}

// What the header part of a layout file says, read without loading it.
struct THeaderInfo {
  int32_t Version = 0;
  int64_t ThumbnailSize = 0;
  rr::TRRTrackParameters Lists{rr::TRRTrackCatalogueSource()};
  std::vector<uint8_t> Thumbnail;
};

THeaderInfo ReadHeader(const std::string& file) {
  gx::TGXFileSystem& fs = rr::Global()->FileSystem();
  std::unique_ptr<gx::TGXMemoryStream> data = fs.OpenFile(file);
  rr::TRRProjectSerializer ser(*data, &fs);
  rr::TRREntityDescriptionList list(true);
  THeaderInfo info;
  ser.ReadProject(fs.ResolvePath(file), &info.Lists, list);
  info.Version = ser.FileVersion();
  info.Thumbnail = ser.Thumbnail();
  info.ThumbnailSize = static_cast<int64_t>(info.Thumbnail.size());
  return info;
}

// A baseboard: shape record, grid, points, partitions, height range, transparency and per texture
// its names, scale, whether it is loaded and on how many grid points it is painted.
void AppendPanel(const rr::TRRPanel& p, std::string& json, std::string& text, int depth) {
  const rr::TRRPanelParams& r = p.Params();
  float lowest = 0, highest = 0;
  p.HeightRange(lowest, highest);
  std::vector<uint64_t> painted(static_cast<size_t>(p.TextureCount()), 0);
  std::vector<uint32_t> layers;
  p.ForEachGridPoint([&](int64_t x, int64_t y) {
    p.GetPointLayers(x, y, layers);
    for (uint32_t v : layers)
      if ((v >> 16) < painted.size()) ++painted[v >> 16];
  });
  const std::string indent(static_cast<size_t>(depth) * 2 + 2, ' ');
  json += ",\"panel\":{\"shape\":" + std::to_string(r.Shape) + ",\"a\":" + std::to_string(r.A) +
          ",\"b\":" + std::to_string(r.B) + ",\"c\":" + std::to_string(r.C) + ",\"d\":" + std::to_string(r.D) +
          ",\"e\":" + std::to_string(r.E) + ",\"f\":" + std::to_string(r.F) +
          ",\"grid\":" + std::to_string(r.QuadWidth) + ",\"thickness\":" + JsonNumber(r.Thickness) +
          ",\"points\":" + std::to_string(p.GridPointCount()) + ",\"partitions\":" + std::to_string(p.PartitionCount()) +
          ",\"heightMin\":" + JsonNumber(lowest) + ",\"heightMax\":" + JsonNumber(highest) +
          ",\"transparent\":" + (p.Transparent() ? "true" : "false") + ",\"textures\":[";
  text += indent + "Bodenplatte Form " + std::to_string(r.Shape) + ", " + std::to_string(r.A) + " x " +
          std::to_string(r.B) + " cm (C " + std::to_string(r.C) + ", D " + std::to_string(r.D) + ", E " +
          std::to_string(r.E) + ", F " + std::to_string(r.F) + "), Raster " + std::to_string(r.QuadWidth) +
          " cm, Dicke " + JsonNumber(r.Thickness) + " cm, " + std::to_string(p.GridPointCount()) + " Punkte in " +
          std::to_string(p.PartitionCount()) + " Teilen, Höhen " + JsonNumber(lowest) + " bis " + JsonNumber(highest) +
          " cm" + (p.Transparent() ? ", transparent" : "") + "\n";
  for (int i = 0; i < p.TextureCount(); ++i) {
    const rr::TRRPanelTexture& t = p.TextureEntry(i);
    json += std::string(i ? "," : "") + "{\"name\":" + JsonString(t.FileName.FileName) +
            ",\"relativeName\":" + JsonString(t.FileName.RelativeName) + ",\"scale\":" + JsonNumber(t.Scale) +
            ",\"loaded\":" + (t.Loaded() ? "true" : "false") + ",\"paintedPoints\":" + std::to_string(painted[size_t(i)]) +
            "}";
    if (painted[size_t(i)] || i >= rr::RRPanelBuiltInTextureCount)
      text += indent + "  Textur " + std::to_string(i) + " \"" + t.FileName.FileName + "\" (" + t.FileName.RelativeName +
              "), Maßstab " + JsonNumber(t.Scale) + (t.Loaded() ? ", geladen" : "") + ", " +
              std::to_string(painted[size_t(i)]) + " Punkte\n";
  }
  json += "]}";
}

// The fields of the scenery kinds: a plant's size, a street's road ends, a barrier's state, a
// shed's bays and a shape's type, size and colour.
void AppendScenery(const rr::TRREntity& e, std::string& json, std::string& text, int depth) {
  const std::string indent(static_cast<size_t>(depth) * 2 + 2, ' ');
  if (auto* plant = dynamic_cast<const rr::TRRVegetation*>(&e)) {
    json += ",\"plant\":{\"scale\":" + JsonNumber(plant->Scale()) + "}";
    text += indent + "Pflanze, Größe " + JsonNumber(plant->Scale()) + "\n";
  } else if (auto* street = dynamic_cast<const rr::TRRStreet*>(&e)) {
    json += ",\"street\":{\"contacts\":[";
    text += indent + "Straße, " + std::to_string(street->Contacts().size()) + " Enden\n";
    for (size_t i = 0; i < street->Contacts().size(); ++i) {
      const rr::TRRStreetContact& c = street->Contacts()[i];
      const gx::TGXVector3 w = street->ContactWorldPosition(c);
      json += std::string(i ? "," : "") + "{\"position\":" + Vector({c.Position.x, c.Position.y, c.Position.z}) +
              ",\"angle\":" + JsonNumber(c.Angle) + ",\"world\":" + Vector({w.x, w.y, w.z}) + "}";
      text += indent + "  Ende " + std::to_string(i) + " bei " + Vector({w.x, w.y, w.z}) + ", Winkel " +
              JsonNumber(c.Angle) + "\n";
    }
    json += "]}";
  } else if (auto* barrier = dynamic_cast<const rr::TRRBarrier*>(&e)) {
    json += std::string(",\"barrier\":{\"closed\":") + (barrier->Closed() ? "true" : "false") + "}";
    text += indent + "Schranke " + (barrier->Closed() ? "geschlossen" : "offen") + "\n";
  } else if (auto* shed = dynamic_cast<const rr::TRRVehicleBuilding*>(&e)) {
    std::unique_ptr<rr::TRREntityDescription> d = shed->CreateDescription();
    const auto& b = static_cast<const rr::TRRVehicleBuildingDesc&>(*d);
    json += ",\"building\":{\"bays\":" + std::to_string(shed->BayCount()) +
            ",\"bendAngle\":" + JsonNumber(shed->BendAngle()) +
            ",\"bayModel\":" + JsonString(b.BayModel.Model.EffectiveFileName()) +
            ",\"connectorModel\":" + JsonString(b.ConnectorModel.Model.EffectiveFileName()) + "}";
    text += indent + "Lokschuppen, " + std::to_string(shed->BayCount()) + " Stände, Winkel " +
            JsonNumber(shed->BendAngle()) + ", Modell " + b.BayModel.Model.EffectiveFileName() + "\n";
  } else if (auto* shape = dynamic_cast<const rr::TRRPrimitive*>(&e)) {
    const gx::TGXVector3 s = shape->PrimitiveScale(), c = shape->Color();
    json += ",\"primitive\":{\"type\":" + std::to_string(shape->PrimitiveType()) +
            ",\"scale\":" + Vector({s.x, s.y, s.z}) + ",\"color\":" + Vector({c.x, c.y, c.z}) +
            ",\"texture\":" + JsonString(shape->Texture().EffectiveFileName()) +
            ",\"reflection\":" + JsonNumber(shape->ReflectionStrength()) + "}";
    text += indent + "Grundkörper Typ " + std::to_string(shape->PrimitiveType()) + ", Größe " +
            Vector({s.x, s.y, s.z}) + ", Farbe " + Vector({c.x, c.y, c.z}) + "\n";
  }
}

void AppendEntity(const rr::TRREntity& e, std::string& json, std::string& text, int depth) {
  std::unique_ptr<rr::TRREntityDescription> d = e.CreateDescription();
  const rr::TRRRegisteredEntity* reg = rr::RegisteredEntities().FindByDescriptionClass(d->GetClass());
  std::string kind = reg ? reg->Kind.ToString() : std::string();
  gx::TGXVector3 p = d->Position();
  gx::TGXQuaternion q = d->Rotation();
  json += "{\"id\":" + std::to_string(e.ID()) + ",\"kind\":" + JsonString(d->GetClass().Name) +
          ",\"kindId\":" + JsonString(kind) + ",\"name\":" + JsonString(d->Name().GetText()) +
          ",\"position\":" + Vector({p.x, p.y, p.z}) + ",\"rotation\":" + Vector({q.x, q.y, q.z, q.w}) +
          ",\"link\":" + std::to_string(d->LinkTarget());
  text += std::string(static_cast<size_t>(depth) * 2, ' ') + std::to_string(e.ID()) + " " +
          d->GetClass().Name + " \"" + d->Name().GetText() + "\" bei " + Vector({p.x, p.y, p.z}) +
          " Drehung " + Vector({q.x, q.y, q.z, q.w});
  if (d->LinkTarget()) text += " folgt " + std::to_string(d->LinkTarget());
  text += "\n";
  if (auto* t = dynamic_cast<const rr::TRRTrack*>(&e)) {
    // A track: its type, catalogue key, active route, texture (its effective file name) and
    // bed, and per route its length and the tracks connected at its two ends (0 = open).
    std::unique_ptr<rr::TRRTrackDesc> td = t->ToDescription();
    json += ",\"track\":{\"type\":" + std::to_string(static_cast<int>(t->Type())) +
            ",\"catalogueKey\":" + JsonString(td->CatalogueKey()) +
            ",\"activeRoute\":" + std::to_string(t->ActiveRoute()) +
            ",\"texture\":" + JsonString(t->Texture().EffectiveFileName()) +
            ",\"hasBed\":" + (t->HasBed() ? "true" : "false") + ",\"routes\":[";
    text += std::string(static_cast<size_t>(depth) * 2 + 2, ' ') + "Gleis Typ " +
            std::to_string(static_cast<int>(t->Type())) + " \"" + td->CatalogueKey() + "\" aktiv " +
            std::to_string(t->ActiveRoute()) + ", Textur \"" + t->Texture().EffectiveFileName() + "\"" +
            (t->HasBed() ? ", mit Bettung" : ", ohne Bettung") + "\n";
    for (int r = 0; r < t->GetRouteCount(); ++r) {
      rr::TRRTrackRoute* route = t->GetRoute(r);
      int32_t partners[2] = {0, 0};
      for (int c = 0; c < 2; ++c) {
        bool blocked = false;
        rr::TRRTrackRouteContact* p = route->Contact(c)->FindPartner(blocked);
        if (p && p->Route() && p->Route()->Track()) partners[c] = p->Route()->Track()->ID();
      }
      json += std::string(r ? "," : "") + "{\"length\":" + JsonNumber(route->GetLength()) +
              ",\"partners\":[" + std::to_string(partners[0]) + "," + std::to_string(partners[1]) + "]}";
      text += std::string(static_cast<size_t>(depth) * 2 + 4, ' ') + "Fahrweg " + std::to_string(r) + ": " +
              JsonNumber(route->GetLength()) + " lang, Anschluss " + std::to_string(partners[0]) + " / " +
              std::to_string(partners[1]) + "\n";
    }
    json += "]}";
  }
  if (auto* m = dynamic_cast<const rr::TRRModelDesc*>(d.get())) {
    // A model: its file with the companions, CAD type and the animation's settings.
    const std::string indent(static_cast<size_t>(depth) * 2 + 2, ' ');
    json +=
        ",\"model\":{\"file\":" + JsonString(m->ModelFile().Model.EffectiveFileName()) + ",\"companions\":[";
    text += indent + "Modell " + m->ModelFile().Model.EffectiveFileName() + ", CAD-Typ " +
            std::to_string(m->CADType()) + ", Animation " + (m->AnimationEnabled() ? "an" : "aus") +
            (m->Loop() ? ", Schleife" : ", einmal") + ", Start " + JsonNumber(m->StartTime()) + " s, Tempo " +
            JsonNumber(m->Speed()) + "\n";
    for (size_t i = 0; i < m->ModelFile().Companions.size(); ++i) {
      const std::string c = m->ModelFile().Companions[i].EffectiveFileName();
      json += std::string(i ? "," : "") + JsonString(c);
      text += indent + "  Begleitdatei " + c + "\n";
    }
    json += "],\"cadType\":" + std::to_string(m->CADType()) +
            ",\"enabled\":" + (m->AnimationEnabled() ? "true" : "false") +
            ",\"loop\":" + (m->Loop() ? "true" : "false") + ",\"startTime\":" + JsonNumber(m->StartTime()) +
            ",\"speed\":" + JsonNumber(m->Speed()) + "}";
  }
  if (auto* panel = dynamic_cast<const rr::TRRPanel*>(&e)) AppendPanel(*panel, json, text, depth);
  AppendScenery(e, json, text, depth);
  if (auto* mast = dynamic_cast<const rr::TRRCatenary*>(&e)) {
    // A catenary mast: the mast its wire runs to (0 = none), whether the wire shows and its
    // length (a command that does not draw loads no model: then the span between the masts).
    const bool shown = mast->WireShown();
    const int32_t partner = mast->GetLinkedMast() ? mast->ConnectionID() : 0;
    json += ",\"catenary\":{\"connection\":" + std::to_string(partner) +
            ",\"wireVisible\":" + (shown ? "true" : "false") +
            ",\"wireLength\":" + JsonNumber(mast->SpanLength()) + "}";
    text += std::string(static_cast<size_t>(depth) * 2 + 2, ' ') + "Oberleitungsmast" +
            (partner ? ", verbunden mit " + std::to_string(partner) : std::string()) +
            (shown ? ", Fahrdraht " + JsonNumber(mast->SpanLength()) + " lang" : std::string()) + "\n";
  }
  if (auto* c = dynamic_cast<const rr::TRRCamera*>(&e)) {
    // A camera: its type, whether it is the active one, the entity it looks at (0 = none) and
    // whether its model is shown (the stored switch: the active camera hides its own model).
    json += ",\"camera\":{\"type\":" + std::to_string(static_cast<int>(c->Type())) +
            ",\"active\":" + (c->IsActive() ? "true" : "false") + ",\"target\":" + std::to_string(c->LookAtTarget()) +
            ",\"visible\":" + (c->ShowModel() ? "true" : "false") + "}";
    text += std::string(static_cast<size_t>(depth) * 2 + 2, ' ') + "Kamera Typ " +
            std::to_string(static_cast<int>(c->Type())) + (c->IsActive() ? ", aktiv" : "") +
            (c->LookAtTarget() ? ", blickt auf " + std::to_string(c->LookAtTarget()) : std::string()) +
            (c->ShowModel() ? ", sichtbar" : "") + "\n";
  }
  if (auto* l = dynamic_cast<const rr::TRRLight*>(&e)) {
    // The light: the active preset and every preset with its sky colour and lighting.
    const std::string indent(static_cast<size_t>(depth) * 2 + 2, ' ');
    json += ",\"light\":{\"index\":" + std::to_string(l->ActiveIndex()) +
            ",\"showModel\":" + (l->Visible() ? "true" : "false") + ",\"presets\":[";
    text += indent + "Licht, aktive Einstellung " + std::to_string(l->ActiveIndex()) + "\n";
    for (int i = 0; i < l->PresetCount(); ++i) {
      const rr::TRRLightParameter p = l->Preset(i);
      char sky[16];
      std::snprintf(sky, sizeof sky, "%08X", static_cast<unsigned>(p.SkyColor));
      json += std::string(i ? "," : "") + "{\"name\":" + JsonString(p.Name.GetText()) +
              ",\"skyColor\":" + JsonString(sky) +
              ",\"ambient\":" + Vector({p.Ambient.x, p.Ambient.y, p.Ambient.z}) +
              ",\"diffuse\":" + Vector({p.Diffuse.x, p.Diffuse.y, p.Diffuse.z}) +
              ",\"spotlights\":" + (p.Spotlights ? "true" : "false") + "}";
      text += indent + "  " + std::to_string(i) + " \"" + p.Name.GetText() + "\" Himmel " + sky +
              ", Umgebung " + Vector({p.Ambient.x, p.Ambient.y, p.Ambient.z}) + ", Licht " +
              Vector({p.Diffuse.x, p.Diffuse.y, p.Diffuse.z}) + (p.Spotlights ? ", Scheinwerfer an" : "") +
              "\n";
    }
    json += "]}";
  }
  std::vector<rr::TRREntity*> children = e.ChildEntities();
  json += ",\"children\":[";
  for (size_t i = 0; i < children.size(); ++i) {
    if (i) json += ",";
    AppendEntity(*children[i], json, text, depth + 1);
  }
  json += "]}";
}

const std::vector<std::string>& ListOf(const rr::TRRTrackParameters& p, int index) {
  return index == 0   ? p.Manufacturers().Items()
         : index == 1 ? p.TrackWidths().Items()
                      : p.TrackSystems().Items();
}

// The event tree: groups with their events, each event with its condition and action classes.
void AppendGroup(const rr::TRREventGroup& g, std::string& json, std::string& text, int depth) {
  json += "{\"group\":" + JsonString(g.Name()) + ",\"id\":" + std::to_string(g.ID()) +
          ",\"enabled\":" + (g.Enabled() ? "true" : "false") + ",\"events\":[";
  text += std::string(static_cast<size_t>(depth) * 2, ' ') + "Gruppe " + std::to_string(g.ID()) + " \"" +
          g.Name() + "\"" + (g.Enabled() ? "" : " (deaktiviert)") + "\n";
  for (int i = 0; i < g.EventCount(); ++i) {
    const rr::TRREvent& e = *g.Event(i);
    std::string condition = e.Condition() ? e.Condition()->ClassName() : "";
    json += std::string(i ? "," : "") + "{\"event\":" + JsonString(e.Name()) +
            ",\"id\":" + std::to_string(e.ID()) + ",\"enabled\":" + (e.Enabled() ? "true" : "false") +
            ",\"condition\":" + JsonString(condition) + ",\"actions\":[";
    text += std::string(static_cast<size_t>(depth) * 2 + 2, ' ') + "Ereignis " + std::to_string(e.ID()) +
            " \"" + e.Name() + "\"" + (e.Enabled() ? "" : " (deaktiviert)") + ": " + condition + " ->";
    for (int a = 0; a < e.ActionCount(); ++a) {
      json += std::string(a ? "," : "") + JsonString(e.Action(a)->ClassName());
      text += std::string(" ") + e.Action(a)->ClassName();
    }
    json += "]}";
    text += "\n";
  }
  json += "],\"groups\":[";
  for (int i = 0; i < g.GroupCount(); ++i) {
    if (i) json += ",";
    AppendGroup(*g.Group(i), json, text, depth + 1);
  }
  json += "]}";
}

// Why a file cannot be written as the output (empty when it can): a folder in its place, or an
// existing file without permission to replace it.
std::string OutputFileProblem(const std::string& file, bool replace) {
  const rr::TRRLayoutFileProbe probe = rr::RRProbeLayoutFile(rr::Global()->FileSystem(), file);
  if (probe.Kind == rr::TRRLayoutFileKind::Folder) return "\"" + file + "\" ist ein Ordner, keine Datei.";
  if (probe.Kind != rr::TRRLayoutFileKind::Missing && !replace)
    return "\"" + file + "\" gibt es schon; --force überschreibt die Datei.";
  return {};
}

bool TakeJson(std::vector<std::string>& args) {
  bool json = false;
  std::erase_if(args, [&](const std::string& a) { return a == "--json" ? (json = true) : false; });
  return json;
}

}  // namespace

int RunNewCommand(const std::vector<std::string>& argsIn, std::ostream& out, std::ostream& err) {
  std::string file = "Neues Projekt.vmp";
  bool force = false;
  // The baseboard: without shape options the default record; with them the shape page's rules.
  bool shaped = false, thick = false;
  rr::TRRPanelParams shape = rr::RRPanelShapePageDefaults();
  uint32_t grid = 0;
  float thickness = 5.0f;
  auto bad = [&](const std::string& option, const std::string& value) {
    err << option << ": ungültiger Wert \"" << value << "\" (velmora-cli new --help)\n";
    return ExitUsage;
  };
  auto number = [](const std::string& text, auto& value) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end;
  };
  for (size_t i = 0; i < argsIn.size(); ++i) {
    const std::string& a = argsIn[i];
    const bool valued = a == "--shape" || a == "--size" || a == "--grid" || a == "--thickness";
    if (a == "--out" && i + 1 < argsIn.size()) {
      file = argsIn[++i];
    } else if (a == "--force") {
      force = true;
    } else if (valued && i + 1 < argsIn.size()) {
      const std::string& v = argsIn[++i];
      // The thickness alone keeps the default record's outline and grid.
      if (a != "--thickness") shaped = true;
      thick = true;
      if (a == "--shape") {
        uint32_t value = 0;
        if (!number(v, value) || value > 3) return bad(a, v);
        shape.Shape = static_cast<uint8_t>(value);
      } else if (a == "--size") {
        std::vector<std::string> parts = gx::SplitString(v, ",");
        if (parts.size() != 2 && parts.size() != 4 && parts.size() != 6) return bad(a, v);
        uint32_t* fields[6] = {&shape.A, &shape.B, &shape.C, &shape.D, &shape.E, &shape.F};
        for (size_t k = 0; k < parts.size(); ++k)
          if (!number(parts[k], *fields[k]) || *fields[k] == 0 || *fields[k] > rr::RRPanelMaxDimension)
            return bad(a, v);
      } else if (a == "--grid") {
        if (!number(v, grid) || grid == 0) return bad(a, v);
      } else {
        if (!number(v, thickness) || !std::isfinite(thickness) || thickness < rr::RRPanelMinThickness ||
            thickness > rr::RRPanelMaxThickness)
          return bad(a, v);
      }
    } else {
      err << "Unbekannte Option: " << a << " (velmora-cli new --help)\n";
      return ExitUsage;
    }
  }
  std::vector<uint8_t> panelShape;
  if (shaped) {
    rr::TRRPanelShapeResult normalised = rr::RRNormalisePanelShape(shape);
    if (grid) {
      if (std::find(normalised.Candidates.begin(), normalised.Candidates.end(), grid) == normalised.Candidates.end()) {
        err << "--grid: " << grid << " cm teilt nicht alle Maße der Bodenplatte (velmora-cli new --help)\n";
        return ExitUsage;
      }
      normalised.Params.QuadWidth = grid;
    }
    normalised.Params.Thickness = thickness;
    const auto bytes = normalised.Params.ToBytes();
    panelShape.assign(bytes.begin(), bytes.end());
  } else if (thick) {
    rr::TRRPanelParams params = rr::RRDefaultPanelDesc()->Params();
    params.Thickness = thickness;
    const auto bytes = params.ToBytes();
    panelShape.assign(bytes.begin(), bytes.end());
  }
  rr::TRRProject* project = Project(err);
  if (!project) return ExitFailed;
  if (std::string line = OutputFileProblem(file, force); !line.empty()) return Fail(err, line);
  if (!project->NewProject({}, panelShape))
    return Fail(err, "Das neue Projekt konnte nicht angelegt werden.", TakeError());
  std::string made;
  int count = 0;
  if (gx::TGXNode* node = project->ProjectNode()) {
    for (int i = 0; i < node->ChildCount(); ++i) {
      auto* e = dynamic_cast<rr::TRREntity*>(node->Child(i));
      if (!e) continue;
      ++count;
      std::unique_ptr<rr::TRREntityDescription> d = e->CreateDescription();
      made +=
          "  " + std::to_string(e->ID()) + " " + d->GetClass().Name + " \"" + d->Name().GetText() + "\"\n";
    }
  }
  bool saved = project->SaveProject(file);
  project->CloseProject();
  if (!saved)
    return Fail(err, "\"" + file + "\" kann nicht geschrieben werden: " + rr::RRShortErrorText(TakeError()));
  out << "Neues Projekt mit " << count << " Objekten gespeichert: " << file << "\n" << made;
  return ExitOK;
}

int RunInfoCommand(const std::vector<std::string>& argsIn, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args = argsIn;
  bool json = TakeJson(args);
  if (args.size() != 1) {
    err << "Aufruf: velmora-cli info DATEI [--json]\n";
    return ExitUsage;
  }
  rr::TRRProject* project = Project(err);
  if (!project) return ExitFailed;
  const std::string& file = args[0];
  const rr::TRRLayoutFileProbe probe = rr::RRProbeLayoutFile(rr::Global()->FileSystem(), file);
  const std::string problem = rr::RRLayoutFileErrorLine(file, probe, rr::TRRExpectedFile::Project);
  if (probe.Kind != rr::TRRLayoutFileKind::Project || probe.Version < rr::RRProjectMinVersion ||
      probe.Version > rr::RRProjectVersion)
    return Fail(err, problem);
  THeaderInfo header;
  try {
    header = ReadHeader(file);
  } catch (...) {
    return Fail(err, problem, std::current_exception());
  }
  if (!project->LoadProject(file, false)) return Fail(err, problem, TakeError());

  std::string entities, text;
  gx::TGXNode* node = project->ProjectNode();
  int count = 0;
  entities = "[";
  for (int i = 0; i < node->ChildCount(); ++i) {
    auto* e = dynamic_cast<rr::TRREntity*>(node->Child(i));
    if (!e) continue;
    if (count++) entities += ",";
    AppendEntity(*e, entities, text, 1);
  }
  entities += "]";
  std::string eventsJson = "null", eventsText, countdownsJson = "[]", countdownsText;
  if (rr::TRREventManager* events = project->EventManager()) {
    eventsJson.clear();
    AppendGroup(events->Root(), eventsJson, eventsText, 1);
    // The countdowns running when the layout was saved, in name order.
    countdownsJson = "[";
    for (const auto& [name, info] : events->Countdowns()) {
      countdownsJson += std::string(countdownsJson.size() > 1 ? "," : "") + "{\"name\":" + JsonString(name) +
                        ",\"duration\":" + JsonNumber(info.Duration) + ",\"autoRestart\":" +
                        (info.AutoRestart ? "true" : "false") + ",\"remaining\":" + JsonNumber(info.Remaining) + "}";
      countdownsText += "  \"" + name + "\": noch " + JsonNumber(info.Remaining) + " von " + JsonNumber(info.Duration) +
                        " s" + (info.AutoRestart ? ", wiederholt sich" : "") + "\n";
    }
    countdownsJson += "]";
  }
  static const char* kListNames[] = {"manufacturers", "trackWidths", "trackSystems"};
  if (json) {
    out << "{\"file\":" << JsonString(file)
        << ",\"header\":{\"guid\":" << JsonString(rr::RRGuidProjectSerializer)
        << ",\"version\":" << header.Version << "},\"thumbnailSize\":" << header.ThumbnailSize
        << ",\"trackParameters\":{";
    for (int l = 0; l < 3; ++l) {
      out << (l ? "," : "") << "\"" << kListNames[l] << "\":[";
      const auto& items = ListOf(header.Lists, l);
      for (size_t i = 0; i < items.size(); ++i) out << (i ? "," : "") << JsonString(items[i]);
      out << "]";
    }
    out << "},\"entityCount\":" << count << ",\"entities\":" << entities << ",\"events\":" << eventsJson
        << ",\"countdowns\":" << countdownsJson << "}\n";
  } else {
    out << "Datei: " << file << "\nVersion: " << header.Version << "\nVorschaubild: " << header.ThumbnailSize
        << " Bytes\n";
    const char* listTitles[] = {"Hersteller", "Spurweiten", "Gleissysteme"};
    for (int l = 0; l < 3; ++l) {
      out << listTitles[l] << ":";
      for (const auto& s : ListOf(header.Lists, l)) out << " " << s;
      out << "\n";
    }
    out << "Objekte: " << count << "\n" << text << "Ereignisse:\n" << eventsText;
    if (!countdownsText.empty()) out << "Countdowns:\n" << countdownsText;
  }
  project->CloseProject();
  return 0;
}

int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) {
    err << "Aufruf: velmora-cli convert EINGABE AUSGABE\n";
    return ExitUsage;
  }
  rr::TRRProject* project = Project(err);
  if (!project) return ExitFailed;
  gx::TGXFileSystem& fs = rr::Global()->FileSystem();
  const std::string& in = args[0];
  const rr::TRRLayoutFileProbe probe = rr::RRProbeLayoutFile(fs, in);
  const std::string problem = rr::RRLayoutFileErrorLine(in, probe, rr::TRRExpectedFile::ProjectOrObjectFile);
  const bool isProject = probe.Kind == rr::TRRLayoutFileKind::Project;
  if (isProject ? probe.Version < rr::RRProjectMinVersion || probe.Version > rr::RRProjectVersion
                : probe.Kind != rr::TRRLayoutFileKind::ObjectFile &&
                      probe.Kind != rr::TRRLayoutFileKind::OldObjectFile)
    return Fail(err, problem);
  // The output is replaced as a whole, so only a folder in its place is refused.
  if (std::string line = OutputFileProblem(args[1], true); !line.empty()) return Fail(err, line);
  std::string target = fs.ResolvePath(args[1]);
  gx::TGXMemoryStream s;
  std::string done;
  try {
    std::unique_ptr<gx::TGXMemoryStream> data = fs.OpenFile(in);
    if (isProject) {
      THeaderInfo header = ReadHeader(in);
      if (!project->LoadProject(in, false)) return Fail(err, problem, TakeError());
      rr::TRRProjectSerializer ser(s, &fs);
      ser.WriteProject(*project->ProjectNode(), target, project->TrackParameters(), *project->Events(),
                       header.Thumbnail);
      project->CloseProject();
      done = "Projekt (Version " + std::to_string(header.Version) + ") geschrieben: " + args[1];
    } else {
      // An object file: descriptions only, their file names re-anchored to the new folder.
      rr::TRREntityDescriptionList list(true);
      rr::TRREntitySerializer(*data, fs.ResolvePath(in), &fs).ReadAll(list, &rr::Global()->Database());
      {
        rr::TRREntitySerializer w(s, target, &fs);
        w.BeginWrite(list.Count());
        for (rr::TRREntityDescription* d : list) w.WriteDescription(*d);
        w.EndWrite();
      }
      done = "Objektdatei mit " + std::to_string(list.Count()) + " Objekten geschrieben: " + args[1];
    }
  } catch (...) {
    project->CloseProject();
    return Fail(err, problem, std::current_exception());
  }
  try {
    rr::RRWriteFileReplacing(target, s.Memory(), s.Data().size());
  } catch (...) {
    return Fail(err,
                "\"" + args[1] +
                    "\" kann nicht geschrieben werden: " + rr::RRShortErrorText(std::current_exception()),
                std::current_exception());
  }
  out << done << "\n";
  return ExitOK;
}

}  // namespace cli
