#pragma once
// References to asset files as descriptions store them.
//
// TRRAssetFileName: a path on disk or under a file-system root, and the same file's path relative
// to "Game:\" (empty when the file does not come from a package). The effective name prefers the
// package path, so a layout still finds its files when the packages live elsewhere on another
// machine. Stream form: the two 8-bit strings.
//
// TRRModelFileName: the model's asset file name and the names of its companion files (textures
// and the like that travel with the model). Stream form: the asset file name, an Integer count,
// that many asset file names.

#include <string>
#include <vector>

#include "engine/core/GXStream.h"

namespace rr {

inline constexpr const char* RRGameRoot = "Game:\\";

struct TRRAssetFileName {
  std::string FileName;      // disk path or root-prefixed path
  std::string RelativeName;  // path below "Game:\", empty when not set

  TRRAssetFileName() = default;
  TRRAssetFileName(std::string fileName, std::string relativeName = {})
      : FileName(std::move(fileName)), RelativeName(std::move(relativeName)) {}

  // "Game:\" + RelativeName when that is set, else FileName.
  std::string EffectiveFileName() const;
  bool IsEmpty() const { return FileName.empty() && RelativeName.empty(); }

  void WriteToStream(gx::TGXStream& s) const;
  void ReadFromStream(gx::TGXStream& s);

  // Equal when both relative names are set and equal ignoring case, or when the file names are
  // equal ignoring case. Not an equivalence in general (two names with different relative names
  // but the same file name are equal), which is why this is a named function and no operator.
  bool SameFile(const TRRAssetFileName& other) const;
};

struct TRRModelFileName {
  TRRAssetFileName Model;
  std::vector<TRRAssetFileName> Companions;

  // The same model file and, in order, the same companion files (TRRAssetFileName::SameFile).
  bool SameFile(const TRRModelFileName& other) const;

  void WriteToStream(gx::TGXStream& s) const;
  // The count is checked against the remaining bytes (each name takes at least 8).
  void ReadFromStream(gx::TGXStream& s);
};

}  // namespace rr
