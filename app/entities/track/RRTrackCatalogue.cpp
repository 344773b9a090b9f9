#include "app/entities/track/RRTrackCatalogue.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <pugixml.hpp>

#include "app/RRDatabase.h"
#include "app/entities/track/RRTrackRoute.h"
#include "app/entities/track/RRTrackSystems.h"
#include "engine/core/GXDigest.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Millimetres of the model to world units (centimetres).
constexpr double kMillimetre = 0.1;
// The longest piece the track editor allows is 200 world units; a definition stays below it.
constexpr double kMaxLengthMm = 2000;
// Turntable stubs are 15 degrees apart (12 routes across the pit).
constexpr int kTurntableRoutes = 12;

// The buffer-stop and turntable models of the shared base package.
TRRModelFileName BaseModel(const char* file) {
  const std::string relative = std::string("{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Modelle\\") + file;
  return {TRRAssetFileName(RRGameRoot + relative, relative), {}};
}

class TReader {
 public:
  explicit TReader(const std::string& source) : FSource(source) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw ETrackCatalogueError("Gleiskatalog " + FSource +
                               (FPiece.empty() ? "" : ", Gleis \"" + FPiece + "\"") + ": " + what);
  }
  void SetPiece(std::string piece) { FPiece = std::move(piece); }

  std::string Text(const pugi::xml_node& n, const char* attribute, bool required) const {
    pugi::xml_attribute a = n.attribute(attribute);
    if (!a && required) Fail(std::string("Attribut \"") + attribute + "\" fehlt.");
    return a.value();
  }

  // A number in [min, max] (dot as decimal separator, whatever the locale).
  double Number(const pugi::xml_node& n, const char* attribute, double min, double max) const {
    std::string text = Text(n, attribute, true);
    std::string_view t = gx::TrimText(text);
    double value = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(value))
      Fail(std::string("Attribut \"") + attribute + "\" ist keine Zahl: \"" + text + "\".");
    if (value < min || value > max) {
      char range[96];
      std::snprintf(range, sizeof(range), " liegt nicht zwischen %g und %g.", min, max);
      Fail(std::string("Attribut \"") + attribute + "\" = " + text + range);
    }
    return value;
  }

 private:
  const std::string& FSource;
  std::string FPiece;
};

// "188,3" / "360": millimetres and degrees as the description text shows them.
std::string Decimal(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%.1f", v);
  std::string s = buffer;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

std::unique_ptr<TRRTrackRouteDesc> FixedRoute(double l1Mm, double angleDeg = 0, double radiusMm = 0,
                                              double l2Mm = 0, double rotationDeg = 0) {
  auto r = std::make_unique<TRRTrackRouteDesc>();
  r->L1 = static_cast<float>(l1Mm * kMillimetre);
  r->Angle = static_cast<float>(angleDeg * kPi / 180);
  r->Radius = static_cast<float>(radiusMm * kMillimetre);
  r->L2 = static_cast<float>(l2Mm * kMillimetre);
  r->Rotation = static_cast<float>(rotationDeg * kPi / 180);
  return r;
}

// The lead-out that brings a diverging route of a switch level with its straight route.
double SwitchLeadOut(double lengthMm, double radiusMm, double angleDeg) {
  double a = angleDeg * kPi / 180;
  double rest = lengthMm - radiusMm * std::sin(a);
  return rest > 0 ? rest / std::cos(a) : 0;
}

struct THand {
  const char* Suffix;
  const char* Word;
  double Sign;  // +1 bends towards +X (right), -1 towards -X (left)
};

std::vector<THand> Hands(TReader& reader, const pugi::xml_node& n) {
  std::string hand = reader.Text(n, "richtung", false);
  if (hand.empty() || hand == "beide") return {{" links", "links", -1}, {" rechts", "rechts", 1}};
  if (hand == "links") return {{"", "links", -1}};
  if (hand == "rechts") return {{"", "rechts", 1}};
  reader.Fail("Attribut \"richtung\" muss \"links\", \"rechts\" oder \"beide\" sein.");
}

}  // namespace

TRRTrackSystemDefinition RRReadTrackSystem(std::string_view xml, const std::string& sourceName) {
  TReader reader(sourceName);
  pugi::xml_document doc;
  pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
  if (!parsed) reader.Fail(std::string("kein gültiges XML (") + parsed.description() + ").");
  pugi::xml_node root = doc.child("Gleissystem");
  if (!root) reader.Fail("Element \"Gleissystem\" fehlt.");

  TRRTrackSystemDefinition system;
  system.Manufacturer = reader.Text(root, "hersteller", true);
  system.SystemName = reader.Text(root, "system", true);
  std::string gauge = reader.Text(root, "spurweite", true);
  system.TrackWidth = RRTrackSystemIndex(gauge);
  if (gauge != RRTrackSystemName(system.TrackWidth)) reader.Fail("unbekannte Spurweite \"" + gauge + "\".");
  if (system.Manufacturer.empty() || system.SystemName.empty())
    reader.Fail("Hersteller und System dürfen nicht leer sein.");
  std::string bed = reader.Text(root, "bettung", false);
  if (!bed.empty() && bed != "ja" && bed != "nein")
    reader.Fail("Attribut \"bettung\" muss \"ja\" oder \"nein\" sein.");
  const bool hasBed = bed != "nein";

  auto add = [&](TRRTrackType type, const std::string& name, const std::string& text) {
    auto d = std::make_unique<TRRTrackDesc>(type);
    d->Name().SetText(gx::GX_LANG_GERMAN, name, true);
    d->Description().SetText(gx::GX_LANG_GERMAN, text, true);
    d->Manufacturer().SetText(gx::GX_LANG_GERMAN, system.Manufacturer, true);
    d->TrackSystemName().SetText(gx::GX_LANG_GERMAN, system.SystemName, true);
    d->SetTrackWidth(static_cast<uint8_t>(system.TrackWidth));
    d->SetHasBed(hasBed);
    system.Pieces.push_back(std::move(d));
    return system.Pieces.back().get();
  };

  for (pugi::xml_node n : root.children()) {
    if (n.type() != pugi::node_element) continue;
    std::string kind = n.name();
    std::string name = reader.Text(n, "name", true);
    reader.SetPiece(name);
    if (name.empty()) reader.Fail("Attribut \"name\" ist leer.");
    std::string given = reader.Text(n, "beschreibung", false);
    auto text = [&](const std::string& made) { return given.empty() ? made : given; };

    if (kind == "Gerade") {
      double l = reader.Number(n, "laenge", 1, kMaxLengthMm);
      add(TRRTrackType::Straight, name, text("Gerades Gleis, " + Decimal(l) + " mm"))
          ->AddRoute(FixedRoute(l));
    } else if (kind == "Bogen") {
      double r = reader.Number(n, "radius", 10, 100000);
      double a = reader.Number(n, "winkel", 0.5, 180);
      if (r * a * kPi / 180 > kMaxLengthMm) reader.Fail("der Bogen ist länger als 2000 mm.");
      for (const THand& h : Hands(reader, n))
        add(TRRTrackType::Curve, name + h.Suffix,
            text(std::string("Gebogenes Gleis ") + h.Word + ", R " + Decimal(r) + " mm, " + Decimal(a) + "°"))
            ->AddRoute(FixedRoute(0, h.Sign * a, h.Sign * r));
    } else if (kind == "Weiche") {
      double l = reader.Number(n, "laenge", 1, kMaxLengthMm);
      double r = reader.Number(n, "radius", 10, 100000);
      double a = reader.Number(n, "winkel", 0.5, 90);
      double l2 = n.attribute("l2") ? reader.Number(n, "l2", 0, kMaxLengthMm) : SwitchLeadOut(l, r, a);
      for (const THand& h : Hands(reader, n)) {
        TRRTrackDesc* d = add(TRRTrackType::Switch, name + h.Suffix,
                              text(std::string("Weiche ") + h.Word + ", " + Decimal(l) + " mm, R " +
                                   Decimal(r) + " mm, " + Decimal(a) + "°"));
        d->AddRoute(FixedRoute(l));
        d->AddRoute(FixedRoute(0, h.Sign * a, h.Sign * r, l2));
      }
    } else if (kind == "Dreiwegweiche") {
      double l = reader.Number(n, "laenge", 1, kMaxLengthMm);
      double r = reader.Number(n, "radius", 10, 100000);
      double a = reader.Number(n, "winkel", 0.5, 90);
      double l2 = n.attribute("l2") ? reader.Number(n, "l2", 0, kMaxLengthMm) : SwitchLeadOut(l, r, a);
      TRRTrackDesc* d =
          add(TRRTrackType::ThreeWaySwitch, name,
              text("Dreiwegweiche, " + Decimal(l) + " mm, R " + Decimal(r) + " mm, " + Decimal(a) + "°"));
      d->AddRoute(FixedRoute(l));
      d->AddRoute(FixedRoute(0, -a, -r, l2));
      d->AddRoute(FixedRoute(0, a, r, l2));
    } else if (kind == "Kreuzung") {
      double l = reader.Number(n, "laenge", 1, kMaxLengthMm);
      double a = reader.Number(n, "winkel", 1, 90);
      TRRTrackDesc* d =
          add(TRRTrackType::Crossing, name, text("Kreuzung, " + Decimal(l) + " mm, " + Decimal(a) + "°"));
      d->AddRoute(FixedRoute(l));
      d->AddRoute(FixedRoute(l, 0, 0, 0, a));
    } else if (kind == "Kreuzweiche") {
      double l = reader.Number(n, "laenge", 1, kMaxLengthMm);
      double r = reader.Number(n, "radius", 10, 100000);
      double a = reader.Number(n, "winkel", 1, 60);
      // Symmetric curve with lead-in and lead-out s from one straight's start to the other's end.
      double s = l / 2 - r * std::tan(a * kPi / 360);
      if (s < 0) reader.Fail("der Radius ist für Länge und Winkel der Kreuzweiche zu groß.");
      TRRTrackDesc* d =
          add(TRRTrackType::CrossSwitch, name,
              text("Kreuzweiche, " + Decimal(l) + " mm, R " + Decimal(r) + " mm, " + Decimal(a) + "°"));
      d->AddRoute(FixedRoute(l));
      d->AddRoute(FixedRoute(l, 0, 0, 0, a));
      d->AddRoute(FixedRoute(s, a, r, s));
      d->AddRoute(FixedRoute(s, -a, -r, s, a));
    } else if (kind == "Prellbock") {
      double l = reader.Number(n, "laenge", 1, kMaxLengthMm);
      TRRTrackDesc* d = add(TRRTrackType::BufferStop, name, text("Prellbock, " + Decimal(l) + " mm"));
      d->AddRoute(FixedRoute(l));
      d->BedModel() = BaseModel("Prellbock.x");
      d->NoBedModel() = BaseModel("PrellbockOhneBettung.x");
    } else if (kind == "Drehscheibe") {
      double diameter = reader.Number(n, "durchmesser", 50, kMaxLengthMm);
      TRRTrackDesc* d =
          add(TRRTrackType::Turntable, name, text("Drehscheibe, Ø " + Decimal(diameter) + " mm"));
      for (int i = 0; i < kTurntableRoutes; ++i) d->AddRoute(FixedRoute(diameter, 0, 0, 0, i * 15.0));
      d->TurntableModel() = BaseModel("Drehscheibe.x");
    } else if (kind == "Flexgleis") {
      double l = reader.Number(n, "laenge", 10, kMaxLengthMm);
      auto r = std::make_unique<TRRTrackRouteDesc>();
      r->FlexL = static_cast<float>(l * kMillimetre);
      add(TRRTrackType::Flexible, name, text("Flexgleis, " + Decimal(l) + " mm"))->AddRoute(std::move(r));
    } else {
      reader.Fail("unbekanntes Element \"" + kind + "\".");
    }
  }
  reader.SetPiece({});
  if (system.Pieces.empty()) reader.Fail("das Gleissystem enthält keine Gleise.");
  return system;
}

gx::TGXGuid RRTrackAssetID(std::string_view cataloguePath) {
  gx::TGXDigest digest = gx::GXMD5("3D-Velmora Gleiskatalog\\" + gx::LowerCaseText(cataloguePath));
  digest[6] = static_cast<uint8_t>((digest[6] & 0x0F) | 0x30);
  digest[8] = static_cast<uint8_t>((digest[8] & 0x3F) | 0x80);
  return gx::TGXGuid::FromBytes(digest.data());
}

namespace {

TRRAssetNode* Folder(TRRAssetNode& parent, const std::string& name) {
  for (int i = 0; i < parent.ChildCount(); ++i)
    if (gx::SameText(parent.Child(i)->Name().GetText(), name)) return parent.Child(i);
  TRRAssetNode* node = parent.AddChild();
  node->Name().SetText(gx::GX_LANG_GERMAN, name, true);
  return node;
}

}  // namespace

int RRAddTrackSystem(TRRAssetNode& tracksFolder, const std::string& folderPath,
                     TRRTrackSystemDefinition&& system) {
  const std::string gauge = RRTrackSystemName(system.TrackWidth);
  TRRAssetNode* folder =
      Folder(*Folder(*Folder(tracksFolder, system.Manufacturer), gauge), system.SystemName);
  const std::string prefix =
      folderPath + "\\" + system.Manufacturer + "\\" + gauge + "\\" + system.SystemName + "\\";
  int added = 0;
  for (auto& piece : system.Pieces) {
    std::string path = prefix + piece->Name().GetText();
    gx::TGXGuid id = RRTrackAssetID(path);
    for (TRREntityDescription* existing : folder->Descriptions())
      if (existing->AssetID() == id)
        throw ETrackCatalogueError("Gleiskatalog: \"" + path + "\" ist doppelt vorhanden.");
    piece->SetCataloguePath(path);
    piece->SetAssetID(id);
    folder->AddDescription(std::move(piece));
    ++added;
  }
  system.Pieces.clear();
  return added;
}

}  // namespace rr
