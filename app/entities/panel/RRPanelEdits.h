#pragma once
// The panel edits the property pages run, each one undoable command on the project's history
// (nothing is recorded when the panel's manager has no history). The desktop pages only read
// their edits and call these; the command line and the tests call them directly.
//
// Values are checked here as the pages would: thickness 0.1 ... 100 cm, typed heights 0 ... 100
// cm, texture indices inside the list. An edit that changes nothing records nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/entities/RRAssetFileName.h"
#include "engine/render/GXImageReader.h"

namespace rr {

class TRRCommand;
class TRREntityDescription;
class TRRHistory;
class TRRPanel;
class TRRPanelModifier;
struct TRRPanelParams;

// The history of the panel's project, or null.
TRRHistory* RRPanelHistory(TRRPanel& panel);
// The panel's description for the history: the base fields and the panel's snapshot (untouched
// grid blocks shared with the previous one, reused as it is while nothing changed).
std::unique_ptr<TRREntityDescription> RRPanelSnapshotDescription(TRRPanel& panel);
// A command with the panel as its before state (null without history), and its completion: the
// panel as after state, pushed.
std::unique_ptr<TRRCommand> RRPanelOpenCommand(TRRPanel& panel);
void RRPanelPushCommand(std::unique_ptr<TRRCommand> command, TRRPanel& panel);

// Every point the height brush marked gets max(h * w / 255, 0), h clamped to 0 ... 100 cm.
void RRPanelSetMarkedHeights(TRRPanelModifier& modifier, float h);
// The board thickness, clamped to 0.1 ... 100 cm (SetParams with the rest of the record).
void RRPanelSetThickness(TRRPanel& panel, float thickness);
// A new shape, dimensions or grid (the thickness is not compared) with the terrain resampled and
// the panel moved so that its pivot stays where it was in the world. False when nothing differs.
bool RRPanelReshape(TRRPanel& panel, const TRRPanelParams& params);
// The texture list: the index of the (possibly new) entry.
int RRPanelAddTexture(TRRPanel& panel, const TRRAssetFileName& fileName, float scale);
void RRPanelRemoveTexture(TRRPanel& panel, int index);
void RRPanelReplaceTexture(TRRPanel& panel, int index, int byIndex);
// One command per call (the page calls it when the scale bar is released).
void RRPanelSetTextureScale(TRRPanel& panel, int index, float scale);
void RRPanelSetTransparent(TRRPanel& panel, bool transparent);
// Heights from a grey picture (the blue channel spans low ... high) or from "x,y,height" lines,
// starting at grid point (x0, y0), in place: reset, import, bounds, end of the edit burst.
void RRPanelImportHeights(TRRPanel& panel, const gx::TGXImage& picture, int64_t x0, int64_t y0, float low,
                          float high);
void RRPanelImportHeights(TRRPanel& panel, const std::vector<std::string>& lines, int64_t x0, int64_t y0);

}  // namespace rr
