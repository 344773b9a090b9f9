#include "engine/render/GXImageInfo.h"

#include <cstring>
#include <string>

#include "engine/core/GXSerialization.h"

namespace gx {

namespace {

[[noreturn]] void Fail(const std::string& reason) {
  throw EGXImageFormat({TGXExceptionArg::Object("TGXImageInfo"), "ReadImageInfo", reason});
}

uint32_t Le32(std::span<const uint8_t> d, size_t at) {
  return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}
uint16_t Le16(std::span<const uint8_t> d, size_t at) { return uint16_t(d[at] | d[at + 1] << 8); }
uint32_t Be32(std::span<const uint8_t> d, size_t at) {
  return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | uint32_t(d[at + 3]);
}
uint16_t Be16(std::span<const uint8_t> d, size_t at) { return uint16_t(d[at] << 8 | d[at + 1]); }

void CheckSize(uint64_t width, uint64_t height, uint32_t maxEdge) {
  if (width == 0 || height == 0) Fail("Das Bild hat keine Pixel");
  if (width > maxEdge || height > maxEdge) Fail("Das Bild ist zu groß");
}

TGXImageInfo Dds(std::span<const uint8_t> d) {
  if (d.size() < 128) Fail("Fehlerhafte DDS-Datei: zu kurz");
  if (Le32(d, 4) != 124 || Le32(d, 76) != 32) Fail("Fehlerhafte DDS-Datei: unbekannter Kopf");
  TGXImageInfo info;
  info.Type = TGXImageFileType::Dds;
  info.Height = Le32(d, 12);
  info.Width = Le32(d, 16);
  CheckSize(info.Width, info.Height, GXDdsMaxEdge);
  const uint32_t flags = Le32(d, 8), mips = Le32(d, 28);
  info.Levels = (flags & 0x20000) && mips > 0 ? mips : 1;
  if (info.Levels > 32) Fail("Fehlerhafte DDS-Datei: " + std::to_string(info.Levels) + " Mip-Stufen");
  const uint32_t caps2 = Le32(d, 112);
  if (caps2 & 0x200000) Fail("Volumentexturen werden nicht unterstützt");
  info.Cube = (caps2 & 0x200) != 0;
  const uint32_t pf = Le32(d, 80), fourCC = Le32(d, 84), bits = Le32(d, 88);
  const uint32_t r = Le32(d, 92), g = Le32(d, 96), b = Le32(d, 100);
  // The alpha mask counts only with an alpha flag, as the texture reader takes it.
  const uint32_t a = pf & 0x3 ? Le32(d, 104) : 0;
  if (pf & 0x4) {
    if (fourCC == 0x30315844) Fail("Erweiterte DDS-Köpfe werden nicht unterstützt");  // "DX10"
    if (fourCC == 0) Fail("Fehlerhafte DDS-Datei: Format fehlt");
    info.Format = fourCC;
    return info;
  }
  uint32_t format = 0;
  if (pf & 0x40) {
    if (bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF)
      format = a == 0xFF000000u ? GXFormatA8R8G8B8 : GXFormatX8R8G8B8;
    else if (bits == 32 && r == 0xFF && g == 0xFF00 && b == 0xFF0000)
      format = a == 0xFF000000u ? GXFormatA8B8G8R8 : GXFormatX8B8G8R8;
    else if (bits == 24 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF && a == 0)
      format = GXFormatR8G8B8;
    else if (bits == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F && a == 0)
      format = GXFormatR5G6B5;
    else if (bits == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F)
      format = a == 0x8000 ? uint32_t(GXFormatA1R5G5B5) : uint32_t(GXFormatX1R5G5B5);
    else if (bits == 16 && r == 0x0F00 && g == 0x00F0 && b == 0x000F)
      format = a == 0xF000 ? uint32_t(GXFormatA4R4G4B4) : a == 0 ? 30u : 0u;  // 30: X4R4G4B4
  } else if ((pf & 0x20000) && bits == 8 && r == 0xFF && a == 0) {
    format = GXFormatL8;
  } else if ((pf & 0x2) && bits == 8 && a == 0xFF) {
    format = GXFormatA8;
  }
  if (format != 0) {
    info.Format = format;
    return info;
  }
  Fail("Fehlerhafte DDS-Datei: unbekanntes Pixelformat");
}

TGXImageInfo Png(std::span<const uint8_t> d) {
  // Signature, then the IHDR chunk: length 13, type, width, height, depth, colour type, ...
  if (d.size() < 8 + 8 + 13 + 4) Fail("Fehlerhafte PNG-Datei: zu kurz");
  if (Be32(d, 8) != 13 || std::memcmp(d.data() + 12, "IHDR", 4) != 0)
    Fail("Fehlerhafte PNG-Datei: IHDR fehlt");
  TGXImageInfo info;
  info.Type = TGXImageFileType::Png;
  info.Width = Be32(d, 16);
  info.Height = Be32(d, 20);
  CheckSize(info.Width, info.Height, GXImageMaxEdge);
  const uint8_t depth = d[24], colour = d[25];
  bool valid = false;
  switch (colour) {
    case 0:
      valid = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
      break;
    case 3:
      valid = depth == 1 || depth == 2 || depth == 4 || depth == 8;
      break;
    case 2:
    case 4:
    case 6:
      valid = depth == 8 || depth == 16;
      break;
  }
  if (!valid)
    Fail("Fehlerhafte PNG-Datei: Farbtyp " + std::to_string(colour) + " mit Tiefe " + std::to_string(depth));
  bool alpha = colour == 4 || colour == 6;
  uint32_t paletteEntries = 0;
  // A transparency chunk comes before the image data; the chunks are walked up to the data.
  size_t at = 8 + 8 + 13 + 4;
  for (;;) {
    if (d.size() - at < 8) Fail("Fehlerhafte PNG-Datei: Bilddaten fehlen");
    const uint32_t length = Be32(d, at);
    if (length > 0x7FFFFFFF || uint64_t(length) + 12 > d.size() - at)
      Fail("Fehlerhafte PNG-Datei: Block zu lang");
    const uint8_t* type = d.data() + at + 4;
    if (std::memcmp(type, "IDAT", 4) == 0) break;
    if (std::memcmp(type, "IEND", 4) == 0) Fail("Fehlerhafte PNG-Datei: Bilddaten fehlen");
    // Transparency counts as the decoder takes it: a sound block of the right size, after the
    // palette for palette images (a damaged one is skipped).
    const bool sound =
        Be32(d, at + 8 + length) == ~GXChecksum(d.data() + at + 4, size_t(length) + 4, 0xFFFFFFFFu);
    if (sound && std::memcmp(type, "PLTE", 4) == 0) paletteEntries = length / 3;
    if (sound && std::memcmp(type, "tRNS", 4) == 0)
      alpha = alpha || (colour == 0 && length == 2) || (colour == 2 && length == 6) ||
              (colour == 3 && length >= 1 && length <= paletteEntries);
    at += size_t(length) + 12;
  }
  info.Format = alpha ? GXFormatA8R8G8B8 : GXFormatX8R8G8B8;
  return info;
}

TGXImageInfo Jpeg(std::span<const uint8_t> d) {
  size_t at = 2;
  for (;;) {
    // A marker: one or more 0xFF, then its code.
    if (at >= d.size() || d[at] != 0xFF) Fail("Fehlerhafte JPEG-Datei: Marke erwartet");
    while (at < d.size() && d[at] == 0xFF) ++at;
    if (at >= d.size()) Fail("Fehlerhafte JPEG-Datei: zu kurz");
    const uint8_t code = d[at++];
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;  // no length
    if (code == 0xD9 || code == 0xDA) Fail("Fehlerhafte JPEG-Datei: Bildkopf fehlt");
    if (d.size() - at < 2) Fail("Fehlerhafte JPEG-Datei: zu kurz");
    const uint16_t length = Be16(d, at);
    if (length < 2 || length > d.size() - at) Fail("Fehlerhafte JPEG-Datei: Block zu lang");
    const bool frame = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
    if (frame) {
      if (length < 8) Fail("Fehlerhafte JPEG-Datei: Bildkopf zu kurz");
      TGXImageInfo info;
      info.Type = TGXImageFileType::Jpeg;
      info.Height = Be16(d, at + 3);
      info.Width = Be16(d, at + 5);
      CheckSize(info.Width, info.Height, GXImageMaxEdge);
      info.Format = GXFormatX8R8G8B8;
      return info;
    }
    at += length;
  }
}

TGXImageInfo Bmp(std::span<const uint8_t> d) {
  if (d.size() < 14 + 12) Fail("Fehlerhafte BMP-Datei: zu kurz");
  const uint32_t headerSize = Le32(d, 14);
  if (headerSize != 12 && (headerSize < 40 || headerSize > 1024))
    Fail("Fehlerhafte BMP-Datei: unbekannter Kopf");
  if (uint64_t(14) + headerSize > d.size()) Fail("Fehlerhafte BMP-Datei: zu kurz");
  int64_t width, height;
  uint32_t bits, compression = 0;
  if (headerSize == 12) {
    width = Le16(d, 18);
    height = int16_t(Le16(d, 20));
    bits = Le16(d, 24);
  } else {
    width = int32_t(Le32(d, 18));
    height = int32_t(Le32(d, 22));
    bits = Le16(d, 28);
    compression = Le32(d, 30);
  }
  if (height < 0) height = -height;
  if (width <= 0) Fail("Das Bild hat keine Pixel");
  CheckSize(uint64_t(width), uint64_t(height), GXImageMaxEdge);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    Fail("Fehlerhafte BMP-Datei: Farbtiefe " + std::to_string(bits) + " wird nicht unterstützt");
  if (compression != 0 && !((compression == 3 || compression == 6) && (bits == 16 || bits == 32)))
    Fail("Fehlerhafte BMP-Datei: Kompression " + std::to_string(compression) + " wird nicht unterstützt");
  // The alpha mask, where the image reader takes one: four masks after a plain header with
  // compression 6, or inside a header of version 3 and later.
  uint32_t alphaMask = 0;
  if (compression == 6) {
    const size_t at = 14 + 40 + 12;
    if (at + 4 > d.size()) Fail("Fehlerhafte BMP-Datei: zu kurz");
    alphaMask = Le32(d, at);
  } else if (compression == 3 && headerSize >= 56) {
    alphaMask = Le32(d, 14 + 40 + 12);
  }
  TGXImageInfo info;
  info.Type = TGXImageFileType::Bmp;
  info.Width = uint32_t(width);
  info.Height = uint32_t(height);
  info.Format = alphaMask != 0 ? GXFormatA8R8G8B8 : GXFormatX8R8G8B8;
  return info;
}

TGXImageInfo Tga(std::span<const uint8_t> d) {
  // The type test made sure of the 18-byte header's plausibility.
  TGXImageInfo info;
  info.Type = TGXImageFileType::Tga;
  info.Width = Le16(d, 12);
  info.Height = Le16(d, 14);
  CheckSize(info.Width, info.Height, GXImageMaxEdge);
  const uint8_t type = d[2] & ~8, depth = d[16], mapDepth = d[7], descriptor = d[17];
  const uint8_t colourDepth = type == 1 ? mapDepth : depth;
  const bool alpha = (descriptor & 0x0F) != 0 && (colourDepth == 32 || colourDepth == 16) && type != 3;
  info.Format = alpha ? GXFormatA8R8G8B8 : GXFormatX8R8G8B8;
  return info;
}

}  // namespace

TGXImageInfo GXReadImageInfo(std::span<const uint8_t> data) {
  switch (GXImageFileType(data)) {
    case TGXImageFileType::Dds:
      return Dds(data);
    case TGXImageFileType::Png:
      return Png(data);
    case TGXImageFileType::Jpeg:
      return Jpeg(data);
    case TGXImageFileType::Bmp:
      return Bmp(data);
    case TGXImageFileType::Tga:
      return Tga(data);
    case TGXImageFileType::Unknown:
      break;
  }
  Fail("Unbekanntes Bildformat");
}

}  // namespace gx
