#pragma once
// What the floor and the sky share: their vertex buffers on the current render core and their
// shader materials (an effect of the base package with named textures and a SkyColor).

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/GXMath.h"
#include "engine/render/GXMaterial.h"
#include "engine/render/GXRenderPrimitive.h"
#include "engine/render/GXVertexLayout.h"

namespace rr {

// Vertex and index buffers of position + colour (+ one texture coordinate) vertices on the
// current render core, set into the primitive. False (the primitive left without geometry) when
// there is no render core or a buffer cannot be written.
// Their layout: position, colour (0xAARRGGBB) and, when asked, one texture coordinate.
gx::TGXVertexLayoutDecl RRColorVertexLayout(bool texCoord);
bool RRMakeColorGeometry(const void* vertices, uint32_t count, uint32_t stride, bool texCoord,
                         const std::vector<uint16_t>& indices, gx::TGXRenderPrimitive& primitive);
// The material resource of the name (a unique one when asked) drawing with the effect file,
// with the textures (parameter, file) set; a texture that cannot be loaded shows the dummy.
// Null when the effect cannot be loaded or no resources are at hand.
gx::IGXMaterial RRMakeSurroundingsMaterial(const char* name, bool unique, const char* effectFile,
                                           const std::vector<std::pair<std::string, std::string>>& textures);
void RRSetSkyColor(gx::TGXMaterial& material, const gx::TGXVector4& colour);

}  // namespace rr
