// Any input must end in mesh data that passes its own validation, whose positions lie inside the
// drawn vertices and that writes and reads back to the same bytes - or in a reader's exception.
#include <cstdint>
#include <cstdlib>

#include "engine/core/GXException.h"
#include "engine/core/GXStream.h"
#include "engine/render/GXMeshData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  gx::TGXMeshData mesh;
  try {
    gx::TGXMemoryStreamAdapter input(const_cast<uint8_t*>(data), int64_t(size));
    mesh = gx::TGXMeshSerializer().Read(input);
  } catch (const gx::EGXException&) {
    return 0;
  } catch (const gx::EGXStreamError&) {
    return 0;
  }
  if (mesh.Positions().size() > mesh.VertexCount) std::abort();
  for (const gx::TGXSubMeshData& sub : mesh.SubMeshes) {
    if (uint64_t(sub.FirstIndex) + sub.IndexCount > sub.Indices.size()) std::abort();
    for (uint16_t index : sub.Indices)
      if (index >= mesh.VertexCount) std::abort();
  }
  gx::TGXMemoryStream written;
  gx::TGXMeshSerializer().Write(written, mesh);
  gx::TGXMemoryStream again(written.Data());
  const gx::TGXMeshData reread = gx::TGXMeshSerializer().Read(again);
  gx::TGXMemoryStream rewritten;
  gx::TGXMeshSerializer().Write(rewritten, reread);
  if (rewritten.Data() != written.Data()) std::abort();
  return 0;
}
