#include "engine/core/GXSelfCheck.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <pugixml.hpp>

#include "engine/core/GXException.h"
#include "engine/core/GXMath.h"

namespace gx {

namespace {

TGXSelfCheckItem CheckMath() {
  // A 90 degree turn about +Y carries +X to -Z (left-handed, row vectors).
  TGXQuaternion q = GXQuaternionRotationAxis({0, 1, 0}, GX_PI / 2);
  TGXVector3 v = GXVec3TransformCoord({1, 0, 0}, GXMatrixRotationQuaternion(q));
  bool turn = std::fabs(v.x) < 1e-6f && std::fabs(v.z + 1) < 1e-6f;
  // S * R * T times its inverse is identity.
  TGXMatrix m = GXMatrixTransformation({2, 3, 4}, q, {10, -5, 7});
  TGXMatrix inv;
  bool invertible = GXMatrixInverse(inv, nullptr, m);
  TGXMatrix id = m * inv;
  float err = 0;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) err = std::fmax(err, std::fabs(id.m[r][c] - (r == c ? 1.f : 0.f)));
  bool ok = turn && invertible && err < 1e-5f;
  return {"Mathematik", ok, ok ? "linkshändig, Zeilenvektoren" : "falsches Ergebnis"};
}

TGXSelfCheckItem CheckException() {
  EGXException e({TGXExceptionArg::Object("TGXMeshSerializer"), "ReadFileHeader", "Wrong guid"});
  bool ok = std::string(e.what()) ==
            "Exception EGXException raised with args: TGXMeshSerializer, ReadFileHeader, Wrong guid";
  return {"Ausnahmen", ok, e.what()};
}

TGXSelfCheckItem CheckZlib() {
  const char text[] = "Kleine Beispielanlage Kleine Beispielanlage Kleine Beispielanlage";
  unsigned char packed[256], unpacked[256];
  uLongf packedLen = sizeof packed, unpackedLen = sizeof unpacked;
  bool ok = compress2(packed, &packedLen, reinterpret_cast<const Bytef*>(text), sizeof text, 9) == Z_OK &&
            uncompress(unpacked, &unpackedLen, packed, packedLen) == Z_OK && unpackedLen == sizeof text &&
            std::memcmp(unpacked, text, sizeof text) == 0;
  return {"zlib", ok, std::string("Version ") + zlibVersion()};
}

TGXSelfCheckItem CheckMd5() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  bool ok = EVP_Digest("abc", 3, digest, &len, EVP_md5(), nullptr) == 1 && len == 16;
  static const unsigned char expected[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0,
                                             0xd6, 0x96, 0x3f, 0x7d, 0x28, 0xe1, 0x7f, 0x72};
  ok = ok && std::memcmp(digest, expected, 16) == 0;
  return {"MD5", ok, ok ? "RFC 1321" : "falscher Hashwert"};
}

TGXSelfCheckItem CheckXml() {
  pugi::xml_document doc;
  bool ok = doc.load_string("<Application><GeneralSettings Units=\"1\"/></Application>") &&
            doc.child("Application").child("GeneralSettings").attribute("Units").as_int() == 1;
  return {"XML", ok, ok ? "pugixml" : "Dokument nicht lesbar"};
}

}  // namespace

std::vector<TGXSelfCheckItem> RunEngineSelfCheck() {
  return {CheckMath(), CheckException(), CheckZlib(), CheckMd5(), CheckXml()};
}

}  // namespace gx
