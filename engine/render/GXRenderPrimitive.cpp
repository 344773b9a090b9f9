#include "engine/render/GXRenderPrimitive.h"

namespace gx {

uint32_t GXPrimitiveCount(uint32_t primitiveType, uint32_t n) {
  switch (primitiveType) {
    case GXPointList:
      return n;
    case GXLineList:
      return n / 2;
    case GXLineStrip:
      return n > 1 ? n - 1 : 0;
    case GXTriangleList:
      return n / 3;
    case GXTriangleStrip:
    case GXTriangleFan:
      return n > 2 ? n - 2 : 0;
    default:
      return 0;
  }
}

}  // namespace gx
