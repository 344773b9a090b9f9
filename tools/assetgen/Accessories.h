#pragma once
// The signals and control elements of the base catalogue, modelled in code at H0 size (one unit =
// 1 cm, y up, standing on y = 0, the side a train driver sees towards -z), each within about
// 4 x 4 cm and painted with colour materials only.
//
// Every accessory moves one named part in an animation of 20 frames: frame 0 is the closed, off
// or lowest pose (the part's rest pose, so the model also shows it without its animation), frame
// 20 the open, on or highest one. The program shows an open signal at its animation's end and a
// controller's value v at v times the animation's length, so a regulator turns evenly.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/render/GXModelData.h"

namespace assetgen {

struct TAccessoryModel {
  std::string Name;            // the catalogue name, "Hauptsignal"
  std::string Folder;          // "Signale" or "Steuerung"
  std::string FileName;        // the model file (DirectX, text form), "Hauptsignal.x"
  bool Signal = false;         // a signal; otherwise a control element
  uint8_t ControllerKind = 0;  // a control element's kind: 0 rotary regulator, 1 toggle switch
  gx::TGXModelData Model;
};

// The five accessories in catalogue order: main signal, distant signal and shunting signal
// ("Signale"), then toggle switch and rotary regulator, each on a small desk ("Steuerung").
std::vector<TAccessoryModel> AccessoryModels();

}  // namespace assetgen
