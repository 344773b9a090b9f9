// Package archives from untrusted sources (downloads, user folders): the reader must turn every
// malformed input into an error, never a crash, a hang or an unbounded allocation.
//
// Inputs starting with 'D' carry a directory in plain form, which this target compresses and
// frames (signature, data area, directory, trailer), so the fuzzer also reaches the checks behind
// the directory's zlib stream: [ 'D' ][ data area length (1 byte) ][ data area ][ directory ].
// Every other input is taken as a package file as it is.
//
// Seeds: fuzz/corpus/FuzzPackageReader/ (written by fuzz/make-package-seeds.sh) holds a sound
// package and the refused cases (shared bytes, duplicate names, NUL in names, stated sizes).

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/GXPackage.h"

namespace {

std::vector<uint8_t> Frame(const uint8_t* data, size_t size) {
  if (size < 2) return {};
  size_t area = std::min<size_t>(data[1], size - 2);
  std::vector<uint8_t> out(gx::TGXPackage::Signature(), gx::TGXPackage::Signature() + 16);
  out.insert(out.end(), data + 2, data + 2 + area);
  size_t dirPos = out.size();
  const uint8_t* dir = data + 2 + area;
  size_t dirSize = size - 2 - area;
  uLongf len = compressBound(dirSize);
  out.resize(dirPos + len);
  compress2(out.data() + dirPos, &len, dir, dirSize, 9);
  out.resize(dirPos + len);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(dirPos >> (8 * i)));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes =
      size >= 1 && data[0] == 'D' ? Frame(data, size) : std::vector<uint8_t>(data, data + size);
  gx::TGXMemoryStreamAdapter stream(bytes.data(), static_cast<int64_t>(bytes.size()));
  try {
    gx::TGXPackageReader reader(stream);
    for (int i = 0; i < reader.FileCount(); ++i) {
      if (!reader.Contains(reader.FileName(i))) __builtin_trap();  // every listed name is found
      // The streamed check and the whole extraction agree on which entries are damaged.
      bool whole = true;
      try {
        reader.ExtractAt(i);
      } catch (const gx::EGXPackageError&) {
        whole = false;
      }
      std::string reason = reader.Verify(i);
      bool streamed =
          reason.empty() || (reason.size() > 5 && reason.compare(reason.size() - 5, 5, "(MD5)") == 0);
      if (whole != streamed) __builtin_trap();
    }
    reader.Extract("..\\x\\..\\A.TXT");
  } catch (const std::runtime_error&) {
    // every failure of the reader is a runtime_error with a message
  }
  return 0;
}
