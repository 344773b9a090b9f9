// Description records and old property-bag nodes read from arbitrary bytes. The first byte
// chooses the reader. A record that reads must write back to a form that reads again and then
// writes the same bytes (the record form is stable after one round). A model description that
// reads also becomes a model entity (as a command that does not draw makes it) whose description
// writes the same model payload again.

#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "app/entities/RREntityDescription.h"
#include "app/entities/RREntity_10.h"
#include "app/entities/RRModel.h"
#include "engine/core/GXStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  gx::TGXMemoryStreamAdapter stream(const_cast<uint8_t*>(data + 1), static_cast<int64_t>(size - 1));
  try {
    if (data[0] & 1) {
      auto bag = rr::TRREntityDescription_10::ReadFromStream(stream);
      if (const rr::TRRDescriptionClass* cls = bag->DescriptionClass()) {
        auto d = cls->Create();
        std::string model;
        d->LoadFromPropertyBag(*bag, model);
      }
      return 0;
    }
    auto d = rr::TRREntityDescription::ReadRecord(stream);
    gx::TGXMemoryStream once;
    rr::TRREntityDescription::WriteRecord(*d, once);
    once.SetPosition(0);
    auto again = rr::TRREntityDescription::ReadRecord(once);
    if (once.Position() != once.Size()) __builtin_trap();
    gx::TGXMemoryStream twice;
    rr::TRREntityDescription::WriteRecord(*again, twice);
    if (twice.Data() != once.Data()) __builtin_trap();
    auto clone = again->Clone();
    (void)clone;
    if (auto* model = dynamic_cast<rr::TRRModelDesc*>(again.get())) {
      gx::TGXSceneNode root;
      rr::TRREntity* entity = rr::TRRModel::StaticClass().Create(&root, nullptr, *model);
      auto* back = dynamic_cast<rr::TRRModelDesc*>(entity->CreateDescription().release());
      if (!back || !back->ModelFile().SameFile(model->ModelFile()) || back->Speed() != model->Speed() ||
          back->CADType() != model->CADType())
        __builtin_trap();
      delete back;
    }
  } catch (const std::runtime_error&) {
    // stream read errors, EGXException, unknown kinds and versions
  }
  return 0;
}
