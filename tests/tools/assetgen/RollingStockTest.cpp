// The rolling stock as the build generated it into its "Data" folder: every vehicle model read
// back from the catalogue package keeps the named parts the vehicle code looks for, stands on
// the rails at H0 size with its buffers as its ends; the cab swings its controller; the running
// sounds are seamless 16-bit loops; the sample layout's train stands coupled on plain track.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/RRBareProjectHost.h"
#include "app/RRDatabase.h"
#include "app/RREntityManager.h"
#include "app/RRProjectSerializer.h"
#include "app/entities/RRTrackVehicle.h"
#include "app/entities/track/RRTrack.h"
#include "app/entities/track/RRTrackParameters.h"
#include "engine/core/GXFileSystem.h"
#include "engine/render/GXModelReader.h"
#include "tests/tools/assetgen/SampleLayoutSupport.h"
#include "tools/assetgen/Buildings.h"
#include "tools/assetgen/ModelCatalogue.h"
#include "tools/assetgen/RollingStock.h"
#include "tools/assetgen/RollingStockCatalogue.h"
#include "tools/assetgen/RunningSounds.h"
#include "tools/assetgen/SampleTrain.h"
#include "tools/assetgen/VehicleTextures.h"

namespace {

using namespace rr;
using gx::TGXVector3;

// ---- model inspection ----

struct TPart {
  std::string Name;
  int Parent = -1;
  gx::TGXMatrix World;
  bool Cone = false;  // the node or an ancestor is a light cone
  TGXVector3 Min{1e9f, 1e9f, 1e9f}, Max{-1e9f, -1e9f, -1e9f};  // its own mesh in model space
  std::vector<TGXVector3> Points;                             // its own vertices in model space
};

std::vector<TPart> Parts(const gx::TGXModelData& model) {
  std::vector<TPart> parts(model.Nodes.size());
  for (size_t i = 0; i < model.Nodes.size(); ++i) {
    const gx::TGXModelNode& n = model.Nodes[i];
    TPart& p = parts[i];
    p.Name = n.Name;
    p.Parent = n.Parent;
    p.World = gx::GXMatrixTransformation(n.Scale, n.Rotation, n.Position);
    if (n.Parent >= 0) p.World = p.World * parts[size_t(n.Parent)].World;
    p.Cone = n.Name.rfind("lk", 0) == 0 || (n.Parent >= 0 && parts[size_t(n.Parent)].Cone);
    for (uint32_t m : n.Meshes)
      for (const gx::TGXModelVertex& v : model.Meshes.at(m).Vertices) {
        const TGXVector3 q = gx::GXVec3TransformCoord(v.Position, p.World);
        p.Points.push_back(q);
        p.Min = gx::GXVec3Minimize(p.Min, q);
        p.Max = gx::GXVec3Maximize(p.Max, q);
      }
  }
  return parts;
}

std::string FilePart(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

bool Unrotated(const gx::TGXModelNode& n) {
  return std::fabs(n.Rotation.x) < 1e-6f && std::fabs(n.Rotation.y) < 1e-6f && std::fabs(n.Rotation.z) < 1e-6f;
}

const gx::TGXModelNode* Node(const gx::TGXModelData& m, const std::string& name) {
  for (const gx::TGXModelNode& n : m.Nodes)
    if (n.Name == name) return &n;
  return nullptr;
}

class TRollingStock : public ::testing::Test {
 protected:
  void SetUp() override {
    FFileSystem.SetRoot("Game", VELMORA_CLI_DATA_DIR);
    FDatabase = std::make_unique<TRRDatabase>(FFileSystem, std::vector<TRRAssetPath>{});
    ASSERT_TRUE(FDatabase->FindAsset(gx::TGXGuid::Parse(RRBasePackage1)));
  }
  std::vector<uint8_t> Bytes(const std::string& virtualPath) { return FFileSystem.OpenFile(virtualPath)->Data(); }
  gx::TGXModelData Read(const TRRModelFileName& file) {
    const std::vector<uint8_t> bytes = Bytes(file.Model.EffectiveFileName());
    return gx::GXReadModel(bytes.data(), bytes.size());
  }
  const TRRTrackVehicleDesc* Entry(const std::string& path) {
    TRREntityDescriptionList found(false);
    FDatabase->CollectCatalogByAsset(assetgen::ModelAssetID(path), found);
    return found.Count() == 1 ? dynamic_cast<const TRRTrackVehicleDesc*>(found.Item(0)) : nullptr;
  }

  gx::TGXFileSystem FFileSystem;
  std::unique_ptr<TRRDatabase> FDatabase;
};

struct TExpectedVehicle {
  const char* Path;
  bool Engine;
  int Wheelsets;
  int Cones;
  float MinLength, MaxLength;
  float MinHeight, MaxHeight;
  bool BogiesCarryAllWheels;  // every wheelset is a child of "Rad0" or "Rad1"
};

const TExpectedVehicle kVehicles[] = {
    {"Rollmaterial\\Lokomotiven\\Dampflok Falke mit Schlepptender", true, 8, 2, 18, 22.5f, 4.5f, 5.5f, false},
    {"Rollmaterial\\Lokomotiven\\Diesellok Dachs", true, 4, 2, 18, 22, 4.5f, 5.5f, true},
    {"Rollmaterial\\Lokomotiven\\Elektrolok Sperber", true, 4, 3, 18, 22, 6.0f, 7.0f, true},
    {"Rollmaterial\\Wagen\\Personenwagen 2. Klasse", false, 4, 0, 24, 27, 4.3f, 5.0f, true},
    {"Rollmaterial\\Wagen\\Gedeckter Güterwagen", false, 2, 0, 12, 16, 4.0f, 5.0f, true},
    {"Rollmaterial\\Wagen\\Offener Güterwagen mit Kohle", false, 2, 0, 12, 16, 3.0f, 4.0f, true},
    {"Rollmaterial\\Wagen\\Kesselwagen", false, 2, 0, 12, 16, 4.0f, 5.0f, true},
};

TEST_F(TRollingStock, EveryVehicleHasItsNamedPartsAndStandsOnTheRailsWithinItsBuffers) {
  const std::string catalogueID = std::string(RRBasePackage1) + "\\";
  std::set<std::string> sounds;
  int cabs = 0;
  for (const TExpectedVehicle& e : kVehicles) {
    SCOPED_TRACE(e.Path);
    const TRRTrackVehicleDesc* d = Entry(e.Path);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->CataloguePath(), e.Path);
    EXPECT_EQ(d->ForwardAxis, 1);
    EXPECT_EQ(d->HasEngine, e.Engine);
    EXPECT_TRUE(d->ChangeDirection && d->UnlockSwitches && d->AutomaticScaling);
    EXPECT_EQ(d->CADType(), assetgen::RollingStockCadType);
    // The model and its textures come from the catalogue package under their SDK names.
    EXPECT_EQ(d->ModelFile().Model.FileName.rfind(assetgen::ModelSourceFolder, 0), 0u);
    EXPECT_EQ(d->ModelFile().Model.RelativeName.rfind(catalogueID, 0), 0u);
    for (const TRRAssetFileName& c : d->ModelFile().Companions) EXPECT_EQ(c.RelativeName.rfind(catalogueID, 0), 0u);
    // Locomotives sound (each its own file, in the package); one of them carries the cab.
    if (e.Engine) {
      EXPECT_TRUE(d->SoundEnabled);
      EXPECT_EQ(d->Sound.RelativeName.rfind(catalogueID, 0), 0u) << d->Sound.RelativeName;
      EXPECT_EQ(d->Sound.FileName.rfind(assetgen::SoundSourceFolder, 0), 0u) << d->Sound.FileName;
      sounds.insert(d->Sound.RelativeName);
      EXPECT_GT(d->TargetSpeed, 0);
    } else {
      EXPECT_TRUE(d->Sound.IsEmpty());
      EXPECT_TRUE(d->CockpitModel.Model.IsEmpty());
    }
    cabs += !d->CockpitModel.Model.IsEmpty();

    const gx::TGXModelData model = Read(d->ModelFile());
    const std::vector<TPart> parts = Parts(model);
    // Bogies: at rail-top height, unrotated, front one ahead.
    const gx::TGXModelNode* front = Node(model, "Rad0");
    const gx::TGXModelNode* rear = Node(model, "Rad1");
    ASSERT_TRUE(front && rear);
    for (const gx::TGXModelNode* b : {front, rear}) {
      EXPECT_EQ(b->Parent, -1);
      EXPECT_NEAR(b->Position.y, 0, 1e-5f);
      EXPECT_NEAR(b->Position.x, 0, 1e-5f);
      EXPECT_TRUE(Unrotated(*b));
    }
    EXPECT_GT(front->Position.z, rear->Position.z + 5);
    // Wheelsets: unrotated, on their axle (the x axis through the origin), wheels touching the
    // rail top, children of their bogie.
    int wheelsets = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (parts[i].Name.rfind("radanim", 0) != 0) continue;
      SCOPED_TRACE(parts[i].Name);
      ++wheelsets;
      EXPECT_TRUE(Unrotated(model.Nodes[i]));
      const TGXVector3 axle = gx::GXVec3TransformCoord({0, 0, 0}, parts[i].World);
      EXPECT_NEAR(parts[i].Min.y, 0, 1e-3f);
      EXPECT_NEAR(axle.y - parts[i].Min.y, parts[i].Max.y - axle.y, 1e-3f);
      EXPECT_NEAR(axle.z - parts[i].Min.z, parts[i].Max.z - axle.z, 1e-3f);
      EXPECT_NEAR(parts[i].Max.x, -parts[i].Min.x, 1e-3f);
      EXPECT_NEAR(parts[i].Max.x - parts[i].Min.x, 2 * 0.95f, 0.02f);  // wheel treads on the rails
      const std::string parent = model.Nodes[i].Parent >= 0 ? parts[size_t(model.Nodes[i].Parent)].Name : "";
      if (e.BogiesCarryAllWheels) {
        EXPECT_TRUE(parent == "Rad0" || parent == "Rad1") << parent;
      }
    }
    EXPECT_EQ(wheelsets, e.Wheelsets);

    // Size and footing: everything at or above the rail top, the body without the cones at H0
    // size, centred across the track, its ends the buffer heads.
    TGXVector3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
    int cones = 0;
    for (const TPart& p : parts) {
      if (p.Points.empty()) continue;
      EXPECT_GT(p.Min.y, -1e-3f) << p.Name;
      if (p.Cone) continue;
      lo = gx::GXVec3Minimize(lo, p.Min), hi = gx::GXVec3Maximize(hi, p.Max);
    }
    EXPECT_NEAR(lo.y, 0, 1e-3f);
    EXPECT_LE(hi.y, e.MaxHeight);
    EXPECT_GE(hi.y, e.MinHeight);
    EXPECT_GE(hi.z - lo.z, e.MinLength);
    EXPECT_LE(hi.z - lo.z, e.MaxLength);
    EXPECT_LE(hi.x - lo.x, 3.6f);
    EXPECT_NEAR(lo.x + hi.x, 0, 0.1f);  // centred, up to a ladder on one side
    for (const TPart& p : parts)
      for (const TGXVector3& q : p.Points) {
        if (p.Cone || (q.z < hi.z - 0.1f && q.z > lo.z + 0.1f)) continue;
        // Within the last millimetre only the buffer heads (discs round the buffer centres).
        const float dx = std::fabs(q.x) - 0.95f, dy = q.y - 1.2f;
        EXPECT_LE(std::sqrt(dx * dx + dy * dy), 0.33f) << p.Name << " at " << q.x << "," << q.y << "," << q.z;
      }
    // Light cones: forward from the front lamps, in front of the buffers, down to the rails.
    for (const TPart& p : parts)
      if (p.Cone && p.Name.rfind("lk", 0) == 0) {
        ++cones;
        ASSERT_FALSE(p.Points.empty()) << p.Name;
        EXPECT_GT(p.Max.z, hi.z + 3) << p.Name;
        EXPECT_GT(p.Min.z, 0) << p.Name;
      }
    EXPECT_EQ(cones, e.Cones);
    // The span the vehicle code finds: pivot between the bogies, couplers at the buffers.
    const assetgen::TVehicleSpan span = assetgen::VehicleSpan(model);
    EXPECT_NEAR(span.Pivot, (front->Position.z + rear->Position.z) / 2, 1e-4f);
    EXPECT_NEAR(span.Pivot + span.Front, hi.z, 1e-4f);
    EXPECT_NEAR(span.Pivot - span.Rear, lo.z, 1e-4f);
    // Textures are the vehicle textures or colours.
    for (const std::string& t : assetgen::ModelTextures(model)) {
      const auto& known = assetgen::VehicleTextures();
      EXPECT_TRUE(std::any_of(known.begin(), known.end(), [&](const assetgen::TTextureInfo& i) { return i.FileName == t; }))
          << t;
    }
  }
  EXPECT_EQ(sounds.size(), 3u);
  EXPECT_EQ(cabs, 1);
}

TEST_F(TRollingStock, TheCabSurroundsTheEyeAndSwingsItsControllerWithTheSpeed) {
  const TRRTrackVehicleDesc* d = Entry("Rollmaterial\\Lokomotiven\\Elektrolok Sperber");
  ASSERT_NE(d, nullptr);
  ASSERT_FALSE(d->CockpitModel.Model.IsEmpty());
  EXPECT_EQ(FilePart(d->CockpitModel.Model.FileName), assetgen::CabModelFile);
  const gx::TGXModelData cab = Read(d->CockpitModel);
  const std::vector<TPart> parts = Parts(cab);
  TGXVector3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
  for (const TPart& p : parts)
    if (!p.Points.empty()) lo = gx::GXVec3Minimize(lo, p.Min), hi = gx::GXVec3Maximize(hi, p.Max);
  // The eye (origin) inside, the front wall well ahead of it, floor and ceiling round it.
  EXPECT_LT(lo.x, -1);
  EXPECT_GT(hi.x, 1);
  EXPECT_LT(lo.y, -1);
  EXPECT_GT(hi.y, 0.5f);
  EXPECT_LT(lo.z, 0);
  EXPECT_GT(hi.z, 1);
  // The controller: 100 frames of 0.04 s, back at 0, upright at 50, forward at 100.
  ASSERT_TRUE(cab.HasAnimation);
  EXPECT_FLOAT_EQ(cab.Animation.SecondsPerFrame, 0.04f);
  EXPECT_EQ(gx::GXModelEndFrame(cab.Animation), 100u);
  const gx::TGXModelTrack* lever = nullptr;
  for (const gx::TGXModelTrack& t : cab.Animation.Tracks)
    if (t.Name == assetgen::CabControlNode) lever = &t;
  ASSERT_NE(lever, nullptr);
  ASSERT_NE(Node(cab, assetgen::CabControlNode), nullptr);
  struct TKey {
    uint32_t Frame;
    float Lean;  // the handle's forward lean (z of its tip over its height)
  };
  for (const TKey& k : {TKey{0, -1}, TKey{50, 0}, TKey{100, 1}}) {
    const gx::TGXModelKey<gx::TGXQuaternion>* key = nullptr;
    for (const auto& r : lever->RotationKeys)
      if (r.Frame == k.Frame) key = &r;
    ASSERT_NE(key, nullptr) << k.Frame;
    const TGXVector3 tip = gx::GXVec3TransformCoord({0, 1, 0}, gx::GXMatrixRotationQuaternion(key->Value));
    EXPECT_GT(tip.y, 0.5f);
    if (k.Lean == 0) {
      EXPECT_NEAR(tip.z, 0, 1e-4f);
    } else {
      EXPECT_GT(tip.z * k.Lean, 0.3f) << k.Frame;
    }
  }
}

// ---- sounds ----

struct TWav {
  uint16_t Format = 0, Channels = 0, Bits = 0, Align = 0;
  uint32_t Rate = 0, ByteRate = 0;
  std::vector<int16_t> Samples;
};

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }

// A RIFF reader of its own: walks the chunks, takes "fmt " and "data".
TWav ParseWav(const std::vector<uint8_t>& b) {
  TWav w;
  EXPECT_GE(b.size(), 44u);
  if (b.size() < 12) return w;
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(U32(b, 4), b.size() - 8);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE");
  for (size_t at = 12; at + 8 <= b.size();) {
    const std::string id(b.begin() + long(at), b.begin() + long(at) + 4);
    const uint32_t size = U32(b, at + 4);
    EXPECT_LE(at + 8 + size, b.size()) << id;
    if (id == "fmt ") {
      EXPECT_EQ(size, 16u);
      w.Format = U16(b, at + 8), w.Channels = U16(b, at + 10), w.Rate = U32(b, at + 12);
      w.ByteRate = U32(b, at + 16), w.Align = U16(b, at + 20), w.Bits = U16(b, at + 22);
    } else if (id == "data") {
      for (size_t i = 0; i + 1 < size; i += 2) w.Samples.push_back(int16_t(U16(b, at + 8 + i)));
    }
    at += 8 + size + (size & 1);
  }
  return w;
}

// Short-time loudness (RMS over windows of n samples).
std::vector<double> Envelope(const std::vector<int16_t>& s, size_t n) {
  std::vector<double> out;
  for (size_t i = 0; i + n <= s.size(); i += n) {
    double sum = 0;
    for (size_t j = i; j < i + n; ++j) sum += double(s[j]) * s[j];
    out.push_back(std::sqrt(sum / double(n)));
  }
  return out;
}

TEST_F(TRollingStock, RunningSoundsAreSeamlessDeterministicSixteenBitLoops) {
  struct TCase {
    const char* File;
    double MinBeat;  // loudest over quietest 10 ms window: beats stand out, a whine stays even
    double MaxBeat;
  };
  const TCase cases[] = {
      {assetgen::SteamSoundFile, 4.0, 1e9},
      {assetgen::DieselSoundFile, 1.1, 6.0},
      {assetgen::ElectricSoundFile, 1.0, 2.0},
  };
  std::set<std::vector<int16_t>> distinct;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    // What the package holds is what the generator makes, every time.
    const TRRTrackVehicleDesc* loco = nullptr;
    for (const TExpectedVehicle& e : kVehicles)
      if (const TRRTrackVehicleDesc* d = Entry(e.Path); d && FilePart(d->Sound.FileName) == c.File)
        loco = d;
    ASSERT_NE(loco, nullptr);
    const std::vector<uint8_t> stored = Bytes(loco->Sound.EffectiveFileName());
    const std::vector<int16_t> samples = assetgen::RunningSoundSamples(c.File);
    EXPECT_EQ(samples, assetgen::RunningSoundSamples(c.File));
    EXPECT_EQ(stored, assetgen::EncodeWav(samples, assetgen::RunningSoundRate));

    const TWav w = ParseWav(stored);
    EXPECT_EQ(w.Format, 1);
    EXPECT_EQ(w.Channels, 1);
    EXPECT_EQ(w.Bits, 16);
    EXPECT_EQ(w.Align, 2);
    EXPECT_EQ(w.Rate, 22050u);
    EXPECT_EQ(w.ByteRate, 44100u);
    ASSERT_EQ(w.Samples, samples);
    const double seconds = double(samples.size()) / w.Rate;
    EXPECT_GE(seconds, 1.0);
    EXPECT_LE(seconds, 3.0);
    // Loud enough, never clipped.
    int peak = 0;
    for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
    EXPECT_GT(peak, 16000);
    EXPECT_LT(peak, 32000);
    // Seamless: the step from the last sample to the first is one the loop makes anyway.
    std::vector<int> steps;
    for (size_t i = 1; i < samples.size(); ++i) steps.push_back(std::abs(int(samples[i]) - int(samples[i - 1])));
    std::sort(steps.begin(), steps.end());
    const int typical = steps[steps.size() * 99 / 100];
    EXPECT_LE(std::abs(int(samples.front()) - int(samples.back())), typical);
    // ... and so is the loudness round the joint (no drop or burst where the loop closes).
    const std::vector<double> env = Envelope(samples, 220);
    const auto [quiet, loud] = std::minmax_element(env.begin(), env.end());
    EXPECT_GE(*loud / std::max(1.0, *quiet), c.MinBeat);
    EXPECT_LE(*loud / std::max(1.0, *quiet), c.MaxBeat);
    distinct.insert(samples);
  }
  EXPECT_EQ(distinct.size(), 3u);
}

TEST(RunningSounds, SteamBeatsFallEveryQuarterTurnAndTheWavHeaderCountsItsBytes) {
  // Eight beats in the loop: the loudness repeats every eighth of it.
  const std::vector<int16_t> steam = assetgen::RunningSoundSamples(assetgen::SteamSoundFile);
  const std::vector<double> env = Envelope(steam, 110);  // 5 ms
  const size_t n = env.size(), lag = n / 8;
  double same = 0, half = 0, mean = 0;
  for (double v : env) mean += v / double(n);
  for (size_t i = 0; i < n; ++i) {
    same += (env[i] - mean) * (env[(i + lag) % n] - mean);
    half += (env[i] - mean) * (env[(i + lag / 2) % n] - mean);
  }
  EXPECT_GT(same, 0);
  EXPECT_GT(same, 2 * half);
  // A tiny file: the sizes follow the samples.
  const std::vector<uint8_t> wav = assetgen::EncodeWav({1, -2, 32767}, 8000);
  ASSERT_EQ(wav.size(), 44u + 6);
  EXPECT_EQ(U32(wav, 40), 6u);
  EXPECT_EQ(U32(wav, 24), 8000u);
  EXPECT_EQ(int16_t(U16(wav, 46)), -2);
  EXPECT_THROW(assetgen::RunningSoundSamples("Unbekannt.wav"), std::invalid_argument);
}

// ---- the sample layout's train ----

TEST_F(TRollingStock, SampleTrainStandsCoupledOnPlainTrackWithASoundingLocomotiveInFront) {
  assetgentest::TSampleLayout sample(FFileSystem, FDatabase.get());
  TRREntityDescriptionList& list = sample.List;
  TRREntityManager& manager = sample.Manager;
  auto& host = sample.Host;
  std::vector<const TRRTrackVehicleDesc*> train;
  std::map<int32_t, TRRTrack*> tracks;
  for (TRREntityDescription* d : list) {
    if (auto* v = dynamic_cast<TRRTrackVehicleDesc*>(d))
      train.push_back(v);
    else if (auto* t = dynamic_cast<TRRTrackDesc*>(d))
      tracks[t->ID()] = static_cast<TRRTrack*>(manager.CreateEntity(nullptr, *d));
  }
  host.Scene.Root()->Update(false);
  ASSERT_EQ(train.size(), 5u);
  // The locomotive leads: sounding, with its cab, at the moderate speed both ways allowed.
  const TRRTrackVehicleDesc& loco = *train[0];
  EXPECT_TRUE(loco.HasEngine);
  EXPECT_TRUE(loco.SoundEnabled);
  EXPECT_FALSE(loco.CockpitModel.Model.IsEmpty());
  EXPECT_FLOAT_EQ(loco.TargetSpeed, assetgen::SampleTrainSpeed);
  EXPECT_FLOAT_EQ(loco.CurrentSpeed, assetgen::SampleTrainSpeed);
  EXPECT_GE(loco.TargetSpeed, 15.0f);
  EXPECT_LE(loco.TargetSpeed, 40.0f);
  for (size_t i = 1; i < train.size(); ++i) EXPECT_FALSE(train[i]->HasEngine);

  // The oval's pieces in order (the first seven are plain); a vehicle's place along them.
  std::vector<TRRTrack*> chain;
  for (const auto& [id, t] : tracks) chain.push_back(t);
  ASSERT_GE(chain.size(), 8u);
  std::vector<float> start{0};
  for (size_t i = 0; i < 7; ++i) start.push_back(start.back() + chain[i]->GetRoute(0)->GetLength());
  auto along = [&](const TRRTrackVehicleDesc& v) {
    for (size_t i = 0; i < 7; ++i)
      if (chain[i]->ID() == v.TrackID) return start[i] + v.RoutePosition;
    ADD_FAILURE() << v.Name().GetText() << " is not on the plain pieces before the turnout";
    return -1e9f;
  };
  float previousRear = 0;
  for (size_t i = 0; i < train.size(); ++i) {
    const TRRTrackVehicleDesc& v = *train[i];
    SCOPED_TRACE(v.Name().GetText());
    ASSERT_TRUE(tracks.count(v.TrackID));
    EXPECT_EQ(tracks[v.TrackID]->GetRouteCount(), 1);
    EXPECT_EQ(v.RouteIndex, 0);
    EXPECT_EQ(v.RouteDirection, 0);
    EXPECT_TRUE(v.ChangeDirection && v.UnlockSwitches);
    EXPECT_GE(v.RoutePosition, 0);
    EXPECT_LE(v.RoutePosition, tracks[v.TrackID]->GetRoute(0)->GetLength());
    const assetgen::TVehicleSpan span = assetgen::VehicleSpan(Read(v.ModelFile()));
    const float pivot = along(v);
    EXPECT_GE(pivot - span.Rear, 0);
    EXPECT_LE(pivot + span.Front, start[7]);
    // Each touches the one ahead: the buffers' gap along the track under the coupling distance.
    if (i > 0) {
      const float gap = previousRear - (pivot + span.Front);
      EXPECT_GE(gap, 0);
      EXPECT_LT(gap, RRCouplingDistance);
    }
    previousRear = pivot - span.Rear;
  }
}

}  // namespace
