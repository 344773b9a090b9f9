#pragma once
// Track-system definitions: the text form from which the catalogue's track pieces are made (the
// base catalogue is generated from data/tracks/*.xml). One file describes one track system of one
// manufacturer in one gauge; lengths are given in millimetres of the model and angles in degrees,
// as a manufacturer's leaflet would print them, and become world units (centimetres) and radians.
//
//   <Gleissystem hersteller="Brettmann" system="Profilgleis" spurweite="H0" bettung="ja">
//     <Gerade name="G1" laenge="188.3"/>
//     <Bogen name="R1 30°" radius="360" winkel="30"/>                   (richtung: beide)
//     <Weiche name="WL15" richtung="links" laenge="188.3" radius="437.5" winkel="15"/>
//     <Dreiwegweiche name="DW15" laenge="188.3" radius="437.5" winkel="15"/>
//     <Kreuzung name="K15" laenge="188.3" winkel="15"/>
//     <Kreuzweiche name="DKW15" laenge="188.3" radius="437.5" winkel="15"/>
//     <Prellbock name="P1" laenge="75"/>
//     <Drehscheibe name="D310" durchmesser="310"/>
//     <Flexgleis name="F914" laenge="914"/>
//   </Gleissystem>
//
// Every piece may carry "beschreibung" (the description text; made from the numbers otherwise).
// Curves and switches take "richtung" = "links", "rechts" or "beide" (default): "beide" gives two
// pieces named "<name> links" and "<name> rechts". A switch's diverging route gets a straight
// lead-out so that it ends level with the straight route (or the given "l2"). A double slip's
// curved routes join the ends of its two straight routes, which needs a radius no larger than
// half the length divided by tan(angle / 2).
//
// Pieces go into the folder "<hersteller>\<spurweite>\<system>" below the given tracks folder; the
// catalogue path is "<tracks folder path>\<hersteller>\<spurweite>\<system>\<name>" and the asset
// identifier is derived from it (MD5), so the same definition always gives the same identifiers.
// Wrong or missing values raise ETrackCatalogueError naming the file, the piece and the attribute.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "app/entities/track/RRTrack.h"
#include "engine/core/GXGuid.h"

namespace rr {

class TRRAssetNode;

class ETrackCatalogueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TRRTrackSystemDefinition {
  std::string Manufacturer;
  std::string SystemName;
  int TrackWidth = 3;
  std::vector<std::unique_ptr<TRRTrackDesc>> Pieces;
};

// Reads one definition; sourceName names it in error messages.
TRRTrackSystemDefinition RRReadTrackSystem(std::string_view xml, const std::string& sourceName);
// Moves the pieces into folder "<manufacturer>\<gauge>\<system>" below tracksFolder (folders found
// by name or created), with catalogue paths below folderPath and derived asset identifiers.
// Returns the number of pieces added.
int RRAddTrackSystem(TRRAssetNode& tracksFolder, const std::string& folderPath,
                     TRRTrackSystemDefinition&& system);
// The asset identifier of a catalogue path: an MD5 name-based GUID (version 3 layout).
gx::TGXGuid RRTrackAssetID(std::string_view cataloguePath);

}  // namespace rr
