#pragma once
// What a model file holds, read without a render device: the node tree, the meshes in the
// standard 32-byte vertex layout with their sub-meshes and texture names, and the optional
// animation. The readers (GXModelReader.h) do every computation that depends on the file format
// (axis swap, normals, vertex splitting, grouping by material); building meshes, scene nodes,
// entities and the animation resource from it (GXBuildModel) only copies.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/GXMath.h"

namespace gx {

// The most vertices one mesh may have: indices are 16 bit, and 0xFFFF stays unused.
inline constexpr uint32_t GXMaxMeshVertices = 65535;
// The deepest node nesting a reader produces.
inline constexpr uint32_t GXMaxModelNodeDepth = 256;

// The file format a model was read from.
enum class EGXModelFormat : uint8_t { Format3DS, XFile };

// One vertex of the standard layout: POSITION FLOAT3 (offset 0), NORMAL FLOAT3 (12),
// TEXCOORD FLOAT2 (24).
struct TGXModelVertex {
  TGXVector3 Position;
  TGXVector3 Normal;
  TGXVector2 TexCoord;
};
static_assert(sizeof(TGXModelVertex) == 32, "the standard vertex has 32 bytes");

// One sub-mesh: a range of its mesh's indices drawn with one texture.
struct TGXModelSubMesh {
  uint32_t FirstIndex = 0;  // into TGXModelMesh::Indices
  uint32_t IndexCount = 0;  // a multiple of 3
  // A texture file name as the model file gives it, or a colour: the NUL character followed by
  // the colour text (GXModelColorText). Empty when the faces have no material.
  std::string TextureName;
  // Minimum and maximum of the positions the sub-mesh's indices use.
  TGXVector3 BoundsMin;
  TGXVector3 BoundsMax;
};

// One mesh: vertices, triangle-list indices counting from the mesh's first vertex, sub-meshes.
struct TGXModelMesh {
  std::string Name;
  std::vector<TGXModelVertex> Vertices;  // at most GXMaxMeshVertices
  std::vector<uint16_t> Indices;         // three per triangle, each < Vertices.size()
  std::vector<TGXModelSubMesh> SubMeshes;
  // The union of the sub-mesh bounds; all zero without sub-meshes.
  TGXVector3 BoundsMin;
  TGXVector3 BoundsMax;
};

// One node of the tree. Its transform is what a scene node takes: position, rotation and scale,
// relative to the parent.
struct TGXModelNode {
  std::string Name;
  // Index of the parent in TGXModelData::Nodes, always below this node's own index; -1 for the
  // target node the model is loaded under.
  int32_t Parent = -1;
  TGXVector3 Position{0, 0, 0};
  TGXQuaternion Rotation{0, 0, 0, 1};
  TGXVector3 Scale{1, 1, 1};
  // Indices into TGXModelData::Meshes: one entity per entry shows that mesh on this node.
  std::vector<uint32_t> Meshes;
};

// A key of a track: a whole frame number and the value at that frame.
template <typename T>
struct TGXModelKey {
  uint32_t Frame = 0;
  T Value;
};

// The keys of one animated node, each kind in strictly increasing frame order. A kind without
// keys leaves that part of the node's transform alone.
struct TGXModelTrack {
  std::string Name;  // the node's name
  std::vector<TGXModelKey<TGXVector3>> PositionKeys;
  std::vector<TGXModelKey<TGXQuaternion>> RotationKeys;
  std::vector<TGXModelKey<TGXVector3>> ScaleKeys;
};

struct TGXModelAnimation {
  float SecondsPerFrame = 0.04f;
  std::vector<TGXModelTrack> Tracks;
};

struct TGXModelData {
  EGXModelFormat Format = EGXModelFormat::Format3DS;
  // The meshes shown on the target node itself (one entity each).
  std::vector<uint32_t> RootMeshes;
  // The node tree, flat: parents come before their children, siblings in file order. Kept flat so
  // that long parent chains in hostile files never recurse.
  std::vector<TGXModelNode> Nodes;
  std::vector<TGXModelMesh> Meshes;
  bool HasAnimation = false;  // Animation holds at least one track when true
  TGXModelAnimation Animation;
};

// The colour text of a material colour: A·2²⁴ + R·2¹⁶ + G·2⁸ + B in upper-case hexadecimal
// without leading zeros, each channel 255 above 1, 0 below 0 (and for NaN), else
// trunc(c × 255 + 0.5).
std::string GXModelColorText(float r, float g, float b, float a);
// The texture name of a colour: the NUL character followed by the colour text.
std::string GXModelColorName(float r, float g, float b, float a);
// True when a texture name is a colour rather than a file name.
inline bool GXModelIsColorName(std::string_view textureName) {
  return !textureName.empty() && textureName[0] == '\0';
}

// Recomputes every sub-mesh's bounds from the vertices its indices use, and the mesh's bounds
// from those. Indices outside the vertices are ignored.
void GXModelCalculateBounds(TGXModelMesh& mesh);

// The largest last-key frame over all tracks and kinds (0 without keys).
uint32_t GXModelEndFrame(const TGXModelAnimation& animation);

// The deepest nesting in a node list (a node under the target node has depth 1; 0 without nodes).
size_t GXModelNodeDepth(const std::vector<TGXModelNode>& nodes);

}  // namespace gx
