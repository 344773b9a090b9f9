// Project loading from arbitrary bytes: the project file reader, the entity section in both
// forms, the stored event section, the ID renumbering and the creation of the entities. The
// first byte chooses what the remaining bytes are:
//   0 - a whole project file;
//   1 - the content of the compressed block of a version-12 project (compressed here, so that
//       the records themselves are exercised rather than zlib's checks);
//   2 - the same for the old form's property-bag block;
//   3 - a whole object file.
// A layout that reads must create its entities without crashing and write again.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "app/RRBareProjectHost.h"
#include "app/RREntityIDProcessor.h"
#include "app/RREntityManager.h"
#include "app/RREntitySerializer.h"
#include "app/RRProject.h"
#include "app/RRProjectSerializer.h"
#include "engine/core/GXSerialization.h"
#include "engine/render/GXScene.h"

namespace {

using THost = rr::TRRBareProjectHost<rr::TRRScriptedUIService>;

std::vector<uint8_t> Wrap(const uint8_t* data, size_t size, bool old) {
  uLongf bound = compressBound(static_cast<uLong>(size));
  std::vector<uint8_t> z(bound);
  compress2(z.data(), &bound, data, static_cast<uLong>(size), 1);
  z.resize(bound);
  gx::TGXMemoryStream s;
  gx::TGXSerializer project(gx::TGXGuid::Parse(rr::RRGuidProjectSerializer), 12);
  project.WriteFileHeader(s);
  gx::WriteByte(s, 0);
  for (int i = 0; i < 3; ++i) gx::WriteInteger(s, 0);
  gx::TGXSerializer section(gx::TGXGuid::Parse(old ? rr::RRGuidEntitySerializer_10 : rr::RRGuidEntitySerializer),
                            old ? 65536 : 3);
  section.WriteFileHeader(s);
  s.WriteBuffer(z.data(), static_cast<int64_t>(z.size()));
  gx::WriteAnsiString(s, "Ereignisse");
  for (int i = 0; i < 4; ++i) gx::WriteInteger(s, i == 0 ? 7 : 0);
  return s.Data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  std::vector<uint8_t> bytes;
  switch (data[0] & 3) {
    case 1: bytes = Wrap(data + 1, size - 1, false); break;
    case 2: bytes = Wrap(data + 1, size - 1, true); break;
    default: bytes.assign(data + 1, data + size);
  }
  gx::TGXMemoryStream stream(std::move(bytes));
  rr::TRREntityDescriptionList list(true);
  std::unique_ptr<rr::IRRProjectEventSection> events = rr::RRCreateEventSection();
  try {
    if ((data[0] & 3) == 3) {
      rr::TRREntitySerializer(stream, "/tmp/fuzz/objekte.vme").ReadAll(list);
    } else {
      rr::TRRProjectSerializer ser(stream);
      ser.ReadProject("/tmp/fuzz/anlage.vmp", nullptr, list);
      ser.ReadEvents(*events);
    }
  } catch (const std::exception&) {
    return 0;
  }
  THost host;
  try {
    rr::TRREntityManager manager(host, nullptr, &host.Scene);
    try {
      int32_t used = rr::TRREntityIDProcessor::RenumberList(list, manager.NextID(), events.get());
      manager.ReserveIDs(used);
      for (rr::TRREntityDescription* d : list) manager.CreateEntity(nullptr, *d);
      host.Scene.Root()->Update(false);
      gx::TGXMemoryStream out;
      rr::TRRProjectSerializer(out).WriteProject(*host.Scene.Root(), "/tmp/fuzz/anlage.vmp", {}, *events, nullptr);
    } catch (const std::exception&) {
    }
    host.Scene.Root()->DeleteChildren();
  } catch (const std::exception&) {
  }
  return 0;
}
