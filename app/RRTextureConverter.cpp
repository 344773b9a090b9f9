#include "app/RRTextureConverter.h"

#include <squish.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>

#include "engine/core/GXStrings.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXImageReader.h"
#include "engine/render/GXModelReader.h"

namespace rr {

namespace {

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// The 128-byte DDS header of a compressed texture with a mip chain.
std::vector<uint8_t> DdsHeader(uint32_t width, uint32_t height, uint32_t levels, uint32_t fourCC, uint32_t topSize) {
  std::vector<uint8_t> h(128, 0);
  std::memcpy(h.data(), "DDS ", 4);
  Put32(h, 4, 124);
  // caps, height, width, pixel format, mip count, linear size
  Put32(h, 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | 0x80000);
  Put32(h, 12, height);
  Put32(h, 16, width);
  Put32(h, 20, topSize);
  Put32(h, 28, levels);
  Put32(h, 76, 32);    // pixel format size
  Put32(h, 80, 0x4);   // four-character code
  Put32(h, 84, fourCC);
  Put32(h, 108, 0x1000 | 0x8 | 0x400000);  // texture, complex, mip map
  return h;
}

// One level down: each pixel the mean of up to four (an edge of 1 stays 1).
std::vector<uint8_t> HalfSize(const std::vector<uint8_t>& rgba, uint32_t w, uint32_t h, uint32_t& nw, uint32_t& nh) {
  nw = std::max(1u, w / 2);
  nh = std::max(1u, h / 2);
  std::vector<uint8_t> out(size_t(nw) * nh * 4);
  for (uint32_t y = 0; y < nh; ++y)
    for (uint32_t x = 0; x < nw; ++x)
      for (int c = 0; c < 4; ++c) {
        uint32_t sum = 0, n = 0;
        for (uint32_t dy = 0; dy < 2; ++dy)
          for (uint32_t dx = 0; dx < 2; ++dx) {
            uint32_t sx = std::min(w - 1, x * 2 + dx), sy = std::min(h - 1, y * 2 + dy);
            sum += rgba[(size_t(sy) * w + sx) * 4 + static_cast<size_t>(c)];
            ++n;
          }
        out[(size_t(y) * nw + x) * 4 + static_cast<size_t>(c)] = static_cast<uint8_t>((sum + n / 2) / n);
      }
  return out;
}

std::mutex GListerLock;
TRRModelTextureLister GLister;

}  // namespace

std::vector<uint8_t> ConvertTextureForPackage(std::span<const uint8_t> data) {
  if (data.size() > RRMaxTextureFileSize) throw ETextureConversion();
  gx::TGXImageFileType type = gx::GXImageFileType(data);
  if (type == gx::TGXImageFileType::Unknown) throw ETextureConversion();
  if (type == gx::TGXImageFileType::Dds) {
    try {
      gx::GXReadDds(data);
    } catch (...) {
      throw ETextureConversion();
    }
    return {data.begin(), data.end()};
  }
  gx::TGXImage image;
  try {
    image = gx::GXReadImage(data);
  } catch (...) {
    throw ETextureConversion();
  }
  if (image.Width == 0 || image.Height == 0 || image.Pixels.size() != size_t(image.Width) * image.Height)
    throw ETextureConversion();

  const int flags = (image.HasAlpha ? squish::kDxt5 : squish::kDxt1) | squish::kColourClusterFit;
  const uint32_t fourCC = image.HasAlpha ? gx::GXFormatDXT5 : gx::GXFormatDXT1;
  std::vector<uint8_t> rgba(image.Pixels.size() * 4);
  for (size_t i = 0; i < image.Pixels.size(); ++i) {
    uint32_t p = image.Pixels[i];
    rgba[i * 4 + 0] = static_cast<uint8_t>(p >> 16);
    rgba[i * 4 + 1] = static_cast<uint8_t>(p >> 8);
    rgba[i * 4 + 2] = static_cast<uint8_t>(p);
    rgba[i * 4 + 3] = image.HasAlpha ? static_cast<uint8_t>(p >> 24) : 0xFF;
  }
  uint32_t levels = 1;
  for (uint32_t e = std::max(image.Width, image.Height); e > 1; e /= 2) ++levels;

  std::vector<uint8_t> body;
  uint32_t w = image.Width, h = image.Height;
  uint32_t topSize = 0;
  for (uint32_t level = 0; level < levels; ++level) {
    size_t size = static_cast<size_t>(squish::GetStorageRequirements(static_cast<int>(w), static_cast<int>(h), flags));
    if (level == 0) topSize = static_cast<uint32_t>(size);
    size_t at = body.size();
    body.resize(at + size);
    squish::CompressImage(rgba.data(), static_cast<int>(w), static_cast<int>(h), body.data() + at, flags);
    if (level + 1 < levels) {
      uint32_t nw, nh;
      rgba = HalfSize(rgba, w, h, nw, nh);
      w = nw;
      h = nh;
    }
  }
  std::vector<uint8_t> out = DdsHeader(image.Width, image.Height, levels, fourCC, topSize);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

void RRSetModelTextureLister(TRRModelTextureLister lister) {
  std::lock_guard<std::mutex> lock(GListerLock);
  GLister = std::move(lister);
}

namespace {

// The texture names the model file's meshes list, colours and empty names dropped; none when
// the file cannot be read as a model.
std::vector<std::string> ModelTextureNames(const std::string& modelFile) {
  std::ifstream in(modelFile, std::ios::binary);
  if (!in) return {};
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const gx::TGXModelData model = gx::GXReadModel(bytes.data(), bytes.size());
  std::vector<std::string> names;
  for (const gx::TGXModelMesh& mesh : model.Meshes)
    for (const gx::TGXModelSubMesh& sub : mesh.SubMeshes)
      if (!sub.TextureName.empty() && !gx::GXModelIsColorName(sub.TextureName))
        names.push_back(sub.TextureName);
  return names;
}

// The entry of folder named like part, ignoring case (the exact name first, else the first match
// in sorted order, so the answer does not depend on the directory's order).
std::optional<std::filesystem::path> FindIgnoringCase(const std::filesystem::path& folder,
                                                      const std::string& part) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists(folder / part, ec)) return folder / part;
  std::optional<std::string> best;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (gx::SameText(name, part) && (!best || name < *best)) best = name;
  }
  if (!best) return std::nullopt;
  return folder / *best;
}

// The file that a texture name means beside the model: its parts (split on both separators) as a
// path below the model's folder, else its last part directly in the folder. Absolute names and
// names climbing out of the folder only get the second try.
std::optional<std::filesystem::path> CompanionFile(const std::filesystem::path& folder,
                                                   const std::string& name) {
  namespace fs = std::filesystem;
  std::vector<std::string> parts;
  bool relative = !name.empty() && name[0] != '\\' && name[0] != '/' && name.find(':') == std::string::npos;
  std::string part;
  for (char c : name + "/") {
    if (c != '\\' && c != '/') {
      part += c;
      continue;
    }
    if (part == "..") relative = false;
    if (!part.empty() && part != ".") parts.push_back(part);
    part.clear();
  }
  if (parts.empty()) return std::nullopt;
  std::error_code ec;
  if (relative) {
    fs::path at = folder;
    bool found = true;
    for (const std::string& p : parts) {
      std::optional<fs::path> next = FindIgnoringCase(at, p);
      if (!next) {
        found = false;
        break;
      }
      at = *next;
    }
    if (found && fs::is_regular_file(at, ec)) return at;
  }
  std::optional<fs::path> beside = FindIgnoringCase(folder, parts.back());
  if (beside && fs::is_regular_file(*beside, ec)) return beside;
  return std::nullopt;
}

}  // namespace

std::vector<std::string> FindCompanionFiles(const std::string& modelFile) {
  namespace fs = std::filesystem;
  TRRModelTextureLister lister;
  {
    std::lock_guard<std::mutex> lock(GListerLock);
    lister = GLister;
  }
  std::vector<std::string> out;
  std::vector<std::string> names;
  try {
    names = lister ? lister(modelFile) : ModelTextureNames(modelFile);
  } catch (...) {
    return out;
  }
  const fs::path folder = fs::path(modelFile).parent_path();
  for (const std::string& name : names) {
    if (name.find('\0') != std::string::npos) continue;  // colours, and no name for the file system
    if (std::optional<fs::path> file = CompanionFile(folder, name)) out.push_back(file->string());
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const std::string& a, const std::string& b) { return gx::CompareText(a, b) < 0; });
  out.erase(std::unique(out.begin(), out.end(),
                        [](const std::string& a, const std::string& b) { return gx::SameText(a, b); }),
            out.end());
  return out;
}

}  // namespace rr
