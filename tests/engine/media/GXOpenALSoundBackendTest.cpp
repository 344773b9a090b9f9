#include <gtest/gtest.h>

#include <cmath>

#include "engine/media/GXMediaCore.h"
#include "engine/media/GXOpenALSoundBackend.h"
#include "tests/engine/media/MediaTestSupport.h"

using namespace gx;

namespace {

using mediatest::TBytesLoader;

// Half a second of a 440 Hz tone, 16-bit stereo.
std::vector<uint8_t> Tone() {
  std::vector<uint8_t> samples;
  for (int i = 0; i < 11025; ++i) {
    const auto v = static_cast<int16_t>(8000 * std::sin(i * 2 * M_PI * 440 / 22050));
    for (int channel = 0; channel < 2; ++channel)
      samples.insert(samples.end(), {uint8_t(v), uint8_t(v >> 8)});
  }
  return GXWriteWAV({2, 16, 22050}, samples);
}

}  // namespace

// Runs with ALSOFT_DRIVERS=null (set by the test registration): OpenAL mixes into its null output.
TEST(GXOpenALSoundBackend, PlaysAGeneratedLoopOnTheDefaultDeviceAndClosesWithALiveSound) {
  TGXResourceManager manager;
  TGXMediaCore core(nullptr, &manager);
  if (core.Adapters().empty()) GTEST_SKIP() << "OpenAL lists no output device";
  EXPECT_FALSE(core.Adapters()[0].Identifier.has_value());
  EXPECT_FALSE(core.Adapters()[0].Description.empty());
  try {
    core.OpenSoundDevice();
  } catch (const EDirectSound& e) {
    GTEST_SKIP() << "no device opens: " << e.what();
  }
  auto load = [&] {
    IGXSound s = manager.Get<TGXSound>("Ton.wav", true);
    s->SetDataLoader(MakeRef<TBytesLoader>(Tone()));
    s->Load();
    return s;
  };
  IGXSound a = load(), b = load();
  auto* wa = dynamic_cast<TGXWAVFile*>(a->SoundFile());
  auto* wb = dynamic_cast<TGXWAVFile*>(b->SoundFile());
  ASSERT_TRUE(wa && wb) << a->SilenceReason();
  EXPECT_EQ(wa->Buffer(), wb->Buffer());
  EXPECT_NE(wa->Source(), wb->Source());

  IGXSoundBackend& al = core.Backend();
  a->SetVolume(50);
  a->Play();
  EXPECT_TRUE(a->IsPlaying());
  EXPECT_TRUE(al.SourceState(wa->Source()).Playing);
  EXPECT_FALSE(al.SourceState(wb->Source()).Playing);
  a->Pause();
  EXPECT_FALSE(al.SourceState(wa->Source()).Playing);
  a->Play();
  a->Stop();
  EXPECT_EQ(al.SourceState(wa->Source()).Offset, 0);
  a->Play();

  core.CloseSoundDevice();
  EXPECT_FALSE(al.DeviceOpen());
  EXPECT_FALSE(a->IsPlaying());
  EXPECT_EQ(a->SoundFile(), nullptr);
  a->Play();
}

TEST(GXOpenALSoundBackend, ADeviceThatDoesNotExistFailsToOpen) {
  TGXResourceManager manager;
  TGXMediaCore core(nullptr, &manager);
  const TGXSoundAdapter missing{"Kein solches Gerät", "fehlt"};
  try {
    core.OpenSoundDevice(&missing);
    ADD_FAILURE() << "opened";
  } catch (const EDirectSound& e) {
    ASSERT_EQ(e.Args().size(), 4u);
    EXPECT_EQ(e.Args()[2].Text(), "DirectSoundCreate8 failed");
  }
  EXPECT_FALSE(core.DeviceOpen());
  EXPECT_FALSE(core.Backend().DeviceOpen());
}
