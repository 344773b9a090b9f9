// The signals and control elements: each turns its named part through 20 frames from its rest
// pose (closed, off, minimum) as far as its open, on or maximum pose, stands on the ground within
// its 4 x 4 cm in both poses, needs no texture files and keeps its animation in the DirectX text
// form the catalogue stores.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "engine/render/GXModelReader.h"
#include "tools/assetgen/Accessories.h"
#include "tools/assetgen/Buildings.h"

namespace {

using gx::TGXVector3;

struct TExpectedAccessory {
  const char* Name;
  const char* Folder;
  bool Signal;
  uint8_t Kind;        // a control element's kind
  const char* Moving;  // the animated node
  float Turn;          // degrees it turns from frame 0 to frame 20
  float MinHeight, MaxHeight;
};

const TExpectedAccessory kAccessories[] = {
    {"Hauptsignal", "Signale", true, 0, "Fluegel", 45, 6, 9.5f},
    {"Vorsignal", "Signale", true, 0, "Scheibe", 90, 5, 8},
    {"Rangiersignal", "Signale", true, 0, "Schild", 90, 1.5f, 4},
    {"Kippschalter", "Steuerung", false, 1, "Hebel", 60, 1.2f, 4},
    {"Drehregler", "Steuerung", false, 0, "Knopf", 270, 1.2f, 4},
};

// The model-space vertices of every node, with the track's node turned to its key at frame.
std::vector<std::vector<TGXVector3>> Pose(const gx::TGXModelData& model, const gx::TGXModelTrack& track,
                                          uint32_t frame) {
  std::vector<gx::TGXMatrix> world(model.Nodes.size());
  std::vector<std::vector<TGXVector3>> points(model.Nodes.size());
  for (size_t i = 0; i < model.Nodes.size(); ++i) {
    const gx::TGXModelNode& n = model.Nodes[i];
    gx::TGXQuaternion rotation = n.Rotation;
    if (n.Name == track.Name)
      for (const auto& key : track.RotationKeys)
        if (key.Frame == frame) rotation = key.Value;
    world[i] = gx::GXMatrixTransformation(n.Scale, rotation, n.Position);
    if (n.Parent >= 0) world[i] = world[i] * world[size_t(n.Parent)];
    for (uint32_t m : n.Meshes)
      for (const gx::TGXModelVertex& v : model.Meshes.at(m).Vertices)
        points[i].push_back(gx::GXVec3TransformCoord(v.Position, world[i]));
  }
  return points;
}

// The angle a track's rotation keys turn through, key by key (so beyond half a turn as well).
float TurnDegrees(const gx::TGXModelTrack& t) {
  float total = 0;
  for (size_t i = 1; i < t.RotationKeys.size(); ++i) {
    const float d = std::fabs(gx::GXQuaternionDot(t.RotationKeys[i - 1].Value, t.RotationKeys[i].Value));
    total += 2 * std::acos(std::min(1.0f, d));
  }
  return total * 180 / gx::GX_PI;
}

TEST(Accessories, EachTurnsItsPartOverTwentyFramesWithinItsFootprint) {
  const std::vector<assetgen::TAccessoryModel> accessories = assetgen::AccessoryModels();
  ASSERT_EQ(accessories.size(), std::size(kAccessories));
  for (size_t i = 0; i < accessories.size(); ++i) {
    const assetgen::TAccessoryModel& a = accessories[i];
    const TExpectedAccessory& e = kAccessories[i];
    SCOPED_TRACE(e.Name);
    EXPECT_EQ(a.Name, e.Name);
    EXPECT_EQ(a.Folder, e.Folder);
    EXPECT_EQ(a.FileName, std::string(e.Name) + ".x");
    EXPECT_EQ(a.Signal, e.Signal);
    if (!e.Signal) {
      EXPECT_EQ(a.ControllerKind, e.Kind);
    }
    const gx::TGXModelData& m = a.Model;
    for (const gx::TGXModelMesh& mesh : m.Meshes)
      for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes)
        EXPECT_TRUE(gx::GXModelIsColorName(sub.TextureName));

    // One track of 20 frames on a node with a mesh, resting in its frame-0 pose.
    ASSERT_TRUE(m.HasAnimation);
    EXPECT_FLOAT_EQ(m.Animation.SecondsPerFrame, 0.02f);
    EXPECT_EQ(gx::GXModelEndFrame(m.Animation), 20u);
    ASSERT_EQ(m.Animation.Tracks.size(), 1u);
    const gx::TGXModelTrack& track = m.Animation.Tracks[0];
    EXPECT_EQ(track.Name, e.Moving);
    const auto node = std::find_if(m.Nodes.begin(), m.Nodes.end(),
                                   [&](const gx::TGXModelNode& n) { return n.Name == track.Name; });
    ASSERT_NE(node, m.Nodes.end());
    EXPECT_FALSE(node->Meshes.empty());
    ASSERT_FALSE(track.RotationKeys.empty());
    EXPECT_EQ(track.RotationKeys.front().Frame, 0u);
    EXPECT_GT(std::fabs(gx::GXQuaternionDot(node->Rotation, track.RotationKeys.front().Value)), 0.9999f);
    EXPECT_NEAR(TurnDegrees(track), e.Turn, 0.5f);

    // The part visibly moves, and in both poses the model stands on the ground within 4 x 4 cm.
    const size_t moving = size_t(node - m.Nodes.begin());
    const auto closed = Pose(m, track, 0), open = Pose(m, track, 20);
    float moved = 0;
    for (size_t v = 0; v < closed[moving].size(); ++v)
      moved = std::max(moved, gx::GXVec3Length(open[moving][v] - closed[moving][v]));
    EXPECT_GT(moved, 0.3f);
    for (const auto* pose : {&closed, &open}) {
      TGXVector3 lo{1e9f, 1e9f, 1e9f}, hi{-1e9f, -1e9f, -1e9f};
      for (const auto& part : *pose)
        for (const TGXVector3& p : part) lo = gx::GXVec3Minimize(lo, p), hi = gx::GXVec3Maximize(hi, p);
      EXPECT_NEAR(lo.y, 0, 1e-3f);
      EXPECT_GE(hi.y, e.MinHeight);
      EXPECT_LE(hi.y, e.MaxHeight);
      EXPECT_GE(std::min(lo.x, lo.z), -2.05f);
      EXPECT_LE(std::max(hi.x, hi.z), 2.05f);
    }

    // The catalogue stores the DirectX text form; the animation reads back from it.
    const std::vector<uint8_t> bytes = assetgen::ModelFileBytes(m, assetgen::TModelFileForm::XText);
    const gx::TGXModelData back = gx::GXReadModel(bytes.data(), bytes.size());
    EXPECT_EQ(gx::GXModelEndFrame(back.Animation), 20u);
    EXPECT_NEAR(back.Animation.SecondsPerFrame, 0.02f, 1e-6f);
    EXPECT_TRUE(std::any_of(back.Animation.Tracks.begin(), back.Animation.Tracks.end(),
                            [&](const gx::TGXModelTrack& t) { return t.Name == e.Moving; }));
  }
}

}  // namespace
