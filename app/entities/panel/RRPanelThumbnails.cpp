#include "app/entities/panel/RRPanelThumbnails.h"

#include <squish.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/entities/panel/RRPanel.h"
#include "app/entities/panel/RRPanelRules.h"
#include "engine/core/GXFileSystem.h"
#include "engine/core/GXStrings.h"

namespace rr {

namespace {

// Thumbnails need no more than this: larger textures are read from the first smaller mip level.
constexpr uint64_t kThumbnailSourcePixels = uint64_t(1) << 20;

[[noreturn]] void Bad(const char* reason) {
  throw gx::EGXImageFormat({gx::TGXExceptionArg::Object("TRRPanelThumbnails"), "Decode", reason});
}

uint32_t Expand(uint32_t value, int bits) {
  const uint32_t max = (1u << bits) - 1;
  return (value * 255 + max / 2) / max;
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

gx::TGXImage DecodeDds(std::span<const uint8_t> data, uint64_t maxPixels) {
  gx::TGXDdsImage dds = gx::GXReadDds(data);
  if (dds.Surfaces.empty()) Bad("No surface");
  uint32_t level = 0;
  while (level + 1 < dds.Levels &&
         uint64_t(dds.Surface(0, level).Width) * dds.Surface(0, level).Height > maxPixels)
    ++level;
  const gx::TGXDdsSurface& s = dds.Surface(0, level);
  const uint64_t pixels = uint64_t(s.Width) * s.Height;
  if (pixels == 0 || pixels > gx::GXImageMaxPixels) Bad("Image too large");
  if (s.Offset > data.size() || s.Size > data.size() - s.Offset) Bad("Truncated");
  const uint8_t* src = data.data() + s.Offset;
  gx::TGXImage image;
  image.Width = s.Width;
  image.Height = s.Height;
  image.Pixels.resize(pixels);
  if (gx::GXIsCompressedFormat(dds.Format)) {
    const int flags = dds.Format == gx::GXFormatDXT1   ? squish::kDxt1
                      : dds.Format == gx::GXFormatDXT3 ? squish::kDxt3
                                                       : squish::kDxt5;
    image.HasAlpha = dds.Format != gx::GXFormatDXT1;
    std::vector<uint8_t> rgba(pixels * 4);
    squish::DecompressImage(rgba.data(), static_cast<int>(s.Width), static_cast<int>(s.Height), src, flags);
    for (uint64_t i = 0; i < pixels; ++i) {
      const uint8_t* p = &rgba[i * 4];
      image.Pixels[i] = Argb(p[3], p[0], p[1], p[2]);
    }
    return image;
  }
  const uint64_t bytesPerPixel = gx::GXSurfaceSize(dds.Format, 1, 1);
  if (bytesPerPixel == 0 || s.Size < pixels * bytesPerPixel) Bad("Truncated");
  for (uint64_t i = 0; i < pixels; ++i) {
    uint32_t v = 0;
    std::memcpy(&v, src + i * bytesPerPixel, bytesPerPixel);  // little-endian host
    uint32_t out = 0;
    switch (dds.Format) {
      case 21:
        out = v;
        image.HasAlpha = true;
        break;
      case 22:
        out = v | 0xFF000000u;
        break;
      case 23:
        out = Argb(255, Expand(v >> 11 & 31, 5), Expand(v >> 5 & 63, 6), Expand(v & 31, 5));
        break;
      case 24:
        out = Argb(255, Expand(v >> 10 & 31, 5), Expand(v >> 5 & 31, 5), Expand(v & 31, 5));
        break;
      case gx::GXFormatA1R5G5B5:
        out = Argb(v & 0x8000 ? 255 : 0, Expand(v >> 10 & 31, 5), Expand(v >> 5 & 31, 5), Expand(v & 31, 5));
        image.HasAlpha = true;
        break;
      case gx::GXFormatA4R4G4B4:
        out =
            Argb(Expand(v >> 12 & 15, 4), Expand(v >> 8 & 15, 4), Expand(v >> 4 & 15, 4), Expand(v & 15, 4));
        image.HasAlpha = true;
        break;
      case gx::GXFormatL8:
        out = Argb(255, v & 255, v & 255, v & 255);
        break;
      case gx::GXFormatA8:
        out = Argb(v & 255, 0, 0, 0);
        image.HasAlpha = true;
        break;
      default:
        Bad("Unsupported pixel format");
    }
    image.Pixels[i] = out;
  }
  return image;
}

uint32_t Channel(uint32_t pixel, int shift) { return pixel >> shift & 255; }

}  // namespace

gx::TGXImage RRDecodeTextureFile(std::span<const uint8_t> data) {
  if (gx::GXImageFileType(data) == gx::TGXImageFileType::Dds) return DecodeDds(data, gx::GXImageMaxPixels);
  return gx::GXReadImage(data);
}

gx::TGXImage RRMakeThumbnail(const gx::TGXImage& image, int32_t width, int32_t height) {
  gx::TGXImage out;
  const TRRCropRect crop =
      RRThumbnailCrop(static_cast<int32_t>(image.Width), static_cast<int32_t>(image.Height), width, height);
  if (crop.Width <= 0 || crop.Height <= 0 || image.Pixels.size() < uint64_t(image.Width) * image.Height)
    return out;
  out.Width = static_cast<uint32_t>(width);
  out.Height = static_cast<uint32_t>(height);
  out.HasAlpha = image.HasAlpha;
  out.Pixels.resize(size_t(width) * height);
  auto at = [&](int64_t x, int64_t y) {
    return image.Pixels[size_t(crop.Y + y) * image.Width + size_t(crop.X + x)];
  };
  if (crop.Width >= width && crop.Height >= height) {
    // Block averages: target pixel (tx, ty) covers source columns [tx * cw / w, (tx + 1) * cw / w).
    for (int32_t ty = 0; ty < height; ++ty) {
      const int64_t y0 = int64_t(ty) * crop.Height / height, y1 = int64_t(ty + 1) * crop.Height / height;
      for (int32_t tx = 0; tx < width; ++tx) {
        const int64_t x0 = int64_t(tx) * crop.Width / width, x1 = int64_t(tx + 1) * crop.Width / width;
        uint64_t sum[4] = {0, 0, 0, 0};
        for (int64_t y = y0; y < y1; ++y)
          for (int64_t x = x0; x < x1; ++x) {
            const uint32_t p = at(x, y);
            for (int c = 0; c < 4; ++c) sum[c] += Channel(p, 8 * c);
          }
        const uint64_t n = uint64_t(y1 - y0) * uint64_t(x1 - x0);
        uint32_t pixel = 0;
        for (int c = 0; c < 4; ++c) pixel |= static_cast<uint32_t>((sum[c] + n / 2) / n) << (8 * c);
        out.Pixels[size_t(ty) * width + tx] = pixel;
      }
    }
    return out;
  }
  // Linear stretching: pixel centres mapped onto the crop, clamped at its border.
  for (int32_t ty = 0; ty < height; ++ty) {
    const double sy = std::clamp((ty + 0.5) * crop.Height / height - 0.5, 0.0, crop.Height - 1.0);
    const int64_t y0 = static_cast<int64_t>(sy), y1 = std::min<int64_t>(y0 + 1, crop.Height - 1);
    const double fy = sy - y0;
    for (int32_t tx = 0; tx < width; ++tx) {
      const double sx = std::clamp((tx + 0.5) * crop.Width / width - 0.5, 0.0, crop.Width - 1.0);
      const int64_t x0 = static_cast<int64_t>(sx), x1 = std::min<int64_t>(x0 + 1, crop.Width - 1);
      const double fx = sx - x0;
      const uint32_t p00 = at(x0, y0), p10 = at(x1, y0), p01 = at(x0, y1), p11 = at(x1, y1);
      uint32_t pixel = 0;
      for (int c = 0; c < 4; ++c) {
        const int sh = 8 * c;
        const double top = Channel(p00, sh) + (double(Channel(p10, sh)) - Channel(p00, sh)) * fx;
        const double bottom = Channel(p01, sh) + (double(Channel(p11, sh)) - Channel(p01, sh)) * fx;
        const double v = top + (bottom - top) * fy;
        pixel |= static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)) << sh;
      }
      out.Pixels[size_t(ty) * width + tx] = pixel;
    }
  }
  return out;
}

TRRPanelThumbnails& TRRPanelThumbnails::Instance() {
  static TRRPanelThumbnails cache;
  return cache;
}

bool TRRPanelThumbnails::Add(gx::TGXFileSystem& fileSystem, const std::string& fileName) {
  auto less = [](const std::string& a, const std::string& b) { return gx::CompareText(a, b) < 0; };
  {
    std::lock_guard<std::mutex> lock(FLock);
    auto it = std::lower_bound(FTried.begin(), FTried.end(), fileName, less);
    if (it != FTried.end() && gx::SameText(*it, fileName))
      return FindLocked(fileName, RRThumbnailSmall) != nullptr;
    FTried.insert(it, fileName);
  }
  gx::TGXImage small, large;
  try {
    std::unique_ptr<gx::TGXMemoryStream> file = fileSystem.OpenFile(fileName);
    if (!file) return false;
    const std::vector<uint8_t>& bytes = file->Data();
    gx::TGXImage source = gx::GXImageFileType(bytes) == gx::TGXImageFileType::Dds
                              ? DecodeDds(bytes, kThumbnailSourcePixels)
                              : gx::GXReadImage(bytes);
    small = RRMakeThumbnail(source, RRThumbnailSmall, RRThumbnailSmall);
    large = RRMakeThumbnail(source, RRThumbnailLargeWidth, RRThumbnailLargeHeight);
  } catch (...) {
    return false;  // a file that cannot be read adds nothing
  }
  if (small.Pixels.empty() || large.Pixels.empty()) return false;
  std::lock_guard<std::mutex> lock(FLock);
  auto it = std::lower_bound(FEntries.begin(), FEntries.end(), fileName, ByName);
  it = FEntries.insert(it, std::make_unique<TEntry>(TEntry{fileName, std::move(large)}));
  FEntries.insert(it, std::make_unique<TEntry>(TEntry{fileName, std::move(small)}));
  return true;
}

void TRRPanelThumbnails::AddPanel(gx::TGXFileSystem& fileSystem, const TRRPanel& panel) {
  for (int i = 0; i < panel.TextureCount(); ++i)
    Add(fileSystem, panel.TextureEntry(i).FileName.EffectiveFileName());
}

void TRRPanelThumbnails::AddPanels(gx::TGXFileSystem& fileSystem, gx::TGXNode* root) {
  if (!root) return;
  if (auto* panel = dynamic_cast<const TRRPanel*>(root)) AddPanel(fileSystem, *panel);
  for (int i = 0; i < root->ChildCount(); ++i) AddPanels(fileSystem, root->Child(i));
}

bool TRRPanelThumbnails::ByName(const std::unique_ptr<TEntry>& e, const std::string& name) {
  return gx::CompareText(e->FileName, name) < 0;
}

const gx::TGXImage* TRRPanelThumbnails::FindLocked(const std::string& fileName, int32_t width) const {
  for (auto it = std::lower_bound(FEntries.begin(), FEntries.end(), fileName, ByName);
       it != FEntries.end() && gx::SameText((*it)->FileName, fileName); ++it)
    if (static_cast<int32_t>((*it)->Picture.Width) == width) return &(*it)->Picture;
  return nullptr;
}

const gx::TGXImage* TRRPanelThumbnails::Find(const std::string& fileName, int32_t width) const {
  std::lock_guard<std::mutex> lock(FLock);
  return FindLocked(fileName, width);
}

const gx::TGXImage* TRRPanelThumbnails::Get(gx::TGXFileSystem& fileSystem, const std::string& fileName,
                                            int32_t width) {
  if (const gx::TGXImage* found = Find(fileName, width)) return found;
  Add(fileSystem, fileName);
  return Find(fileName, width);
}

int TRRPanelThumbnails::Count() const {
  std::lock_guard<std::mutex> lock(FLock);
  return static_cast<int>(FEntries.size());
}

void TRRPanelThumbnails::Clear() {
  std::lock_guard<std::mutex> lock(FLock);
  FEntries.clear();
  FTried.clear();
}

}  // namespace rr
