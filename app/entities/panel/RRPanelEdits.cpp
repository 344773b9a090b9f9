#include "app/entities/panel/RRPanelEdits.h"

#include <algorithm>
#include <cmath>

#include "app/RREntityManager.h"
#include "app/RRHistory.h"
#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelModifier.h"
#include "app/entities/panel/RRPanelRules.h"

namespace rr {

namespace {

// Runs edit inside one command on the panel.
template <class Fn>
void Recorded(TRRPanel& panel, Fn&& edit) {
  std::unique_ptr<TRRCommand> command = RRPanelOpenCommand(panel);
  edit();
  RRPanelPushCommand(std::move(command), panel);
}

bool ValidIndex(const TRRPanel& panel, int index) { return index >= 0 && index < panel.TextureCount(); }

}  // namespace

TRRHistory* RRPanelHistory(TRRPanel& panel) {
  auto* manager = dynamic_cast<TRREntityManager*>(panel.Manager());
  return manager ? manager->Project().History() : nullptr;
}

std::unique_ptr<TRREntityDescription> RRPanelSnapshotDescription(TRRPanel& panel) {
  std::unique_ptr<TRREntityDescription> d = panel.TRREntity::CreateDescription();
  auto* pd = dynamic_cast<TRRPanelDesc*>(d.get());
  if (!pd) return panel.CreateDescription();
  panel.WriteSnapshotToDesc(panel.TakeSnapshot(), *pd);
  return d;
}

std::unique_ptr<TRRCommand> RRPanelOpenCommand(TRRPanel& panel) {
  TRRHistory* history = RRPanelHistory(panel);
  if (!history) return nullptr;
  std::unique_ptr<TRRCommand> command = history->OpenCommand(nullptr);
  command->SetBefore(&panel, RRPanelSnapshotDescription(panel));
  return command;
}

void RRPanelPushCommand(std::unique_ptr<TRRCommand> command, TRRPanel& panel) {
  if (!command) return;
  TRRHistory* history = RRPanelHistory(panel);
  if (!history) return;
  // A snapshot is reused while the edit counter stands still: the same one before and after
  // means the press or page edit changed nothing, and an empty undo step helps nobody.
  const auto* before = dynamic_cast<const TRRPanelDesc*>(command->BeforeSnapshot());
  if (before && before->Snapshot() && before->Snapshot() == panel.TakeSnapshot()) return;
  command->SetAfter(&panel, RRPanelSnapshotDescription(panel));
  history->Push(std::move(command));
}

void RRPanelSetMarkedHeights(TRRPanelModifier& modifier, float h) {
  TRRPanel* panel = modifier.Panel();
  if (!panel || !modifier.HasMarks()) return;
  const float height = std::isfinite(h) ? std::clamp(h, 0.0f, RRMarkedHeightMax) : 0.0f;
  Recorded(*panel, [&] { modifier.SetMarkedHeights(height); });
}

void RRPanelSetThickness(TRRPanel& panel, float thickness) {
  TRRPanelParams params = panel.Params();
  params.Thickness = std::isfinite(thickness)
                         ? std::clamp(thickness, RRPanelThicknessMin, RRPanelThicknessMax)
                         : panel.Params().Thickness;
  if (params.Thickness == panel.Params().Thickness) return;
  Recorded(panel, [&] { panel.SetParams(params); });
}

bool RRPanelReshape(TRRPanel& panel, const TRRPanelParams& params) {
  TRRPanelParams wanted = params;
  wanted.Thickness = panel.Params().Thickness;
  if (wanted == panel.Params()) return false;
  // Checked before the command opens, so a refused record leaves neither a change nor a command.
  std::string reason;
  if (!RRCheckPanelParams(wanted, &reason)) panel.SetParams(wanted);  // raises "Invalid description"
  Recorded(panel, [&] {
    gx::TGXNode* top = &panel;
    while (top->Parent()) top = top->Parent();
    top->Update(false);
    const gx::TGXVector3 before = gx::GXVec3TransformCoord(panel.Pivot(), panel.WorldMatrix());
    panel.SetParams(wanted);
    top->Update(false);
    const gx::TGXVector3 after = gx::GXVec3TransformCoord(panel.Pivot(), panel.WorldMatrix());
    panel.Translate(before - after, gx::TGXTransformSpace::World);
    top->Update(false);
  });
  return true;
}

int RRPanelAddTexture(TRRPanel& panel, const TRRAssetFileName& fileName, float scale) {
  int index = -1;
  Recorded(panel, [&] { index = panel.AddTexture(fileName, scale); });
  return index;
}

void RRPanelRemoveTexture(TRRPanel& panel, int index) {
  if (!ValidIndex(panel, index) || index == RRPanelDefaultTextureIndex) return;
  Recorded(panel, [&] { panel.RemoveTexture(index); });
}

void RRPanelReplaceTexture(TRRPanel& panel, int index, int byIndex) {
  if (!ValidIndex(panel, index) || !ValidIndex(panel, byIndex) || index == byIndex) return;
  Recorded(panel, [&] { panel.ReplaceTexture(index, byIndex); });
}

void RRPanelSetTextureScale(TRRPanel& panel, int index, float scale) {
  if (!ValidIndex(panel, index) || !std::isfinite(scale) || panel.TextureEntry(index).Scale == scale) return;
  Recorded(panel, [&] { panel.SetTextureScale(index, scale); });
}

void RRPanelSetTransparent(TRRPanel& panel, bool transparent) {
  if (panel.Transparent() == transparent) return;
  Recorded(panel, [&] { panel.SetTransparent(transparent); });
}

void RRPanelImportHeights(TRRPanel& panel, const gx::TGXImage& picture, int64_t x0, int64_t y0, float low,
                          float high) {
  Recorded(panel, [&] {
    panel.ResetHeights();
    panel.ImportHeightsFromBitmap(picture, x0, high, low, y0);
    panel.UpdateBounds();
    panel.FinishEdit();
  });
}

void RRPanelImportHeights(TRRPanel& panel, const std::vector<std::string>& lines, int64_t x0, int64_t y0) {
  Recorded(panel, [&] {
    panel.ResetHeights();
    panel.ImportHeightsFromText(lines, x0, y0);
    panel.UpdateBounds();
    panel.FinishEdit();
  });
}

}  // namespace rr
