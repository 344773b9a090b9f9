#pragma once
// The buildings of the base catalogue, modelled in code at H0 size (1:87, one unit = 1 cm, the
// track systems' reference scale): each stands on y = 0 with its street side towards -z.
//
// Half of them are 3D Studio files, the others DirectX files in the text, binary and compressed
// forms. The engine shed's gate opens once (an animation that does not loop), the windmill's sails
// turn (a looping animation), the country station carries a lamp with its light cone (the node
// "lkLampe") and the village church is painted with colour materials only.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/render/GXModelData.h"
#include "engine/render/GXModelWriter.h"

namespace assetgen {

enum class TModelFileForm : uint8_t { Studio3DS, XText, XBinary, XCompressedText, XCompressedBinary };

struct TBuildingModel {
  std::string Name;      // the catalogue name, "Windmühle"
  std::string Folder;    // the folder below "Gebäude", "Landwirtschaft"
  std::string FileName;  // the model file, "Windmuehle.x"
  TModelFileForm Form = TModelFileForm::Studio3DS;
  gx::TGXModelData Model;
  bool Loop = false;  // how its animation runs (when it has one)
};

// The ten buildings, in catalogue order.
std::vector<TBuildingModel> BuildingModels();

// A model file's bytes in the given form.
std::vector<uint8_t> ModelFileBytes(const gx::TGXModelData& model, TModelFileForm form);

// The texture file names a model uses (colours left out), sorted, without duplicates.
std::vector<std::string> ModelTextures(const gx::TGXModelData& model);

}  // namespace assetgen
