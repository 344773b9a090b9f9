#include "app/RRTextureConverter.h"

#include <squish.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "engine/core/GXStrings.h"
#include "engine/render/GXDdsReader.h"
#include "engine/render/GXImageReader.h"

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

std::vector<std::string> FindCompanionFiles(const std::string& modelFile) {
  namespace fs = std::filesystem;
  TRRModelTextureLister lister;
  {
    std::lock_guard<std::mutex> lock(GListerLock);
    lister = GLister;
  }
  std::vector<std::string> out;
  if (!lister) return out;
  std::vector<std::string> names;
  try {
    names = lister(modelFile);
  } catch (...) {
    return out;
  }
  fs::path folder = fs::path(modelFile).parent_path();
  for (std::string name : names) {
    std::replace(name.begin(), name.end(), '\\', '/');
    // Only files beside the model (or below it): a listed name never reaches elsewhere.
    fs::path relative = fs::path(name).lexically_normal();
    if (name.empty() || relative.is_absolute() || (!relative.empty() && *relative.begin() == "..")) continue;
    std::error_code ec;
    fs::path file = folder / relative;
    if (fs::is_regular_file(file, ec)) out.push_back(file.string());
  }
  std::stable_sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) { return gx::CompareText(a, b) < 0; });
  out.erase(std::unique(out.begin(), out.end(), [](const std::string& a, const std::string& b) { return gx::SameText(a, b); }),
            out.end());
  return out;
}

}  // namespace rr
