#include "engine/render/GXImageReader.h"

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace gx {

namespace {

[[noreturn]] void Fail(const char* operation, std::string reason) {
  throw EGXImageFormat({TGXExceptionArg::Object("TGXImageReader"), operation, std::move(reason)});
}

void CheckSize(const char* operation, uint64_t width, uint64_t height) {
  if (width == 0 || height == 0) Fail(operation, "Das Bild hat keine Pixel");
  if (width > GXImageMaxEdge || height > GXImageMaxEdge || width * height > GXImageMaxPixels)
    Fail(operation, "Das Bild ist zu groß");
}

uint32_t Le32(std::span<const uint8_t> d, size_t at) {
  return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}

uint16_t Le16(std::span<const uint8_t> d, size_t at) { return uint16_t(d[at] | d[at + 1] << 8); }

// The TGA header fields the reader needs.
struct TTgaHeader {
  uint8_t IdLength, MapType, Type;
  uint16_t MapFirst, MapLength;
  uint8_t MapDepth;
  uint16_t Width, Height;
  uint8_t Depth, Descriptor;
};

TTgaHeader TgaHeader(std::span<const uint8_t> d) {
  return {d[0], d[1], d[2], Le16(d, 3), Le16(d, 5), d[7], Le16(d, 12), Le16(d, 14), d[16], d[17]};
}

bool TrueColorDepth(uint8_t depth) { return depth == 15 || depth == 16 || depth == 24 || depth == 32; }

bool PlausibleTga(std::span<const uint8_t> data) {
  if (data.size() < 18) return false;
  const TTgaHeader h = TgaHeader(data);
  if (h.Width == 0 || h.Height == 0 || h.MapType > 1 || (h.Descriptor & 0xC0) != 0) return false;
  switch (h.Type & ~8) {
    case 1:
      return h.MapType == 1 && h.Depth == 8 && h.MapLength > 0 && TrueColorDepth(h.MapDepth);
    case 2:
      return TrueColorDepth(h.Depth) && (h.MapType == 0 || TrueColorDepth(h.MapDepth));
    case 3:
      return h.Depth == 8 && (h.MapType == 0 || TrueColorDepth(h.MapDepth));
    default:
      return false;
  }
}

}  // namespace

TGXImageFileType GXImageFileType(std::span<const uint8_t> data) {
  static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (data.size() >= 4 && std::memcmp(data.data(), "DDS ", 4) == 0) return TGXImageFileType::Dds;
  if (data.size() >= 8 && std::memcmp(data.data(), png, 8) == 0) return TGXImageFileType::Png;
  if (data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return TGXImageFileType::Jpeg;
  if (data.size() >= 2 && data[0] == 'B' && data[1] == 'M') return TGXImageFileType::Bmp;
  if (PlausibleTga(data)) return TGXImageFileType::Tga;
  return TGXImageFileType::Unknown;
}

TGXImage GXReadImage(std::span<const uint8_t> data) {
  switch (GXImageFileType(data)) {
    case TGXImageFileType::Png: return GXReadPng(data);
    case TGXImageFileType::Jpeg: return GXReadJpeg(data);
    case TGXImageFileType::Bmp: return GXReadBmp(data);
    case TGXImageFileType::Tga: return GXReadTga(data);
    default: Fail("ReadImage", "Unbekanntes Bildformat");
  }
}

// ---- PNG ----

TGXImage GXReadPng(std::span<const uint8_t> data) {
  // The simplified interface of libpng handles its own error jumps and reports by return value.
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
    Fail("ReadPng", std::string("Fehlerhafte PNG-Datei: ") + image.message);
  // Frees libpng's reader on every way out.
  std::unique_ptr<png_image, void (*)(png_imagep)> guard(&image, png_image_free);
  if (image.width == 0 || image.height == 0 || image.width > GXImageMaxEdge || image.height > GXImageMaxEdge ||
      uint64_t(image.width) * image.height > GXImageMaxPixels)
    Fail("ReadPng", "Das Bild ist zu groß");
  TGXImage result;
  result.Width = image.width;
  result.Height = image.height;
  result.HasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  // B, G, R, A bytes are one little-endian 0xAARRGGBB word each.
  image.format = PNG_FORMAT_BGRA;
  result.Pixels.resize(size_t(result.Width) * result.Height);
  if (!png_image_finish_read(&image, nullptr, result.Pixels.data(), int32_t(result.Width * 4), nullptr))
    Fail("ReadPng", std::string("Fehlerhafte PNG-Datei: ") + image.message);
  return result;
}

// ---- JPEG ----

namespace {

struct TJpegError {
  jpeg_error_mgr Manager;
  jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr info) {
  auto* error = reinterpret_cast<TJpegError*>(info->err);
  error->Manager.format_message(info, error->Message);
  longjmp(error->Jump, 1);
}

void JpegMessage(j_common_ptr info, int level) {
  // A file that ends early is padded by the library with a warning; we refuse it instead of
  // returning an image whose lower part is made up.
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(info);
}

}  // namespace

TGXImage GXReadJpeg(std::span<const uint8_t> data) {
  // Everything the error jump may meet lives on the heap or before setjmp; nothing with a
  // destructor is created between setjmp and the jump.
  auto error = std::make_unique<TJpegError>();
  auto info = std::make_unique<jpeg_decompress_struct>();
  TGXImage result;
  info->err = jpeg_std_error(&error->Manager);
  error->Manager.error_exit = JpegErrorExit;
  error->Manager.emit_message = JpegMessage;
  error->Message[0] = 0;
  if (setjmp(error->Jump)) {
    jpeg_destroy_decompress(info.get());
    Fail("ReadJpeg", std::string("Fehlerhafte JPEG-Datei: ") + error->Message);
  }
  jpeg_create_decompress(info.get());
  // Bounds what the library may allocate for progressive files, whatever the header claims.
  info->mem->max_memory_to_use = 512L * 1024 * 1024;
  jpeg_mem_src(info.get(), data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(info.get(), TRUE);
  if (info->image_width == 0 || info->image_height == 0 || info->image_width > GXImageMaxEdge ||
      info->image_height > GXImageMaxEdge || uint64_t(info->image_width) * info->image_height > GXImageMaxPixels) {
    jpeg_destroy_decompress(info.get());
    Fail("ReadJpeg", "Das Bild ist zu groß");
  }
  info->out_color_space = JCS_EXT_BGRA;
  jpeg_start_decompress(info.get());
  result.Width = info->output_width;
  result.Height = info->output_height;
  result.Pixels.resize(size_t(result.Width) * result.Height);
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(result.Pixels.data() + size_t(info->output_scanline) * result.Width);
    jpeg_read_scanlines(info.get(), &row, 1);
  }
  jpeg_finish_decompress(info.get());
  jpeg_destroy_decompress(info.get());
  return result;
}

// ---- BMP ----

namespace {

struct TMask {
  uint32_t Mask = 0, Shift = 0, Max = 0;
  explicit TMask(uint32_t mask = 0) : Mask(mask) {
    if (!mask) return;
    while (!((mask >> Shift) & 1)) ++Shift;
    Max = mask >> Shift;
  }
  uint32_t Get(uint32_t pixel) const {
    if (!Mask) return 0;
    const uint64_t v = (pixel & Mask) >> Shift;
    return uint32_t(Max ? v * 255 / Max : 0) & 0xFF;
  }
};

}  // namespace

TGXImage GXReadBmp(std::span<const uint8_t> data) {
  const char* op = "ReadBmp";
  if (data.size() < 14 + 12 || data[0] != 'B' || data[1] != 'M') Fail(op, "Fehlerhafte BMP-Datei: zu kurz");
  const uint32_t offBits = Le32(data, 10);
  const uint32_t headerSize = Le32(data, 14);
  if (headerSize != 12 && (headerSize < 40 || headerSize > 1024)) Fail(op, "Fehlerhafte BMP-Datei: unbekannter Kopf");
  if (uint64_t(14) + headerSize > data.size()) Fail(op, "Fehlerhafte BMP-Datei: zu kurz");
  int64_t width, height;
  uint32_t bits, compression = 0, colorsUsed = 0;
  if (headerSize == 12) {
    width = Le16(data, 18);
    height = int16_t(Le16(data, 20));
    bits = Le16(data, 24);
  } else {
    width = int32_t(Le32(data, 18));
    height = int32_t(Le32(data, 22));
    bits = Le16(data, 28);
    compression = Le32(data, 30);
    colorsUsed = Le32(data, 46);
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0) Fail(op, "Das Bild hat keine Pixel");
  CheckSize(op, uint64_t(width), uint64_t(height));
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    Fail(op, "Fehlerhafte BMP-Datei: Farbtiefe " + std::to_string(bits) + " wird nicht unterstützt");
  // 0 plain, 3 and 6 bit fields; run-length and embedded JPEG/PNG data are not taken.
  if (compression != 0 && !((compression == 3 || compression == 6) && (bits == 16 || bits == 32)))
    Fail(op, "Fehlerhafte BMP-Datei: Kompression " + std::to_string(compression) + " wird nicht unterstützt");

  // Colour masks: from the header (version 3 and later) or the 12 or 16 bytes after a plain one.
  uint32_t masks[4] = {0, 0, 0, 0};
  size_t tableAt = 14 + headerSize;
  if (compression == 3 || compression == 6) {
    const uint32_t maskCount = compression == 6 ? 4 : 3;
    size_t at = 14 + 40;
    if (headerSize == 40) {
      if (at + 4 * maskCount > data.size()) Fail(op, "Fehlerhafte BMP-Datei: zu kurz");
      tableAt += 4 * maskCount;
    } else if (headerSize < 40 + 4 * maskCount) {
      Fail(op, "Fehlerhafte BMP-Datei: unbekannter Kopf");
    }
    for (uint32_t i = 0; i < maskCount; ++i) masks[i] = Le32(data, at + 4 * i);
    if (headerSize >= 56 && compression == 3) masks[3] = Le32(data, at + 12);
  } else if (bits == 16) {
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  } else if (bits == 32) {
    masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
  }

  // The palette of the indexed depths.
  std::vector<uint32_t> palette;
  if (bits <= 8) {
    const uint32_t entrySize = headerSize == 12 ? 3 : 4;
    uint64_t count = colorsUsed ? colorsUsed : (1u << bits);
    if (count > (1u << bits)) count = 1u << bits;
    if (tableAt + count * entrySize > data.size()) Fail(op, "Fehlerhafte BMP-Datei: Farbtabelle fehlt");
    for (uint64_t i = 0; i < count; ++i) {
      const size_t at = tableAt + size_t(i) * entrySize;
      palette.push_back(0xFF000000u | uint32_t(data[at + 2]) << 16 | uint32_t(data[at + 1]) << 8 | data[at]);
    }
  }

  const uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
  if (offBits > data.size() || stride * uint64_t(height) > data.size() - offBits)
    Fail(op, "Fehlerhafte BMP-Datei: die Pixeldaten sind unvollständig");

  TGXImage result;
  result.Width = uint32_t(width);
  result.Height = uint32_t(height);
  result.HasAlpha = masks[3] != 0;
  result.Pixels.resize(size_t(width) * size_t(height));
  const TMask r(masks[0]), g(masks[1]), b(masks[2]), a(masks[3]);
  for (uint32_t y = 0; y < result.Height; ++y) {
    // Rows are stored bottom-up unless the height is negative.
    const uint32_t fileRow = topDown ? y : result.Height - 1 - y;
    const uint8_t* row = data.data() + offBits + fileRow * stride;
    uint32_t* out = result.Pixels.data() + size_t(y) * result.Width;
    for (uint32_t x = 0; x < result.Width; ++x) {
      uint32_t p;
      if (bits <= 8) {
        const uint32_t bit = x * bits;
        const uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        // An index beyond a short palette draws black rather than reading past it.
        p = index < palette.size() ? palette[index] : 0xFF000000u;
      } else if (bits == 24) {
        const uint8_t* q = row + size_t(x) * 3;
        p = 0xFF000000u | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
      } else {
        const uint32_t v = bits == 16 ? uint32_t(row[x * 2] | row[x * 2 + 1] << 8)
                                      : uint32_t(row[x * 4] | row[x * 4 + 1] << 8 | row[x * 4 + 2] << 16 |
                                                 uint32_t(row[x * 4 + 3]) << 24);
        p = (a.Mask ? a.Get(v) : 0xFFu) << 24 | r.Get(v) << 16 | g.Get(v) << 8 | b.Get(v);
      }
      out[x] = p;
    }
  }
  return result;
}

}  // namespace gx

// ---- TGA ----

namespace gx {

namespace {

// One stored colour of 15, 16, 24 or 32 bits as 0xAARRGGBB; alpha only with alpha bits.
uint32_t TgaColor(const uint8_t* p, uint8_t depth, bool alpha) {
  switch (depth) {
    case 15:
    case 16: {
      const uint32_t v = uint32_t(p[0] | p[1] << 8);
      const uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
      const uint32_t a = alpha && depth == 16 ? ((v & 0x8000) ? 0xFFu : 0u) : 0xFFu;
      return a << 24 | (r << 3 | r >> 2) << 16 | (g << 3 | g >> 2) << 8 | (b << 3 | b >> 2);
    }
    case 24:
      return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    default:
      return (alpha ? uint32_t(p[3]) : 0xFFu) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
}

}  // namespace

TGXImage GXReadTga(std::span<const uint8_t> data) {
  const char* op = "ReadTga";
  if (!PlausibleTga(data)) Fail(op, "Fehlerhafte TGA-Datei: unbekannter Kopf");
  const TTgaHeader h = TgaHeader(data);
  CheckSize(op, h.Width, h.Height);
  // Alpha comes from the colours themselves (the map's for a colour-mapped file), and only when
  // the descriptor announces alpha bits.
  const bool mapped = (h.Type & ~8) == 1;
  const uint8_t colorDepth = mapped ? h.MapDepth : h.Depth;
  const bool alpha =
      (h.Descriptor & 0x0F) != 0 && (colorDepth == 32 || colorDepth == 16) && (h.Type & ~8) != 3;
  size_t at = 18 + size_t(h.IdLength);

  // The colour map, when the file has one (true-colour and grey files may carry an unused one).
  std::vector<uint32_t> palette;
  if (h.MapType == 1) {
    const size_t entry = (size_t(h.MapDepth) + 7) / 8;
    const size_t mapBytes = size_t(h.MapLength) * entry;
    if (at > data.size() || mapBytes > data.size() - at) Fail(op, "Fehlerhafte TGA-Datei: Farbtabelle fehlt");
    if (mapped) {
      palette.resize(size_t(h.MapFirst) + h.MapLength, 0xFF000000u);
      for (size_t i = 0; i < h.MapLength; ++i)
        palette[h.MapFirst + i] = TgaColor(data.data() + at + i * entry, h.MapDepth, alpha);
    }
    at += mapBytes;
  }

  const size_t bytesPerPixel = (size_t(h.Depth) + 7) / 8;
  const size_t pixelCount = size_t(h.Width) * h.Height;
  auto decode = [&](const uint8_t* p) -> uint32_t {
    switch (h.Type & ~8) {
      case 1:
        return p[0] < palette.size() ? palette[p[0]] : 0xFF000000u;  // beyond the map: black
      case 3:
        return 0xFF000000u | uint32_t(p[0]) * 0x010101u;
      default:
        return TgaColor(p, h.Depth, alpha);
    }
  };

  // Pixels in file order first; the rows are put in place afterwards.
  std::vector<uint32_t> stored(pixelCount);
  if (h.Type & 8) {
    size_t n = 0;
    while (n < pixelCount) {
      if (at >= data.size()) Fail(op, "Fehlerhafte TGA-Datei: die Pixeldaten sind unvollständig");
      const uint8_t packet = data[at++];
      const size_t count = std::min<size_t>((packet & 0x7F) + 1u, pixelCount - n);
      if (packet & 0x80) {
        if (bytesPerPixel > data.size() - at)
          Fail(op, "Fehlerhafte TGA-Datei: die Pixeldaten sind unvollständig");
        const uint32_t p = decode(data.data() + at);
        at += bytesPerPixel;
        std::fill_n(stored.begin() + std::ptrdiff_t(n), count, p);
      } else {
        if (count * bytesPerPixel > data.size() - at)
          Fail(op, "Fehlerhafte TGA-Datei: die Pixeldaten sind unvollständig");
        for (size_t i = 0; i < count; ++i, at += bytesPerPixel) stored[n + i] = decode(data.data() + at);
      }
      n += count;
    }
  } else {
    if (at > data.size() || pixelCount * bytesPerPixel > data.size() - at)
      Fail(op, "Fehlerhafte TGA-Datei: die Pixeldaten sind unvollständig");
    for (size_t i = 0; i < pixelCount; ++i, at += bytesPerPixel) stored[i] = decode(data.data() + at);
  }

  TGXImage result;
  result.Width = h.Width;
  result.Height = h.Height;
  result.HasAlpha = alpha;
  result.Pixels.resize(pixelCount);
  const bool topDown = (h.Descriptor & 0x20) != 0;
  const bool rightToLeft = (h.Descriptor & 0x10) != 0;
  for (uint32_t y = 0; y < h.Height; ++y) {
    const uint32_t fileRow = topDown ? y : h.Height - 1 - y;
    const uint32_t* in = stored.data() + size_t(fileRow) * h.Width;
    uint32_t* out = result.Pixels.data() + size_t(y) * h.Width;
    if (rightToLeft)
      std::reverse_copy(in, in + h.Width, out);
    else
      std::copy(in, in + h.Width, out);
  }
  return result;
}

}  // namespace gx
