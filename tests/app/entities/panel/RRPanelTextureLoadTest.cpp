// Panel textures load through the model services once per panel load: a file that cannot be
// loaded is reported once however often it is painted with, and keeps its place in the list.

#include <gtest/gtest.h>

#include <map>

#include "app/entities/panel/RRPanel.h"
#include "tests/app/MaterialTestSupport.h"

using namespace rr;

using TPanelTextureLoad = rr::test::TMaterialTest;
using rr::test::TReportedError;

TEST_F(TPanelTextureLoad, AMissingTextureIsReportedOncePerLoadAndKeepsItsPlace) {
  TRRPanelDesc d;
  d.Params().A = 20, d.Params().B = 20, d.Params().QuadWidth = 10;
  d.Textures().push_back({TRRAssetFileName("Fehlt.dds", "Eigene\\Fehlt.dds"), 0.5f});
  TRRPanel panel(nullptr, nullptr, d);
  for (int i = 0; i < 5; ++i) {
    panel.SetTextureWeight(0, 1, true, 200, 1);
    (void)panel.GetTextureWeight(0, 1, 1);
    (void)panel.GetTexture(0);
  }
  std::map<std::string, int> reports;
  for (const TReportedError& r : Reported) ++reports[r.File.EffectiveFileName()];
  EXPECT_EQ(reports["Game:\\Eigene\\Fehlt.dds"], 1);
  for (const auto& [name, count] : reports) EXPECT_EQ(count, 1) << name;
  EXPECT_FALSE(panel.TextureEntry(0).Loaded());
  // The flat panel was covered with texture 0, the missing one: its weights stay its own.
  EXPECT_EQ(panel.GetTextureWeight(0, 1, 1), 255);
  EXPECT_EQ(panel.GetTextureWeight(1, 1, 1), 0);
  // A new load tries again.
  std::unique_ptr<TRREntityDescription> back = panel.CreateDescription();
  panel.LoadFromDesc(*dynamic_cast<TRRPanelDesc*>(back.get()));
  int again = 0;
  for (const TReportedError& r : Reported) again += r.File.EffectiveFileName() == "Game:\\Eigene\\Fehlt.dds";
  EXPECT_EQ(again, 2);
  EXPECT_EQ(panel.GetTextureWeight(0, 0, 0), 255);
  EXPECT_EQ(panel.TextureEntry(0).FileName.FileName, "Fehlt.dds");
}
