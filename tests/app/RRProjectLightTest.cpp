// The project's light and reflections: a new layout lights the global effect sources with its
// light's "Tag", the reflection manager has the configured qualities and is what the materials
// register with, the chosen preset survives saving and loading, and closing removes the sources
// (so the next layout can add them again).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "app/RRModelServices.h"
#include "app/RRProject.h"
#include "app/entities/RRLight.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXEffect.h"
#include "engine/render/GXNullRenderDevice.h"

using namespace rr;

namespace {

gx::TGXVector3 Source3(gx::TGXEffectParameterManager& p, const char* name) {
  auto* s = dynamic_cast<gx::TGXEffectValueSource*>(p.FindSource(name));
  gx::TGXVector3 v{-1, -1, -1};
  if (s && s->DataSize() >= 12) std::memcpy(&v, s->Data().data(), 12);
  return v;
}

}  // namespace

TEST(RRProjectLight, NewLayoutsLightTheSourcesAndClosingRemovesThem) {
  TRRScriptedUIService ui;
  gx::TGXFileSystem fs;
  gx::TGXEffectParameterManager parameters;
  gx::TGXNullRenderDevice device;
  const int base = parameters.SourceCount();
  TRRProjectServices s;
  s.UI = &ui;
  s.FileSystem = &fs;
  s.EffectParameters = &parameters;
  s.PlanarReflectionQuality = 3;
  s.EnvironmentQuality = 0;
  s.CreateReflectionDevice = [&] { return std::make_unique<TRRNullReflectionDevice>(device, parameters); };
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("velmora-light-" + std::to_string(getpid()) + ".vmp");

  {
    TRRProject project(s);
    ASSERT_TRUE(project.NewProject({}));
    TRRLight* light = project.Light();
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->Name(), RRNameLight);
    ASSERT_EQ(light->PresetCount(), 2);
    EXPECT_EQ(light->Preset(0).Name.GetText(), RRNameLightDay);
    EXPECT_EQ(light->Preset(1).Name.GetText(), RRNameLightNight);
    EXPECT_EQ(parameters.SourceCount(), base + 6);
    const gx::TGXVector3 diffuse = Source3(parameters, RRSourceLightDiffuse);
    EXPECT_FLOAT_EQ(diffuse.x, 1.0f);
    const gx::TGXVector3 position = Source3(parameters, RRSourceLightPosition);
    EXPECT_FLOAT_EQ(position.x, -300.0f);
    EXPECT_FLOAT_EQ(position.y, 300.0f);

    ASSERT_NE(project.ReflectionManager(), nullptr);
    EXPECT_EQ(project.ReflectionManager()->PlanarQuality(), 3);
    EXPECT_FALSE(project.ReflectionManager()->EnvironmentMapsEnabled());
    ASSERT_NE(TRRModelServices::Get(), nullptr);
    EXPECT_EQ(TRRModelServices::Get()->Reflections, project.Reflections());
    EXPECT_EQ(TRRModelServices::Get()->EffectParameters, &parameters);

    // The light refuses deletion; the night survives saving and loading.
    std::string reason;
    EXPECT_FALSE(light->CanDelete(reason));
    light->ApplyPreset(1);
    ASSERT_TRUE(project.SaveProject(file.string()));
    ASSERT_TRUE(project.LoadProject(file.string(), false));
    ASSERT_NE(project.Light(), nullptr);
    EXPECT_EQ(project.Light()->ActiveIndex(), 1);
    EXPECT_FLOAT_EQ(Source3(parameters, RRSourceSceneAmbient).x, 0.1f);

    project.CloseProject();
    EXPECT_EQ(parameters.SourceCount(), base);
    EXPECT_EQ(project.ReflectionManager(), nullptr);
    // The next layout adds them again.
    ASSERT_TRUE(project.NewProject({}));
    EXPECT_EQ(parameters.SourceCount(), base + 6);
  }
  EXPECT_EQ(parameters.SourceCount(), base);
  std::filesystem::remove(file);
}
