#pragma once
// A model of the catalogue's scenery (streets, the barrier, plants, the engine shed's pieces) as
// the catalogue stores it: its entry's name and folder, its file and the model itself.

#include <string>
#include <vector>

#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/ModelKit.h"

namespace assetgen {

// A road end: where it lies in the model (its middle, on the ground) and its heading about +y,
// whose forward ((1, 0, 0) turned by the angle) points out of the road.
struct TRoadEnd {
  TGXVector3 Position;
  float Angle = 0;
};

struct TSceneryItem {
  std::string Name;      // the catalogue name, "Kreuzung"
  std::string Folder;    // the catalogue folder, "Landschaft\\Straßen"
  std::string FileName;  // the model file, "Straße Kreuzung.3ds"
  TModelFileForm Form = TModelFileForm::Studio3DS;
  gx::TGXModelData Model;
  std::vector<TRoadEnd> Ends;  // a street's road ends
};

}  // namespace assetgen
