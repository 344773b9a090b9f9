#include <gtest/gtest.h>

#include "app/entities/panel/RRPanelRules.h"
#include "app/entities/panel/RRPanelTexture.h"

using namespace rr;

namespace {

const TRRDisplayUnit& Unit(const char* name) {
  for (const TRRDisplayUnit& u : RRLengthUnits)
    if (std::string(u.Name) == name) return u;
  return RRLengthUnits[1];
}

}  // namespace

TEST(RRPanelRules, BrushSizeIsClampedReadInTheDisplayUnitAndKeptWhenUnparsable) {
  struct Case {
    const char* Unit;
    const char* Text;
    float Previous, Expected;
  } cases[] = {
      {"cm", "0.5", 10, 1},        {"cm", "5000", 10, 1000}, {"cm", "25", 10, 25},   {"cm", "abc", 17, 17},
      {"cm", "", 17, 17},          {"cm", "1e3", 17, 17},    {"mm", "55", 10, 5.5f}, {"m", "0.3", 10, 30},
      {"cm", " 12,5 ", 10, 12.5f}, {"cm", "-4", 10, 1},      {"cm", "nan", 10, 10},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(RRBrushSizeFromText(c.Text, Unit(c.Unit), c.Previous), c.Expected, 1e-4f)
        << c.Unit << " " << c.Text;
  // The up/down buttons step by 1 cm from the typed value, else from the stored size.
  EXPECT_FLOAT_EQ(RRBrushSizeStep("20", Unit("cm"), 10, true), 21);
  EXPECT_FLOAT_EQ(RRBrushSizeStep("x", Unit("cm"), 10, false), 9);
  EXPECT_FLOAT_EQ(RRBrushSizeStep("1", Unit("cm"), 10, false), 1);
  EXPECT_FLOAT_EQ(RRBrushSizeStep("10", Unit("mm"), 10, true), 2);
}

TEST(RRPanelRules, GradientOpacityAndTypedValues) {
  EXPECT_FLOAT_EQ(RRBrushGradientFromText("40", 0.25f), 0.4f);
  EXPECT_FLOAT_EQ(RRBrushGradientFromText("140", 0.25f), 1.0f);
  EXPECT_FLOAT_EQ(RRBrushGradientFromText("-3", 0.25f), 0.0f);
  EXPECT_FLOAT_EQ(RRBrushGradientFromText("?", 0.25f), 0.25f);
  EXPECT_FLOAT_EQ(RRBrushOpacityFromText("0", 1.0f), 0.01f);
  EXPECT_FLOAT_EQ(RRBrushOpacityFromText("50", 1.0f), 0.5f);
  EXPECT_FLOAT_EQ(RRBrushOpacityFromText("", 0.3f), 0.3f);
  EXPECT_EQ(RRGradientUpDownPosition(0.125f), 12);  // halves to the even neighbour
  EXPECT_EQ(RRGradientUpDownPosition(0.135f), 14);

  // New heights: 0 ... 100 cm, nothing for text that is no number.
  EXPECT_FLOAT_EQ(*RRMarkedHeightFromText("150", Unit("cm")), 100);
  EXPECT_FLOAT_EQ(*RRMarkedHeightFromText("-5", Unit("cm")), 0);
  EXPECT_FLOAT_EQ(*RRMarkedHeightFromText("0.2", Unit("m")), 20);
  EXPECT_FALSE(RRMarkedHeightFromText("zehn", Unit("cm")));
  // Thickness: 0.1 ... 100 cm.
  EXPECT_FLOAT_EQ(*RRThicknessFromText("0", Unit("cm")), 0.1f);
  EXPECT_FLOAT_EQ(*RRThicknessFromText("2000", Unit("mm")), 100);
  EXPECT_FLOAT_EQ(*RRThicknessFromText("30", Unit("mm")), 3);
  EXPECT_FALSE(RRThicknessFromText("", Unit("cm")));

  EXPECT_EQ(RRFormatLength(12.34567, Unit("cm")), "12.346");
  EXPECT_EQ(RRFormatLength(12.34567, Unit("mm")), "123.46");
  EXPECT_EQ(RRFormatLength(10, Unit("m")), "0.1");
  EXPECT_EQ(RRFormatLength(1000, Unit("cm")), "1000");

  // The pages' starting settings.
  EXPECT_FLOAT_EQ(RRHeightPageDefaults().Gradient, 0.25f);
  EXPECT_FLOAT_EQ(RRTexturePageDefaults().Gradient, 0.75f);
  EXPECT_FLOAT_EQ(RRTexturePageDefaults().Size, 10);
}

TEST(RRPanelRules, TexturePageListsBuiltInsFirstEachSortedAndDuplicatesOnce) {
  std::vector<TRRAssetFileName> list;
  for (int i = 0; i < RRPanelBuiltInTextureCount; ++i) list.push_back(RRPanelBuiltInTexture(i));
  // User textures, one of them twice, and an extra base-package texture (counts as the user's).
  list.insert(list.begin(), TRRAssetFileName("/home/u/texturen/zement.png"));
  list.push_back(
      TRRAssetFileName("Kies.dds", "{17A372D8-E05D-4119-AE3F-8D4F79D1D0D9}\\Bodentexturen\\Kies.dds"));
  list.push_back(TRRAssetFileName("/home/u/texturen/Asphalt.png"));
  list.push_back(TRRAssetFileName("/HOME/U/TEXTUREN/ZEMENT.PNG"));

  std::vector<TRRTexturePageItem> items = RRTexturePageItems(list);
  ASSERT_EQ(items.size(), 15u);
  for (int i = 0; i < 12; ++i) {
    EXPECT_TRUE(items[i].BuiltIn) << i;
    EXPECT_FALSE(items[i].CanDelete) << i;
  }
  EXPECT_EQ(items[0].Name, "Blumenwiese.dds");
  EXPECT_EQ(items[11].Name, "Wüste.dds");
  EXPECT_EQ(items[12].Name, "Asphalt.png");
  EXPECT_TRUE(items[12].FirstUserItem);
  EXPECT_TRUE(items[12].CanDelete);
  EXPECT_EQ(items[13].Name, "Kies.dds");
  EXPECT_FALSE(items[13].BuiltIn);
  EXPECT_EQ(items[14].Name, "zement.png");
  EXPECT_EQ(items[14].Index, 0);  // the first entry of the file, not its duplicate
  for (size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].FirstUserItem, i == 12) << i;

  EXPECT_EQ(RRTexturePageSelection(items, "KIES.DDS"), 13);
  EXPECT_EQ(RRTexturePageSelection(items, "fehlt"), 0);
  EXPECT_EQ(RRTexturePageSelection({}, "fehlt"), -1);

  EXPECT_EQ(RRTextureScaleBarPosition(0.015f), 20);
  EXPECT_EQ(RRTextureScaleLabel(20), "x 1.0");
  EXPECT_FLOAT_EQ(RRTextureScaleFromBar(40), 0.03f);
  EXPECT_EQ(RRTextureScaleBarPosition(100.0f), 100);
}

TEST(RRPanelRules, ThumbnailCropIsCentredWithTheTargetAspect) {
  struct Case {
    int32_t W, H, TW, TH;
    TRRCropRect Expected;
  } cases[] = {
      {256, 256, 162, 93, {0, 54, 256, 147}},   // taller than 162:93: full width, round(256 / 1.742) rows
      {512, 128, 162, 93, {144, 0, 223, 128}},  // wider: full height, round(1.742 * 128) columns
      {256, 256, 16, 16, {0, 0, 256, 256}},
      {1, 1000, 162, 93, {0, 499, 1, 1}},  // clamped to at least one row
      {1000, 1, 16, 16, {499, 0, 1, 1}},
      {0, 10, 16, 16, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    TRRCropRect r = RRThumbnailCrop(c.W, c.H, c.TW, c.TH);
    EXPECT_EQ(r.X, c.Expected.X) << c.W << "x" << c.H;
    EXPECT_EQ(r.Y, c.Expected.Y) << c.W << "x" << c.H;
    EXPECT_EQ(r.Width, c.Expected.Width) << c.W << "x" << c.H;
    EXPECT_EQ(r.Height, c.Expected.Height) << c.W << "x" << c.H;
  }
}
