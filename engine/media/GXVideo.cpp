#include "engine/media/GXVideo.h"

namespace gx {

IGXResource TGXVideoFactory::CreateResource(TSlot* cell, const std::string& name, bool manual) {
  return IGXResource(new TGXVideo(cell, name, manual));
}

}  // namespace gx
