#pragma once
// A project host without a project: a scene of its own as the project node, no history, no
// clipboard, changes not recorded. The generator, benchmarks and fuzz targets build entity
// managers on it; TUI is the UI service they answer with (scripted or console).

#include "app/RRProjectHost.h"
#include "app/RRUIService.h"
#include "engine/render/GXScene.h"

namespace rr {

template <class TUI>
struct TRRBareProjectHost : IRRProjectHost {
  gx::TGXScene Scene;
  TUI Ui;
  gx::TGXNode* ProjectNode() override { return Scene.Root(); }
  IRRUIService& UI() override { return Ui; }
  TRRHistory* History() override { return nullptr; }
  TRRClipboard* Clipboard() override { return nullptr; }
  void SetModified() override {}
};

}  // namespace rr
