#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "engine/core/GXEngine.h"
#include "engine/media/GXMediaCore.h"
#include "engine/media/GXRecordingSoundBackend.h"
#include "engine/media/GXSound.h"
#include "tests/engine/media/MediaTestSupport.h"

using namespace gx;

namespace {

using TBytes = std::vector<uint8_t>;
using Op = TGXSoundOperation;

using mediatest::TBytesLoader;

TBytes Loop(uint16_t channels = 2, size_t frames = 64) {
  TBytes samples(frames * channels * 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7);
  return GXWriteWAV({channels, 16, 22050}, samples);
}

// Files as other programs write them, byte for byte.
const TBytes kMono8 = {  // 8-bit mono, 11025 Hz, with a "fact" chunk before the data
    'R', 'I', 'F', 'F', 0x36, 0,   0,   0,   'W',  'A',  'V',  'E',  'f',  'm',  't', ' ',
    16,  0,   0,   0,   1,    0,   1,   0,   0x11, 0x2B, 0,    0,    0x11, 0x2B, 0,   0,
    1,   0,   8,   0,   'f',  'a', 'c', 't', 4,    0,    0,    0,    6,    0,    0,   0,
    'd', 'a', 't', 'a', 6,    0,   0,   0,   0x80, 0xC0, 0xFF, 0xC0, 0x80, 0x40};
const TBytes kStereo16List = {  // 16-bit stereo, 44100 Hz, an odd LIST/INFO chunk after the data
    'R', 'I', 'F', 'F', 0x48, 0,    0,   0,    'W',  'A',  'V', 'E',  'f', 'm',  't', ' ', 18,  0,   0,   0,
    1,   0,   2,   0,   0x44, 0xAC, 0,   0,    0x10, 0xB1, 2,   0,    4,   0,    16,  0,   0,   0,   'd', 'a',
    't', 'a', 8,   0,   0,    0,    0,   0x10, 0,    0xF0, 0,   0x20, 0,   0xE0, 'L', 'I', 'S', 'T', 17,  0,
    0,   0,   'I', 'N', 'F',  'O',  'I', 'S',  'F',  'T',  5,   0,    0,   0,    'L', 'o', 'k', '1', 0,   0};
const TBytes kExtensible = {  // WAVE_FORMAT_EXTENSIBLE, 16-bit stereo PCM, 48000 Hz
    'R', 'I',  'F',  'F',  0x40, 0,    0,    0,    'W', 'A', 'V', 'E',  'f', 'm', 't',  ' ',  40,   0,
    0,   0,    0xFE, 0xFF, 2,    0,    0x80, 0xBB, 0,   0,   0,   0xEE, 2,   0,   4,    0,    16,   0,
    22,  0,    16,   0,    3,    0,    0,    0,    1,   0,   0,   0,    0,   0,   0x10, 0,    0x80, 0,
    0,   0xAA, 0,    0x38, 0x9B, 0x71, 'd',  'a',  't', 'a', 4,   0,    0,   0,   0x34, 0x12, 0xCC, 0xED};

class GXSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<TGXRecordingSoundBackend>();
    Fake = backend.get();
    Core = std::make_unique<TGXMediaCore>(std::move(backend), &Manager);
    Core->OpenSoundDevice();
  }
  void TearDown() override {
    Core->CloseSoundDevice();
    EXPECT_TRUE(Fake->Violations().empty()) << ::testing::PrintToString(Fake->Violations()) << Fake->Log();
  }

  IGXSound Load(const std::string& name, TBytes bytes, bool unique = true) {
    IGXSound s = Manager.Get<TGXSound>(name, unique);
    if (s->IsUnloaded()) {
      s->SetDataLoader(MakeRef<TBytesLoader>(std::move(bytes)));
      s->Load();
    }
    return s;
  }
  TGXWAVFile* Wav(const IGXSound& s) { return dynamic_cast<TGXWAVFile*>(s->SoundFile()); }
  const TGXRecordingSoundBackend::TSource* Source(const IGXSound& s) {
    return Fake->Source(Wav(s)->Source());
  }

  TGXResourceManager Manager;
  TGXRecordingSoundBackend* Fake = nullptr;
  std::unique_ptr<TGXMediaCore> Core;
};

}  // namespace

TEST(GXSoundVolume, ClampLevelAndGainFollowTheRule) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  struct {
    float In, Stored;
    int Level;
    double Gain;
  } rows[] = {
      {150, 100, -78, 0.9141132414702502},
      {100, 100, -78, 0.9141132414702502},
      {99.9f, 99.9f, -80, 0.9120108393559098},
      {75, 75, -690, 0.4518559443749224},
      {50, 50, -1547, 0.1684612426774051},
      {25, 25, -2996, 0.031768740706497704},
      {1, 1, -8510, 5.559042572704037e-05},
      {0, 0, -10000, 0},
      {-5, 0, -10000, 0},
      {nan, 0, -10000, 0},
      {inf, 100, -78, 0.9141132414702502},
      {-inf, 0, -10000, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.In);
    EXPECT_EQ(GXClampSoundVolume(r.In), r.Stored);
    EXPECT_EQ(GXSoundVolumeLevel(r.In), r.Level);
    EXPECT_NEAR(GXSoundLevelGain(r.Level), r.Gain, 1e-6 * r.Gain);
  }
  EXPECT_EQ(GXSoundLevelGain(0), 1.0f);
}

TEST_F(GXSoundTest, SetVolumeStoresTheClampedValueAndGivesTheDeviceTheGainOnlyOnChange) {
  IGXSound s = Load("Lok.wav", Loop());
  struct {
    float In, Stored;
    int Level;
    bool Call;
  } steps[] = {
      {150, 100, -78, true},
      {100, 100, -78, false},
      {50, 50, -1547, true},
      {50.0001f, 50.0001f, -1547, false},
      {50.1f, 50.1f, -1543, true},
      {-5, 0, -10000, true},
      {std::nanf(""), 0, -10000, false},
  };
  for (const auto& st : steps) {
    SCOPED_TRACE(st.In);
    Fake->ClearCalls();
    s->SetVolume(st.In);
    EXPECT_EQ(s->GetVolume(), st.Stored);
    EXPECT_EQ(Wav(s)->VolumeLevel(), st.Level);
    EXPECT_EQ(Fake->Count(Op::SetGain), st.Call ? 1 : 0) << Fake->Log();
    EXPECT_FLOAT_EQ(Source(s)->Gain, GXSoundLevelGain(st.Level));
  }
  EXPECT_EQ(Source(s)->Gain, 0.0f);
}

TEST_F(GXSoundTest, PlayStartsOncePauseKeepsThePositionStopRewinds) {
  IGXSound s = Load("Lok.wav", Loop());
  EXPECT_FALSE(s->IsPlaying());
  s->Play();
  s->Play();
  EXPECT_TRUE(s->IsPlaying());
  EXPECT_EQ(Fake->Count(Op::Play), 1);
  Fake->Advance(100);
  s->Pause();
  s->Pause();
  EXPECT_FALSE(s->IsPlaying());
  EXPECT_EQ(Fake->Count(Op::Pause), 1);
  Fake->Advance(40);  // paused: stays
  s->Play();
  EXPECT_EQ(Source(s)->Offset, 100);
  EXPECT_TRUE(Source(s)->Playing);
  s->Stop();
  s->Stop();  // a vehicle out of earshot stops every frame
  EXPECT_EQ(Fake->Count(Op::Stop), 1);
  EXPECT_EQ(Source(s)->Offset, 0);
  EXPECT_FALSE(s->IsPlaying());

  // Playing only once the device started it; the next frame tries again.
  Fake->FailOn(Op::Play);
  s->Play();
  EXPECT_FALSE(s->IsPlaying());
  Fake->NoFail(Op::Play);
  s->Play();
  EXPECT_TRUE(s->IsPlaying());
}

TEST_F(GXSoundTest, FilesThatAreNoPlayableWAVLoadSilent) {
  struct {
    const char* Name;
    TBytes Bytes;
    const char* Reason;
  } rows[] = {
      {"empty", {}, "Invalid file"},
      {"text", {'h', 'a', 'l', 'l', 'o', '\n'}, "Invalid file"},
      {"ogg", {'O', 'g', 'g', 'S', 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}, "Invalid file"},
      {"short data",
       [] {
         TBytes b = Loop();
         b.resize(b.size() - 10);
         return b;
       }(),
       "Invalid file"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Name);
    IGXSound s = Load(r.Name, r.Bytes);
    Fake->ClearCalls();
    EXPECT_TRUE(s->IsLoaded());
    EXPECT_EQ(s->SoundFile(), nullptr);
    EXPECT_NE(s->SilenceReason().find(r.Reason), std::string::npos) << s->SilenceReason();
    s->Play();
    s->SetVolume(120);
    s->Pause();
    s->Stop();
    EXPECT_FALSE(s->IsPlaying());
    EXPECT_EQ(s->GetVolume(), 100);
    EXPECT_EQ(Fake->CallCount(), 0) << Fake->Log();
  }
}

TEST_F(GXSoundTest, FilesWrittenByOtherProgramsPlay) {
  struct {
    const char* Name;
    const TBytes& Bytes;
    TGXPCMFormat Format;
    size_t Size;
  } rows[] = {{"mono8", kMono8, {1, 8, 11025}, 6},
              {"stereo16", kStereo16List, {2, 16, 44100}, 8},
              {"extensible", kExtensible, {2, 16, 48000}, 4}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Name);
    IGXSound s = Load(r.Name, r.Bytes);
    ASSERT_NE(Wav(s), nullptr) << s->SilenceReason();
    const auto& buffer = Fake->Buffers().at(Wav(s)->Buffer());
    EXPECT_EQ(buffer.Format, r.Format);
    EXPECT_EQ(buffer.Data.size(), r.Size);
    s->Play();
    EXPECT_TRUE(s->IsPlaying());
  }
}

TEST_F(GXSoundTest, UniqueSoundsOfOneFileShareTheBufferButNothingElse) {
  IGXSound a = Load("Dampf.wav", Loop());
  IGXSound b = Load("Dampf.wav", Loop());
  IGXSound other = Load("Diesel.wav", Loop(1));
  ASSERT_NE(a, b);
  EXPECT_EQ(Wav(a)->Buffer(), Wav(b)->Buffer());
  EXPECT_NE(Wav(a)->Source(), Wav(b)->Source());
  EXPECT_NE(Wav(a)->Buffer(), Wav(other)->Buffer());
  EXPECT_EQ(Fake->Count(Op::CreateBuffer), 2);
  a->SetVolume(100);
  a->Play();
  b->SetVolume(25);
  EXPECT_TRUE(a->IsPlaying());
  EXPECT_FALSE(b->IsPlaying());
  EXPECT_NE(Source(a)->Gain, Source(b)->Gain);
  // A shared request answers the same sound.
  IGXSound shared = Load("Elektro.wav", Loop(), false);
  EXPECT_EQ(shared, Load("Elektro.wav", Loop(), false));
  // The buffer lives while one of its sounds does.
  a.Reset();
  EXPECT_EQ(Fake->Buffers().size(), 3u);
  b.Reset();
  EXPECT_EQ(Fake->Buffers().size(), 2u);
  EXPECT_EQ(Core->SoundFactory()->SoundCount(), 2);
}

TEST_F(GXSoundTest, DeviceFailuresWhileLoadingLeaveASilentSoundAndNothingAllocated) {
  struct {
    Op Failing;
    const char* Reason;
  } rows[] = {{Op::CreateBuffer, "CreateSoundBuffer failed"},
              {Op::FillBuffer, "Lock failed"},
              {Op::CreateSource, "No free source"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Reason);
    Fake->FailOn(r.Failing, 0xA005);
    IGXSound s = Load("Lok.wav", Loop());
    Fake->NoFail(r.Failing);
    EXPECT_TRUE(s->IsLoaded());
    EXPECT_EQ(s->SoundFile(), nullptr);
    EXPECT_NE(s->SilenceReason().find(r.Reason), std::string::npos) << s->SilenceReason();
    EXPECT_TRUE(Fake->Buffers().empty());
    EXPECT_TRUE(Fake->Sources().empty());
  }
}

TEST_F(GXSoundTest, WithoutAFreeSourceASoundIsSilentAndCostsNothingPerFrame) {
  Fake->SetSourceLimit(1);
  IGXSound first = Load("Lok.wav", Loop());
  IGXSound second = Load("Lok.wav", Loop());
  ASSERT_NE(first->SoundFile(), nullptr);
  EXPECT_EQ(second->SoundFile(), nullptr);
  Fake->ClearCalls();
  for (int frame = 0; frame < 10; ++frame) {
    second->SetVolume(80);
    EXPECT_NO_THROW(second->Play());
  }
  EXPECT_FALSE(second->IsPlaying());
  EXPECT_EQ(Fake->CallCount(), 0);
}

TEST_F(GXSoundTest, ClosingTheDeviceSilencesLiveSoundsAndFreesTheirObjectsFirst) {
  IGXSound playing = Load("Lok.wav", Loop());
  IGXSound paused = Load("Lok.wav", Loop());
  IGXSound unloaded = Manager.Get<TGXSound>("Später.wav", true);
  playing->Play();
  paused->Play();
  paused->Pause();
  Fake->ClearCalls();
  Core->CloseSoundDevice();
  // Objects go before the device, and the fake saw no misuse (TearDown checks).
  EXPECT_EQ(Fake->Calls().back().Op, Op::CloseDevice);
  EXPECT_EQ(Fake->Count(Op::DeleteSource), 2);
  EXPECT_EQ(Fake->Count(Op::DeleteBuffer), 1);
  EXPECT_FALSE(Fake->DeviceOpen());
  EXPECT_FALSE(Core->DeviceOpen());
  EXPECT_THROW(Manager.Get<TGXSound>("Lok.wav"), EGXNoResourceFactory);
  Fake->ClearCalls();
  for (const IGXSound& s : {playing, paused}) {
    EXPECT_FALSE(s->IsPlaying());
    EXPECT_EQ(s->SoundFile(), nullptr);
    s->SetVolume(50);
    s->Play();
    s->Stop();
    EXPECT_FALSE(s->IsPlaying());
    EXPECT_EQ(s->GetVolume(), 50);
  }
  unloaded->SetDataLoader(MakeRef<TBytesLoader>(Loop()));
  unloaded->Load();
  EXPECT_TRUE(unloaded->IsLoaded());
  EXPECT_EQ(unloaded->SoundFile(), nullptr);
  EXPECT_EQ(Fake->CallCount(), 0);
  Core->CloseSoundDevice();  // harmless twice
  // The device opens again for the next project.
  Core->OpenSoundDevice();
  EXPECT_NE(Load("Lok.wav", Loop())->SoundFile(), nullptr);
}

TEST_F(GXSoundTest, DestroyingTheMediaCoreWithALiveSoundIsSafe) {
  IGXSound s = Load("Lok.wav", Loop());
  s->Play();
  Core.reset();
  EXPECT_FALSE(s->IsPlaying());
  s->Play();
  s.Reset();
  // TearDown needs a core; the new one has its own fake.
  SetUp();
}

TEST(GXMediaCore, AdaptersListTheDefaultDeviceFirstAndOpenTheChosenOne) {
  TGXResourceManager manager;
  auto backend = std::make_unique<TGXRecordingSoundBackend>();
  TGXRecordingSoundBackend* fake = backend.get();
  TGXMediaCore core(std::move(backend), &manager);
  ASSERT_EQ(core.Adapters().size(), 2u);
  EXPECT_FALSE(core.Adapters()[0].Identifier.has_value());
  EXPECT_EQ(core.Adapters()[1].Identifier, "Testgeraet");
  EXPECT_EQ(fake->Count(Op::OpenDevice), 0);  // listing opens nothing
  // Videos are there from the start and load nothing; sounds only with a device.
  IGXVideo video = manager.Get<TGXVideo>("Film.avi");
  video->Load();
  EXPECT_TRUE(video->IsLoaded());
  EXPECT_THROW(manager.Get<TGXSound>("Lok.wav"), EGXNoResourceFactory);
  core.OpenSoundDevice(&core.Adapters()[1]);
  EXPECT_EQ(fake->OpenedIdentifier(), "Testgeraet");
  EXPECT_NO_THROW(manager.Get<TGXSound>("Lok.wav"));
  EXPECT_THROW(core.OpenSoundDevice(), EGXAssertion);
  EXPECT_TRUE(core.DeviceOpen());
}

TEST(GXMediaCore, AFailingOpenLeavesNeitherDeviceNorFactory) {
  struct {
    Op Failing;
    const char* Args;
  } rows[] = {{Op::OpenDevice, "TGXMediaCore, CreateSound, DirectSoundCreate8 failed, 40964"},
              {Op::DeviceContext, "TGXMediaCore, CreateSound, SetCooperativeLevel failed, 40964"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Args);
    TGXResourceManager manager;
    auto backend = std::make_unique<TGXRecordingSoundBackend>();
    backend->FailOn(r.Failing, 0xA004);
    TGXRecordingSoundBackend* fake = backend.get();
    TGXMediaCore core(std::move(backend), &manager);
    try {
      core.OpenSoundDevice();
      ADD_FAILURE() << "opened";
    } catch (const EDirectSound& e) {
      EXPECT_EQ(FormatExceptionArgs(e.Args()), r.Args);
    }
    EXPECT_FALSE(core.DeviceOpen());
    EXPECT_FALSE(fake->DeviceOpen());
    EXPECT_EQ(core.SoundFactory(), nullptr);
    EXPECT_EQ(manager.FactoryCount(), 1);  // the video factory alone
    fake->NoFail(r.Failing);
    EXPECT_NO_THROW(core.OpenSoundDevice());
  }
}

TEST(GXMediaCore, NoDevicesMeansNoAdapters) {
  auto backend = std::make_unique<TGXRecordingSoundBackend>();
  backend->FailOn(Op::Enumerate);
  TGXResourceManager manager;
  EXPECT_TRUE(TGXMediaCore(std::move(backend), &manager).Adapters().empty());
}

TEST(GXMediaCore, SoundsLoadThroughTheEngineFileSystem) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/velmora-sound-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const TBytes loop = Loop();
  std::ofstream(dir + "/Lok.wav", std::ios::binary)
      .write(reinterpret_cast<const char*>(loop.data()), loop.size());
  {
    auto engine = TGXEngine::CreateEngine();
    engine->FileSystem().SetRoot("Temp", dir);
    engine->AttachMediaCore(std::make_unique<TGXMediaCore>(std::make_unique<TGXRecordingSoundBackend>()));
    TGXMediaCore* core = GXEngineMediaCore();
    ASSERT_NE(core, nullptr);
    core->OpenSoundDevice();
    IGXSound sound = engine->ResourceManager().Get<TGXSound>("Temp:\\Lok.wav", true);
    sound->Load();
    ASSERT_NE(sound->SoundFile(), nullptr) << sound->SilenceReason();
    sound->Play();
    EXPECT_TRUE(sound->IsPlaying());
    IGXSound missing = engine->ResourceManager().Get<TGXSound>("Temp:\\Fehlt.wav", true);
    EXPECT_ANY_THROW(missing->Load());
    EXPECT_TRUE(missing->IsFailed());
  }
  std::filesystem::remove_all(dir);
}
