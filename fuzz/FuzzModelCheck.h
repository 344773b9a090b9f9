#pragma once
// What every model a reader hands out must satisfy, whatever the input: the builder and the
// command line rely on it. A violation aborts, so the fuzzer reports it.

#include <cstdlib>
#include <exception>

#include "engine/render/GXModelData.h"

namespace fuzz {

inline void CheckModel(const gx::TGXModelData& m) {
  for (const gx::TGXModelMesh& mesh : m.Meshes) {
    if (mesh.Vertices.size() > gx::GXMaxMeshVertices || mesh.Indices.size() % 3) std::abort();
    for (uint16_t i : mesh.Indices)
      if (i >= mesh.Vertices.size()) std::abort();
    for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes)
      if (uint64_t(sub.FirstIndex) + sub.IndexCount > mesh.Indices.size() || sub.IndexCount % 3) std::abort();
  }
  for (size_t i = 0; i < m.Nodes.size(); ++i) {
    const gx::TGXModelNode& n = m.Nodes[i];
    if (n.Parent >= int64_t(i) || n.Parent < -1) std::abort();
    for (uint32_t mesh : n.Meshes)
      if (mesh >= m.Meshes.size()) std::abort();
  }
  if (gx::GXModelNodeDepth(m.Nodes) > gx::GXMaxModelNodeDepth) std::abort();
  for (uint32_t mesh : m.RootMeshes)
    if (mesh >= m.Meshes.size()) std::abort();
  if (m.HasAnimation == m.Animation.Tracks.empty()) std::abort();
  for (const gx::TGXModelTrack& t : m.Animation.Tracks) {
    for (size_t k = 1; k < t.PositionKeys.size(); ++k)
      if (t.PositionKeys[k].Frame <= t.PositionKeys[k - 1].Frame) std::abort();
    for (size_t k = 1; k < t.RotationKeys.size(); ++k)
      if (t.RotationKeys[k].Frame <= t.RotationKeys[k - 1].Frame) std::abort();
    for (size_t k = 1; k < t.ScaleKeys.size(); ++k)
      if (t.ScaleKeys[k].Frame <= t.ScaleKeys[k - 1].Frame) std::abort();
  }
}

}  // namespace fuzz
